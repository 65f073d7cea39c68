#include "firebird/FbLongLiterals.h"

#include <algorithm>

namespace fbdrv {

FbLongLiterals::FbLongLiterals(const std::string& sql) {
    const size_t n = sql.size();
    size_t copied = 0;
    size_t depth = 0;
    for (size_t i = 0; i < n;) {
        const char c = sql[i];
        if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            const size_t end = sql.find('\n', i);
            i = end == std::string::npos ? n : end;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == '"') {
            const size_t end = sql.find('"', i + 1);
            i = end == std::string::npos ? n : end + 1;
        } else if (c == '\'') {
            std::string value;
            size_t j = i + 1;
            while (j < n) {
                if (sql[j] == '\'') {
                    if (j + 1 < n && sql[j + 1] == '\'') {
                        value += '\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                value += sql[j++];
            }
            if (j >= n) break;  // unterminated: the engine reports it
            if (value.size() > kMaxLiteralBytes) {
                sql_.append(sql, copied, i - copied);
                sql_ += '?';
                copied = j + 1;
                slots_.push_back(static_cast<int>(values_.size()));
                values_.push_back(std::move(value));
            }
            i = j + 1;
        } else if (c == '?') {
            slots_.push_back(-1);
            ++i;
        } else if (c == '(') {
            deepest_ = std::max(deepest_, ++depth);
            ++i;
        } else if (c == ')') {
            depth -= depth > 0;
            ++i;
        } else {
            ++i;
        }
    }
    if (values_.empty())
        sql_.clear();
    else
        sql_.append(sql, copied, std::string::npos);
}

}  // namespace fbdrv
