// Fingerprints of a run's rows: what a table holds of the run's patients,
// told apart from any other content without keeping the rows. Each row is
// taken as the run writes it (the literal of every column that has a value,
// by column name, leaving out the keys that the destination numbers itself
// and the empty texts that the destination blanks, and without the trailing
// blanks of a text, which a fixed-width column adds), so that the rows a run
// read in one database and the copies it wrote into the other give the same
// fingerprint. The rows of a table are summed, not chained: the fingerprint
// does not depend on the order in which the engine returns them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The column of the tables "ldtnummer", "abrechnungen" and "diagnosen" that
// no copy writes ("autoid", "ZID", "DID": the table's own key, which the
// destination numbers itself); null for every other table. Compared without
// regard to case.
const char* RenumberedColumn(const std::string& table);

// What a set of rows is: how many, and the sum of their hashes.
struct RowsPrint {
    int64_t rows = 0;
    uint64_t sum = 0;

    bool operator==(const RowsPrint& other) const { return rows == other.rows && sum == other.sum; }
    bool operator!=(const RowsPrint& other) const { return !(*this == other); }
};

// Prints the rows of one select: the columns are named once, then each row
// hands over the literals of its columns and is added to the table's print
// and to the print of its patient (the value of its column "pid").
class RowPrinter {
  public:
    // columns: the result's column names as the driver gives them; the
    // column that table leaves out of every copy (its own key) is ignored.
    RowPrinter(const std::string& table, const std::vector<std::string>& columns);

    // The literal of column i (0-based) in the current row, as the run
    // writes it; a column without a value (null, empty text) is not handed
    // over, or handed over as "null".
    void Value(size_t i, const std::string& literal);
    // Ends the current row: adds it to the prints.
    void EndRow();

    const RowsPrint& Total() const { return total_; }
    // Per patient id; rows without a readable pid are only in the total.
    const std::map<int64_t, RowsPrint>& PerPatient() const { return perPatient_; }

  private:
    std::vector<std::string> names_;  // lower case; empty for an ignored column
    std::vector<size_t> order_;       // column indexes sorted by name
    size_t pidColumn_;
    std::vector<std::string> values_;
    RowsPrint total_;
    std::map<int64_t, RowsPrint> perPatient_;
};

// The print as the journal writes it, "<rows>:<16 hex digits>", and back.
std::string PrintText(const RowsPrint& print);
bool ParsePrint(const std::string& text, RowsPrint& print);
