// A column type of the Access database kind: how it is declared in Access
// SQL, how it is stored in the SQLite table that holds the data, and how it
// is reported through ODBC.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>

namespace accessdrv {

class AccessType {
  public:
    enum class Kind {
        Text,
        Char,
        Memo,
        Long,
        Short,
        Byte,
        Bit,
        Double,
        Single,
        DateTime,
        Date,
        Time,
        Counter,
        Binary,
        LongBinary
    };

    AccessType() = default;
    AccessType(Kind k, int size = 0) : kind_(k), size_(size) {}

    // Type of an Access declaration: the type words in lower case and blanks
    // collapsed ("double precision"), and the length in parentheses or -1.
    static std::optional<AccessType> FromDeclaration(const std::string& words, int length);
    static bool IsTypeName(const std::string& words);

    // Type of a column read back from SQLite's schema. Declarations that this
    // driver did not write fall back to SQLite's affinity rules.
    static AccessType FromStored(const std::string& declared);

    Kind kind() const { return kind_; }
    bool IsText() const {
        return kind_ == Kind::Text || kind_ == Kind::Char || kind_ == Kind::Memo;
    }
    bool IsInteger() const;
    bool IsDateKind() const;

    // The declared type written into SQLite, chosen so that SQLite's column
    // affinity matches the kind (INT, not INTEGER, so a key never becomes
    // the rowid).
    std::string StoredName() const;
    // Column constraints after the type: collation and the CHECK that makes
    // SQLite refuse what Access refuses. Empty when there is none.
    std::string Constraints(const std::string& quotedColumn, const std::string& columnName) const;

    SQLSMALLINT SqlType() const;
    std::string TypeName() const;
    SQLULEN ColumnSize() const;
    SQLSMALLINT DecimalDigits() const;
    bool IsUnsigned() const { return kind_ == Kind::Byte; }

  private:
    Kind kind_ = Kind::Memo;
    int size_ = 0;
};

}  // namespace accessdrv
