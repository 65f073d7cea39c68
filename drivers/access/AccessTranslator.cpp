#include "drivers/access/AccessTranslator.h"

#include <strings.h>

#include <algorithm>
#include <map>
#include <set>

#include "core/AsciiText.h"
#include "drivers/access/AccessCollation.h"
#include "drivers/access/AccessMeta.h"
#include "drivers/common/base/Backend.h"

namespace accessdrv {

namespace {

using asciitext::Lower;

// The translation recurses once per level of parentheses, which a thread's
// small stack must hold; SQLite's parser takes fewer levels (93) anyway.
constexpr size_t kMaxDepth = 100;

// Words that end an operand of + and &: they bind less tightly or are no
// part of an expression.
const std::set<std::string>& BoundaryWords() {
    static const std::set<std::string> w = {
        "and",    "or",     "not",   "is",       "in",     "like",   "glob",   "between",
        "escape", "select", "from",  "where",    "group",  "by",     "having", "order",
        "asc",    "desc",   "limit", "offset",   "union",  "all",    "except", "intersect",
        "set",    "values", "into",  "insert",   "update", "delete", "on",     "join",
        "left",   "right",  "inner", "outer",    "cross",  "as",     "case",   "when",
        "then",   "else",   "end",   "distinct", "exists", "with",   "top",    "distinctrow"};
    return w;
}

// Access functions that SQLite lacks or names differently.
const std::map<std::string, std::string>& Functions() {
    static const std::map<std::string, std::string> f = {
        {"chr", "tamaro_chr"},     {"chr$", "tamaro_chr"},     {"int", "tamaro_int"},
        {"fix", "tamaro_fix"},     {"len", "length"},          {"ucase", "tamaro_ucase"},
        {"lcase", "tamaro_lcase"}, {"ucase$", "tamaro_ucase"}, {"lcase$", "tamaro_lcase"},
        {"upper", "tamaro_ucase"}, {"lower", "tamaro_lcase"},  {"mid", "tamaro_mid"},
        {"mid$", "tamaro_mid"},    {"left", "tamaro_left"},    {"left$", "tamaro_left"},
        {"right", "tamaro_right"}, {"right$", "tamaro_right"}, {"iif", "tamaro_iif"},
        {"nz", "tamaro_nz"},       {"asc", "tamaro_asc"},      {"val", "tamaro_val"},
        {"cstr", "tamaro_cstr"},   {"clng", "tamaro_clng"},    {"cint", "tamaro_clng"},
        {"cdbl", "tamaro_cdbl"},   {"trim$", "trim"},          {"ltrim$", "ltrim"},
        {"rtrim$", "rtrim"},       {"now", "tamaro_now"},      {"instr", "tamaro_instr"},
        {"space", "tamaro_space"}, {"string", "tamaro_string"}};
    return f;
}

}  // namespace

std::string AccessTranslator::QuoteName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string AccessTranslator::TokenText(const SqlToken& t) {
    switch (t.kind) {
        case SqlToken::Kind::Name:
            return QuoteName(t.text);
        case SqlToken::Kind::Date:
            return "'" + t.text + "'";
        default:
            return t.text;
    }
}

AccessTranslator::AccessTranslator(std::vector<SqlToken> t) : tok_(std::move(t)) {}

size_t AccessTranslator::CountMarkers(const std::vector<SqlToken>& tokens) {
    size_t n = 0;
    for (const SqlToken& t : tokens)
        if (t.Is("?")) ++n;
    return n;
}

std::string AccessTranslator::Translate(std::vector<SqlToken> tokens) {
    for (const SqlToken& t : tokens)
        if ((t.kind == SqlToken::Kind::Word || t.kind == SqlToken::Kind::Name) &&
            strcasecmp(t.text.c_str(), AccessMeta::kTable) == 0)
            throw odbcdrv::DriverError("42S02", "[Tamaro][Access driver] The table '" + t.text +
                                                    "' is reserved for the driver.");
    // Markers are numbered, so that nothing in the text can shift them and
    // SQLite's other forms of parameters (":name", "?5") stand out.
    size_t markers = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (!tokens[i].Is("?")) continue;
        if (i + 1 < tokens.size() && tokens[i + 1].space.empty() &&
            (tokens[i + 1].kind == SqlToken::Kind::Number ||
             tokens[i + 1].kind == SqlToken::Kind::Word))
            throw odbcdrv::DriverError("42000",
                                       "[Tamaro][Access driver] Syntax error: a parameter marker "
                                       "is a single '?'.");
        tokens[i].text = "?" + std::to_string(++markers);
    }
    AccessTranslator tr(std::move(tokens));
    tr.MarkOrderBy();
    tr.TopToLimit();
    tr.match_.assign(tr.tok_.size(), 0);
    std::vector<size_t> open;
    for (size_t i = 0; i < tr.tok_.size(); ++i) {
        if (tr.tok_[i].Is("(")) {
            if (open.size() >= kMaxDepth) throw odbcdrv::NestedTooDeep("parentheses", kMaxDepth);
            open.push_back(i);
        }
        if (tr.tok_[i].Is(")")) {
            if (open.empty())
                throw odbcdrv::DriverError("42000",
                                           "[Tamaro][Access driver] Syntax error: unbalanced ')'.");
            tr.match_[open.back()] = i;
            tr.match_[i] = open.back();
            open.pop_back();
        }
    }
    if (!open.empty())
        throw odbcdrv::DriverError("42000", "[Tamaro][Access driver] Syntax error: missing ')'.");
    return tr.Range(0, tr.tok_.size());
}

