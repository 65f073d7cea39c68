// Splits an Access SQL text into tokens. Names in brackets, double quotes
// or back quotes become quoted names; #...# date literals are checked and
// turned into the stored text form of a date.
#pragma once

#include <string>
#include <vector>

namespace accessdrv {

struct SqlToken {
    enum class Kind { Word, Name, String, Number, Date, Punct, Synthetic };
    Kind kind = Kind::Punct;
    std::string text;   // as written (Name: the name without quotes; Date: 'YYYY-MM-DD HH:MM:SS')
    std::string space;  // white space before the token
    bool Is(
        const char* word) const;  // a Word equal to `word` without regard to case, or that Punct
};

class AccessLexer {
  public:
    // Throws odbcdrv::DriverError (42000) for an unterminated literal or name,
    // (22007) for a date literal that is no date.
    static std::vector<SqlToken> Tokenize(const std::string& sql);

    // Stored text of a date literal's content ("2004-3-9 08:05:00", "08:05:09",
    // "3/9/2004"), or empty when it is no valid date or time.
    static std::string ParseDate(const std::string& content);
};

}  // namespace accessdrv
