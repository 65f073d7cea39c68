// The values of binary columns (binary strings and binary blobs) in the
// inserts of a transfer. A literal could carry them on neither kind whole
// (Firebird takes hex literals of at most 64 KB, the Access kind none), so
// the insert names each by a "?" and the bytes are bound to it as a
// parameter, byte for byte and of any length.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

// Reads column n of the current row as bytes, in as many parts as it takes.
// indicator receives SQL_NULL_DATA for null, otherwise the length. False
// when the driver refuses the read.
bool ReadColumnBytes(SQLHSTMT stmt, SQLUSMALLINT n, std::string& bytes, SQLLEN& indicator);

class BinaryValues {
  public:
    // The value for the next "?" of the statement.
    void Add(std::string bytes) { values_.push_back(std::move(bytes)); }
    bool Empty() const { return values_.empty(); }
    // Binds the values to the markers of stmt in order; they must stay
    // unchanged until the statement has been executed. False when the
    // driver refuses one.
    bool Bind(SQLHSTMT stmt);
    void Clear();

  private:
    std::vector<std::string> values_;
    std::vector<SQLLEN> lengths_;
};
