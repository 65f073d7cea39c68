#include "tests/xvfb/XdoTool.h"

#include <QWidget>
#include <regex>

#include "tests/fixtures/Practice.h"

namespace xdo {

bool Available() {
    return testenv::RunCommand("command -v xdotool >/dev/null && command -v xprop >/dev/null") == 0;
}

int Run(const std::string& args, std::string* out) {
    return testenv::RunCommand("timeout 20 xdotool " + args, out);
}

void Focus(const QWidget* window) {
    Run("windowfocus --sync " + std::to_string(window->window()->winId()));
}

void Key(const std::string& keys) {
    Run("key --delay 30 " + keys);
}

void Type(const std::string& text, int delayMs) {
    Run("type --delay " + std::to_string(delayMs) + " '" + text + "'");
}

bool OffersMaximise(const QWidget* window) {
    std::string out;
    testenv::RunCommand(
        "xprop -id " + std::to_string(window->window()->winId()) + " _MOTIF_WM_HINTS", &out);
    std::smatch m;
    // Without the property, or without functions or decorations in it, the
    // window manager offers everything.
    if (!std::regex_search(out, m, std::regex("= (0x[0-9a-f]+), (0x[0-9a-f]+), (0x[0-9a-f]+)")))
        return true;
    const unsigned long flags = std::stoul(m[1], nullptr, 16),
                        functions = std::stoul(m[2], nullptr, 16),
                        decorations = std::stoul(m[3], nullptr, 16);
    const bool byFunctions = !(flags & 1) || (functions & 1) || (functions & 0x10);
    const bool byDecorations = !(flags & 2) || (decorations & 1) || (decorations & 0x40);
    return byFunctions && byDecorations;
}

}  // namespace xdo
