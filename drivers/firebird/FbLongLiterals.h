// String literals longer than the engine takes in a statement text (65,535
// bytes): they are cut out of the text, replaced by parameter markers, and
// handed to the engine as values of those markers (text blobs), so that a
// literal statement can carry a value of any length without the caller
// seeing the difference.
// The same walk over the text measures how deeply its parentheses nest,
// which the engine's parser takes ever longer for.
#pragma once

#include <string>
#include <vector>

namespace fbdrv {

class FbLongLiterals {
  public:
    // The longest string literal the engine accepts in a statement text.
    static constexpr size_t kMaxLiteralBytes = 65535;

    // Finds every string literal of sql whose text (with doubled apostrophes
    // taken once) is longer than kMaxLiteralBytes, and the statement's own
    // parameter markers; names in double quotes and comments are skipped.
    explicit FbLongLiterals(const std::string& sql);

    bool Any() const { return !values_.empty(); }
    // The statement with "?" in place of each long literal (only when Any()).
    const std::string& Sql() const { return sql_; }
    // The markers of Sql() in text order: the index of the long literal a
    // marker stands for, or -1 for a marker of the statement's own.
    const std::vector<int>& Slots() const { return slots_; }
    const std::string& Value(size_t i) const { return values_.at(i); }
    // The deepest nesting of parentheses outside literals, names and comments.
    size_t Depth() const { return deepest_; }

  private:
    std::string sql_;
    std::vector<std::string> values_;
    std::vector<int> slots_;
    size_t deepest_ = 0;
};

}  // namespace fbdrv
