#include "users/AuditFile.h"

#include <cstdint>

namespace {

bool Literal(const std::string& s, size_t& i, const char* text) {
    for (; *text; ++text, ++i)
        if (i >= s.size() || s[i] != *text) return false;
    return true;
}

// A decimal 32-bit integer as "%d" writes it: no plus sign, no leading zeros, no "-0".
bool Integer(const std::string& s, size_t& i) {
    const bool negative = i < s.size() && s[i] == '-';
    if (negative) ++i;
    const size_t first = i;
    int64_t value = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - first < 11)
        value = value * 10 + (s[i++] - '0');
    const size_t digits = i - first;
    if (digits == 0 || digits > 10 || (digits > 1 && s[first] == '0')) return false;
    if (negative && value == 0) return false;
    return negative ? -value >= INT32_MIN : value <= INT32_MAX;
}

// A string literal: apostrophes inside doubled, no NUL (which would cut the
// statement short on its way to the driver).
bool Text(const std::string& s, size_t& i) {
    if (i >= s.size() || s[i] != '\'') return false;
    for (++i; i < s.size(); ++i) {
        if (s[i] == '\0') return false;
        if (s[i] != '\'') continue;
        if (i + 1 < s.size() && s[i + 1] == '\'') {
            ++i;
            continue;
        }
        ++i;
        return true;
    }
    return false;
}

}  // namespace

const char* const AuditFile::kInsertStart =
    "insert into log (mid, lid, aid, pid, datum, kategorie, art, intval1, intval2, intval3, "
    "client, notiz) values(";

bool AuditFile::IsAuditInsert(const std::string& sql) {
    size_t i = 0;
    if (!Literal(sql, i, kInsertStart)) return false;
    for (int n = 0; n < 10; ++n)
        if (!Integer(sql, i) || !Literal(sql, i, ", ")) return false;
    return Text(sql, i) && Literal(sql, i, ", ") && Text(sql, i) && Literal(sql, i, ")") &&
           i == sql.size();
}

std::string AuditFile::Encode(const std::vector<std::string>& statements) {
    std::string content;
    for (const std::string& sql : statements) {
        for (char c : sql) content += c == '\n' ? '\x01' : c == '\r' ? '\x02' : c;
        content += "\r\n";
    }
    return content;
}

std::vector<std::string> AuditFile::Decode(const std::string& content,
                                           std::vector<std::string>* refused) {
    std::vector<std::string> statements;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        const bool lineEnd = end != std::string::npos;
        if (!lineEnd) end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (lineEnd && !line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        for (char& c : line) c = c == '\x01' ? '\n' : c == '\x02' ? '\r' : c;
        if (IsAuditInsert(line))
            statements.push_back(std::move(line));
        else if (refused)
            refused->push_back(std::move(line));
    }
    return statements;
}
