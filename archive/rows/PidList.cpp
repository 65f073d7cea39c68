#include "archive/rows/PidList.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

std::vector<std::string> SplitPidList(const std::string& pidList, size_t maxIds) {
    std::vector<std::string> parts;
    if (maxIds == 0) maxIds = 1;
    size_t start = 0;
    while (true) {
        size_t end = start;
        for (size_t ids = 0; ids < maxIds; ++ids) {
            end = pidList.find(',', end);
            if (end == std::string::npos) break;
            if (ids + 1 < maxIds) ++end;
        }
        if (end == std::string::npos) {
            parts.push_back(pidList.substr(start));
            return parts;
        }
        parts.push_back(pidList.substr(start, end - start));
        start = end + 1;
    }
}

std::vector<std::string> PidListItems(const std::string& pidList) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= pidList.size()) {
        size_t end = pidList.find(',', start);
        if (end == std::string::npos) end = pidList.size();
        items.push_back(pidList.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

bool ParsePid(const std::string& text, int32_t& pid) {
    bool digits = !text.empty() && text.size() <= 10;
    for (char c : text) digits = digits && c >= '0' && c <= '9';
    if (!digits) return false;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) return false;
    pid = int32_t(value);
    return true;
}

bool PidListHasDuplicate(const std::string& pidList, std::string* duplicate) {
    std::unordered_set<std::string> seen;
    for (const std::string& id : PidListItems(pidList)) {
        const size_t digits = id.find_first_not_of('0');
        const std::string value = digits == std::string::npos ? "0" : id.substr(digits);
        if (!id.empty() && !seen.insert(value).second) {
            if (duplicate) *duplicate = id;
            return true;
        }
    }
    return false;
}

std::vector<std::string> SplitTableList(const std::string& tables) {
    std::vector<std::string> names;
    std::string rest = tables;
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        if (comma == std::string::npos || comma == 0) {
            names.push_back(rest);
            break;
        }
        names.push_back(rest.substr(0, comma));
        rest.erase(0, comma + 1);
    }
    return names;
}

size_t PidCount(const std::string& pidList) {
    if (pidList.empty()) return 0;
    size_t count = 1;
    for (char c : pidList)
        if (c == ',') ++count;
    return count;
}

namespace {

struct RangedId {
    long long value;
    std::string text;
};

// The ids [from, to) (sorted by value, at least one) as a test that picks
// the half a row's pid can lie in, down to in-lists of at most groupIds
// ids: "case when pid < <first id of the upper half> then <lower half> else
// <upper half> end". Each level halves the groups.
void AppendIdTree(const std::vector<RangedId>& ids, size_t from, size_t to, size_t groupIds,
                  std::string& out) {
    if (to - from <= groupIds) {
        out += "pid in (";
        for (size_t i = from; i < to; ++i) {
            if (i > from) out += ",";
            out += ids[i].text;
        }
        out += ")";
        return;
    }
    const size_t groups = (to - from + groupIds - 1) / groupIds;
    const size_t split = from + (groups + 1) / 2 * groupIds;
    out += "case when pid < " + std::to_string(ids[split].value) + " then ";
    AppendIdTree(ids, from, split, groupIds, out);
    out += " else ";
    AppendIdTree(ids, split, to, groupIds, out);
    out += " end";
}

}  // namespace

std::vector<std::string> RangedPidConditions(const std::string& pidList, size_t maxIds,
                                             size_t groupIds) {
    std::vector<RangedId> ids;
    for (std::string& text : PidListItems(pidList)) {
        if (text.empty()) continue;
        const long long value = std::strtoll(text.c_str(), nullptr, 10);
        ids.push_back({value, std::move(text)});
    }
    if (ids.empty()) return {"pid in ()"};
    std::stable_sort(ids.begin(), ids.end(),
                     [](const RangedId& a, const RangedId& b) { return a.value < b.value; });
    if (maxIds == 0) maxIds = 1;
    if (groupIds == 0) groupIds = 1;
    std::vector<std::string> conditions;
    for (size_t from = 0; from < ids.size(); from += maxIds) {
        const size_t to = std::min(ids.size(), from + maxIds);
        std::string condition = "pid between " + std::to_string(ids[from].value) + " and " +
                                std::to_string(ids[to - 1].value) + " and ";
        AppendIdTree(ids, from, to, groupIds, condition);
        conditions.push_back(std::move(condition));
    }
    return conditions;
}
