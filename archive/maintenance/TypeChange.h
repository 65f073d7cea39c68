// Whether the values an archive column holds survive a change of its type
// exactly. The synchronisation follows a changed Velunda column only where
// nothing archived changes by it: a wider type at once, any other type when
// every stored value has the same value in it (a text no longer than the new
// length, a number with no more digits than the new precision and scale, a
// date without a time, ...).
#pragma once

#include <string>

#include "archive/rows/TableColumns.h"

class TypeChange {
  public:
    // from: the column as the archive has it; to: the type it is to get.
    TypeChange(const CatalogColumn& from, const CatalogColumn& to) : from_(from), to_(to) {}

    // True when every value the old type can hold is the same in the new
    // one: no stored value needs to be looked at.
    bool Widens() const;
    // Whether a stored value keeps its value in the new type. value is the
    // value as the driver gives it as text (SQL_C_CHAR): a number in its
    // shortest form, a date as YYYY-MM-DD, a time as HH:MM:SS, a timestamp as
    // both with its fraction, binary values as their bytes.
    bool Keeps(const std::string& value) const;
    // True for the binary types, whose values are read as bytes.
    static bool IsBinary(int code);

  private:
    CatalogColumn from_;
    CatalogColumn to_;
};
