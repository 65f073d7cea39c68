#include "drivers/common/sql/SearchPattern.h"

namespace odbcdrv {

namespace {

// Upper case of code page 1252 letters.
unsigned char Fold(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0x9A || c == 0x9C || c == 0x9E) return c - 0x10;
    if (c == 0xFF) return 0x9F;
    return c;
}

}  // namespace

SearchPattern::SearchPattern(const std::string* pattern, bool literal, int escape) {
    if (!pattern || (!literal && *pattern == "%")) {
        all_ = true;
        return;
    }
    const std::string& p = *pattern;
    for (size_t i = 0; i < p.size(); ++i) {
        auto c = static_cast<unsigned char>(p[i]);
        if (!literal && int(c) == escape && i + 1 < p.size()) {
            kinds_.push_back('c');
            text_.push_back(Fold(static_cast<unsigned char>(p[++i])));
        } else if (!literal && (c == '%' || c == '_')) {
            kinds_.push_back(static_cast<char>(c));
            text_.push_back(0);
        } else {
            kinds_.push_back('c');
            text_.push_back(Fold(c));
        }
    }
}

bool SearchPattern::Matches(const std::string& name) const {
    if (all_) return true;
    // Greedy matching with one point to return to after "%".
    size_t p = 0, t = 0, star = std::string::npos, mark = 0;
    const size_t n = kinds_.size();
    while (t < name.size()) {
        const unsigned char c = Fold(static_cast<unsigned char>(name[t]));
        if (p < n && (kinds_[p] == '_' || (kinds_[p] == 'c' && text_[p] == c))) {
            ++p, ++t;
        } else if (p < n && kinds_[p] == '%') {
            star = p++;
            mark = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < n && kinds_[p] == '%') ++p;
    return p == n;
}

}  // namespace odbcdrv
