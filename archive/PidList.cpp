#include "archive/PidList.h"

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
