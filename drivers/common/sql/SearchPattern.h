// A search pattern of the catalog functions: "%" any run of characters, "_"
// any one character, and the escape character "\" (SQL_SEARCH_PATTERN_ESCAPE)
// taking the next one literally. Names are matched without regard to case,
// as the engines find them (umlauts of code page 1252 included).
#pragma once

#include <string>
#include <vector>

namespace odbcdrv {

class SearchPattern {
  public:
    // Null matches every name. With `literal` (SQL_ATTR_METADATA_ID) the text
    // is a name, not a pattern. `escape` takes the next character literally
    // (-1: none); SQL's LIKE names its own with ESCAPE.
    SearchPattern(const std::string* pattern, bool literal = false, int escape = '\\');
    bool Matches(const std::string& name) const;
    bool MatchesAll() const { return all_; }

  private:
    std::vector<unsigned char> text_;
    std::string kinds_;
    bool all_ = false;
};

}  // namespace odbcdrv
