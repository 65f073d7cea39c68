// The files that a record's binary values become: "anhaenge/<table>.
// <column>.<key>.<extension>", the key being the row's primary key where
// the table has one, else "zeile<n>" (the row's place among the patient's
// rows of that table, from 1). The extension is that of the content where it
// tells its kind (a PDF, JPEG, PNG, GIF or TIFF), so that the receiver can
// open it; ".bin" otherwise. The CSV and JSON files name each value by this
// name; names are unique within the record.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <tuple>

#include "archive/export/PatientRecord.h"

class AttachmentNames {
  public:
    explicit AttachmentNames(const PatientRecord& record);

    // The name (relative to the record's folder, code page 1252) of the
    // value in tables[table].rows[row][column]; null when that value is no
    // binary value or null.
    const std::string* Name(size_t table, size_t row, size_t column) const;
    size_t Count() const { return names_.size(); }
    // In table, row and column order.
    const std::map<std::tuple<size_t, size_t, size_t>, std::string>& All() const { return names_; }

    static constexpr const char* kFolder = "anhaenge";

  private:
    std::map<std::tuple<size_t, size_t, size_t>, std::string> names_;
};
