#include "app/VersionText.h"

#include <cstdio>

std::string FormatVersionText(int major, int minor, int beta) {
    char suffix[32] = "";
    if (beta != 0) std::snprintf(suffix, sizeof suffix, " Beta %d", beta);
    char buf[96];
    std::snprintf(buf, sizeof buf, "Tamaro V%d.%02d%s", major, minor, suffix);
    return buf;
}

std::string GetVersionText() {
    return FormatVersionText(TAMARO_VERSION_MAJOR, TAMARO_VERSION_MINOR, TAMARO_VERSION_TWEAK);
}
