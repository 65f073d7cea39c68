// Turns a query or data statement of Access SQL into SQLite SQL: quoted
// names, date literals, Access functions, `+` on text and `&` as
// concatenation, `/` and `Mod` that refuse a zero divisor, parameter markers
// numbered in text order, and ORDER BY in the engine's text order.
#pragma once

#include <string>
#include <vector>

#include "drivers/access/AccessLexer.h"

namespace accessdrv {

class AccessTranslator {
  public:
    // Throws odbcdrv::DriverError for unbalanced parentheses, a marker run
    // together with a name or number ("?1"), or a reference to the driver's
    // own metadata table.
    static std::string Translate(std::vector<SqlToken> tokens);
    // The number of parameter markers ("?") among the tokens.
    static size_t CountMarkers(const std::vector<SqlToken>& tokens);

    // The SQLite text of one token.
    static std::string TokenText(const SqlToken& t);
    static std::string QuoteName(const std::string& name);

  private:
    explicit AccessTranslator(std::vector<SqlToken> t);
    void MarkOrderBy();
    void TopToLimit();
    std::string Range(size_t b, size_t e);
    std::string Segment(size_t b, size_t e);
    std::string Plain(size_t b, size_t e);
    // End of the operand that starts at b: signs, then a name, literal,
    // function call or parenthesised expression.
    size_t OperandEnd(size_t b, size_t e) const;
    std::string Token(size_t i);
    bool IsBoundary(const SqlToken& t) const;
    bool EndsOperand(const SqlToken& t) const;

    std::vector<SqlToken> tok_;
    std::vector<size_t> match_;  // index of the matching parenthesis
};

}  // namespace accessdrv
