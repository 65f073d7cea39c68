// String literals longer than the engine takes in a statement text (65,535
// bytes): they are cut out of the text, replaced by parameter markers, and
// handed to the engine as text blobs, so that a literal statement can carry a
// value of any length without the caller seeing the difference.
#pragma once

#include <string>
#include <vector>

#include "firebird/FbApi.h"

namespace fbdrv {

class FbLongLiterals {
  public:
    // The longest string literal the engine accepts in a statement text.
    static constexpr size_t kMaxLiteralBytes = 65535;

    // Finds every string literal of sql whose text (with doubled apostrophes
    // taken once) is longer than kMaxLiteralBytes; names in double quotes and
    // comments are skipped.
    explicit FbLongLiterals(const std::string& sql);
    ~FbLongLiterals();
    FbLongLiterals(const FbLongLiterals&) = delete;
    FbLongLiterals& operator=(const FbLongLiterals&) = delete;

    bool Any() const { return !values_.empty(); }
    // The statement with "?" in place of each long literal.
    const std::string& Sql() const { return sql_; }

    // Builds the input message of the prepared statement: one text blob per
    // long literal, written in tx. Throws on engine errors, and a DriverError
    // when the statement has parameter markers of its own.
    void Bind(Firebird::IAttachment* att, Firebird::IStatement* stmt, Firebird::ITransaction* tx);
    Firebird::IMessageMetadata* Metadata() const { return meta_; }
    unsigned char* Buffer() { return buffer_.data(); }

  private:
    std::string sql_;
    std::vector<std::string> values_;
    Firebird::IMessageMetadata* meta_ = nullptr;
    std::vector<unsigned char> buffer_;
};

}  // namespace fbdrv