// Adds the engine's sort order (AccessCollation) to every ORDER BY term, so
// that text sorts as Access sorts it (German letters, without regard to
// case), also for expressions such as trim(x) and for column numbers.
void AccessTranslator::MarkOrderBy() {
    struct Level {
        bool inOrder = false;
        size_t termStart = 0;
    };
    std::vector<Level> levels(1);
    std::vector<size_t> inserts;
    auto finish = [&](Level& l, size_t end) {
        if (!l.inOrder) return;
        size_t b = l.termStart;
        if (end > b) {
            size_t last = end - 1;
            inserts.push_back(tok_[last].Is("asc") || tok_[last].Is("desc") ? last : end);
        }
        l.termStart = end + 1;
    };
    for (size_t i = 0; i < tok_.size(); ++i) {
        const SqlToken& t = tok_[i];
        Level& l = levels.back();
        if (t.Is("(")) {
            levels.emplace_back();
        } else if (t.Is(")")) {
            finish(l, i);
            if (levels.size() > 1) levels.pop_back();
        } else if (t.Is("order") && i + 1 < tok_.size() && tok_[i + 1].Is("by")) {
            finish(l, i);
            l.inOrder = true;
            l.termStart = i + 2;
            ++i;
        } else if (l.inOrder && t.Is(",")) {
            finish(l, i);
        } else if (l.inOrder && (t.Is(";") || t.Is("limit") || t.Is("union") || t.Is("except") ||
                                 t.Is("intersect"))) {
            finish(l, i);
            l.inOrder = false;
        }
    }
    finish(levels.back(), tok_.size());
    if (inserts.empty()) return;
    std::sort(inserts.begin(), inserts.end());
    SqlToken collate;
    collate.kind = SqlToken::Kind::Synthetic;
    collate.text = std::string("COLLATE ") + AccessCollation::kSort;
    collate.space = " ";
    std::vector<SqlToken> out;
    out.reserve(tok_.size() + inserts.size());
    size_t next = 0;
    for (size_t i = 0; i <= tok_.size(); ++i) {
        while (next < inserts.size() && inserts[next] == i) {
            out.push_back(collate);
            ++next;
        }
        if (i < tok_.size()) out.push_back(std::move(tok_[i]));
    }
    tok_ = std::move(out);
}

