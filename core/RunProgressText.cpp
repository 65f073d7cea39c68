#include "core/RunProgressText.h"

#include "core/RunProgress.h"

std::string RunProgressText(const std::string& what, uint64_t done, uint64_t total) {
    if (total == kRunWaiting) return what;
    // Nothing to move is done at once.
    const uint64_t percent = total == 0 ? 100 : (done >= total ? 100 : done * 100 / total);
    return what + " " + std::to_string(percent) + " %";
}
