#include "archive/rows/RowPrint.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>

#include "core/AsciiText.h"
#include "core/ContentHash.h"

namespace {

using asciitext::Lower;

// Spreads a row's hash over all 64 bits before it is summed, so that rows
// that differ in few bits do not cancel out in the sum.
uint64_t Mix(uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return x;
}

}  // namespace

const char* RenumberedColumn(const std::string& table) {
    if (strcasecmp(table.c_str(), "ldtnummer") == 0) return "autoid";
    if (strcasecmp(table.c_str(), "abrechnungen") == 0) return "ZID";
    if (strcasecmp(table.c_str(), "diagnosen") == 0) return "DID";
    return nullptr;
}

RowPrinter::RowPrinter(const std::string& table, const std::vector<std::string>& columns)
    : pidColumn_(columns.size()), values_(columns.size()) {
    const char* renumbered = RenumberedColumn(table);
    for (size_t i = 0; i < columns.size(); ++i) {
        std::string name = Lower(columns[i]);
        if (renumbered && strcasecmp(name.c_str(), renumbered) == 0) name.clear();
        if (name == "pid") pidColumn_ = i;
        names_.push_back(name);
        if (!name.empty()) order_.push_back(i);
    }
    std::sort(order_.begin(), order_.end(),
              [this](size_t a, size_t b) { return names_[a] < names_[b]; });
}

void RowPrinter::Value(size_t i, const std::string& literal) {
    if (i >= values_.size() || literal == "null") return;
    // A text without a value is blanked in the destination, which pads a
    // fixed-width column with blanks: trailing blanks of a text count for
    // nothing, and a text of blanks alone is no value.
    std::string value = literal;
    if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
        value.pop_back();
        while (value.size() > 1 && value.back() == ' ') value.pop_back();
        if (value.size() == 1) return;
        value.push_back('\'');
    }
    values_[i] = std::move(value);
}

void RowPrinter::EndRow() {
    ContentHash hash;
    for (size_t i : order_) {
        if (values_[i].empty()) continue;
        // Name and value, each ended by a byte no name or literal holds.
        hash.Update(names_[i].data(), names_[i].size());
        hash.Update("\0", 1);
        hash.Update(values_[i].data(), values_[i].size());
        hash.Update("\0", 1);
    }
    const uint64_t row = Mix(hash.Value());
    ++total_.rows;
    total_.sum += row;
    if (pidColumn_ < values_.size() && !values_[pidColumn_].empty()) {
        // The pid of a text column stands in quotes.
        std::string pid = values_[pidColumn_];
        pid.erase(std::remove(pid.begin(), pid.end(), '\''), pid.end());
        char* end = nullptr;
        const long long id = std::strtoll(pid.c_str(), &end, 10);
        if (end && *end == 0 && !pid.empty()) {
            RowsPrint& p = perPatient_[id];
            ++p.rows;
            p.sum += row;
        }
    }
    std::fill(values_.begin(), values_.end(), std::string());
}

std::string PrintText(const RowsPrint& print) {
    return std::to_string(print.rows) + ":" + ContentHash::Hex(print.sum);
}

bool ParsePrint(const std::string& text, RowsPrint& print) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    char* end = nullptr;
    const long long rows = std::strtoll(text.c_str(), &end, 10);
    if (end != text.c_str() + colon || rows < 0) return false;
    uint64_t sum = 0;
    if (!ContentHash::ParseHex(text.substr(colon + 1), sum)) return false;
    print.rows = rows;
    print.sum = sum;
    return true;
}