// SELECT TOP n ... becomes SELECT ... LIMIT n at the end of that query.
void AccessTranslator::TopToLimit() {
    std::vector<std::string> limits(1);  // per parenthesis level
    std::vector<std::pair<size_t, std::string>> inserts;
    std::vector<bool> drop(tok_.size(), false);
    bool any = false;
    for (size_t i = 0; i < tok_.size(); ++i) {
        const SqlToken& t = tok_[i];
        if (t.Is("(")) {
            limits.emplace_back();
        } else if (t.Is(")")) {
            if (!limits.back().empty()) inserts.emplace_back(i, limits.back());
            if (limits.size() > 1) limits.pop_back();
        } else if (t.Is("select")) {
            size_t j = i + 1;
            if (j < tok_.size() &&
                (tok_[j].Is("distinct") || tok_[j].Is("distinctrow") || tok_[j].Is("all")))
                ++j;
            if (j + 1 < tok_.size() && tok_[j].Is("top") &&
                tok_[j + 1].kind == SqlToken::Kind::Number) {
                if (j + 2 < tok_.size() && tok_[j + 2].Is("percent"))
                    throw odbcdrv::DriverError(
                        "42000", "[Tamaro][Access driver] TOP ... PERCENT is not supported.");
                limits.back() = tok_[j + 1].text;
                drop[j] = drop[j + 1] = true;
                any = true;
            }
        }
    }
    if (!any) return;
    size_t end = tok_.size();
    while (end > 0 && tok_[end - 1].Is(";")) --end;
    if (!limits.front().empty()) inserts.emplace_back(end, limits.front());
    std::sort(inserts.begin(), inserts.end());
    std::vector<SqlToken> out;
    out.reserve(tok_.size() + inserts.size());
    size_t next = 0;
    for (size_t i = 0; i <= tok_.size(); ++i) {
        for (; next < inserts.size() && inserts[next].first == i; ++next) {
            SqlToken limit;
            limit.kind = SqlToken::Kind::Synthetic;
            limit.text = "LIMIT " + inserts[next].second;
            limit.space = " ";
            out.push_back(limit);
        }
        if (i < tok_.size() && !drop[i]) out.push_back(std::move(tok_[i]));
    }
    tok_ = std::move(out);
}

bool AccessTranslator::IsBoundary(const SqlToken& t) const {
    switch (t.kind) {
        case SqlToken::Kind::Synthetic:
            return true;
        case SqlToken::Kind::Punct: {
            static const std::set<std::string> p = {",",  ";", "=", "==", "<>",
                                                    "!=", "<", ">", "<=", ">="};
            return p.count(t.text) > 0;
        }
        case SqlToken::Kind::Word:
            return BoundaryWords().count(Lower(t.text)) > 0;
        default:
            return false;
    }
}

bool AccessTranslator::EndsOperand(const SqlToken& t) const {
    switch (t.kind) {
        case SqlToken::Kind::Punct:
            return t.text == ")" || t.text[0] == '?';
        case SqlToken::Kind::Synthetic:
            return false;
        case SqlToken::Kind::Word:
            return !t.Is("mod");
        default:
            return true;
    }
}

std::string AccessTranslator::Token(size_t i) {
    const SqlToken& t = tok_[i];
    if (t.kind == SqlToken::Kind::Word) {
        if (t.Is("mod")) return t.space + "%";
        if (t.Is("distinctrow")) return t.space + "DISTINCT";
        if (i + 1 < tok_.size() && tok_[i + 1].Is("(")) {
            auto it = Functions().find(Lower(t.text));
            if (it != Functions().end()) return t.space + it->second;
        }
    }
    // "a--1" subtracts in Access SQL; SQLite would read a comment.
    if (t.space.empty() && i > 0 && t.Is("-") && tok_[i - 1].Is("-")) return " " + TokenText(t);
    return t.space + TokenText(t);
}

size_t AccessTranslator::OperandEnd(size_t b, size_t e) const {
    size_t i = b;
    while (i < e && (tok_[i].Is("-") || tok_[i].Is("+"))) ++i;
    if (i >= e) return e;
    if (tok_[i].Is("(")) return std::min(match_[i] + 1, e);
    if (tok_[i].kind == SqlToken::Kind::Punct && tok_[i].text[0] != '?') return i;
    if (tok_[i].kind == SqlToken::Kind::Word && i + 1 < e && tok_[i + 1].Is("("))
        return std::min(match_[i + 1] + 1, e);
    ++i;
    while (i + 1 < e && tok_[i].Is(".") &&
           (tok_[i + 1].kind == SqlToken::Kind::Name || tok_[i + 1].kind == SqlToken::Kind::Word))
        i += 2;
    return i;
}

