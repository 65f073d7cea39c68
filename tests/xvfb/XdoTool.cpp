#include "tests/xvfb/XdoTool.h"

#include <QWidget>

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

void Type(const std::string& text) {
    Run("type --delay 30 '" + text + "'");
}

std::string MotifHints(const QWidget* window) {
    std::string out;
    testenv::RunCommand(
        "xprop -id " + std::to_string(window->window()->winId()) + " _MOTIF_WM_HINTS", &out);
    return out;
}

}  // namespace xdo