// Tokens in order, with groups translated. The divisor of "/" and "Mod" is
// checked by a function: Access refuses a division by zero where SQLite
// would give a null, and divides as a floating-point number where SQLite
// would divide whole numbers.
std::string AccessTranslator::Plain(size_t b, size_t e) {
    std::string out;
    for (size_t i = b; i < e; ++i) {
        if (tok_[i].Is("(")) {
            out += Token(i) + Range(i + 1, match_[i]) + Token(match_[i]);
            i = match_[i];
        } else if ((tok_[i].Is("/") || tok_[i].Is("mod")) && i > b && EndsOperand(tok_[i - 1])) {
            size_t end = OperandEnd(i + 1, e);
            out += Token(i);
            if (end > i + 1) {
                out += std::string(tok_[i].Is("/") ? " tamaro_divisor(" : " tamaro_modulus(") +
                       Plain(i + 1, end) + ")";
                i = end - 1;
            }
        } else {
            out += Token(i);
        }
    }
    return out;
}

std::string AccessTranslator::Range(size_t b, size_t e) {
    std::string out;
    size_t seg = b;
    for (size_t i = b; i < e; ++i) {
        if (tok_[i].Is("(")) {
            i = match_[i];
        } else if (IsBoundary(tok_[i])) {
            out += Segment(seg, i) + Token(i);
            seg = i + 1;
        }
    }
    return out + Segment(seg, e);
}

// One operand sequence between boundaries: `a + b & c - d` becomes
// tamaro_concat(tamaro_plus(a, b), (c - d)) with Access's precedence
// (& below + and -), so that + concatenates when its operands are text.
std::string AccessTranslator::Segment(size_t b, size_t e) {
    struct Op {
        size_t at;
        char op;
    };
    std::vector<Op> ops;
    bool needed = false;
    for (size_t i = b; i < e; ++i) {
        const SqlToken& t = tok_[i];
        if (t.Is("(")) {
            i = match_[i];
            continue;
        }
        if ((t.Is("+") || t.Is("-") || t.Is("&")) && i > b && EndsOperand(tok_[i - 1])) {
            ops.push_back({i, t.text[0]});
            if (t.text[0] != '-') needed = true;
        }
    }
    if (!needed) return Plain(b, e);

    // Split at &, then fold each additive chain left to right. The openers
    // of a left-nested chain are written first, so that long chains cost
    // linear time: (a + b) - c becomes "(" "tamaro_plus(" a "," b ")" " -" c ")".
    std::vector<std::vector<Op>> chains(1);
    std::vector<size_t> chainStarts{b}, chainEnds;
    for (const Op& op : ops) {
        if (op.op == '&') {
            chainEnds.push_back(op.at);
            chains.emplace_back();
            chainStarts.push_back(op.at + 1);
        } else {
            chains.back().push_back(op);
        }
    }
    chainEnds.push_back(e);
    std::string result;
    for (size_t c = 1; c < chains.size(); ++c) result += "tamaro_concat(";
    for (size_t c = 0; c < chains.size(); ++c) {
        const std::vector<Op>& chain = chains[c];
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            result += it->op == '+' ? "tamaro_plus(" : "(";
        size_t start = chainStarts[c];
        for (const Op& op : chain) {
            result += Plain(start, op.at);
            if (start != chainStarts[c]) result += ")";
            result += op.op == '+' ? "," : " -";
            start = op.at + 1;
        }
        result += Plain(start, chainEnds[c]);
        if (!chain.empty()) result += ")";
        if (c > 0) result += ")";
        if (c + 1 < chains.size()) result += ",";
    }
    return " " + result;
}

}  // namespace accessdrv
