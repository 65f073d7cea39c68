// The window tests share one QApplication on the offscreen platform, on a
// screen of a desktop's size (1280 by 1024): the window keeps inside its
// screen, and the platform's own is smaller than the window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/GermanTranslations.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char screens[] = "/tmp/tamaro-ui-screens-XXXXXX";
    const int fd = std::strcmp(getenv("QT_QPA_PLATFORM"), "offscreen") == 0 ? mkstemp(screens) : -1;
    if (fd >= 0) {
        const std::string config =
            R"({"screens": [{"name": "Desktop", "x": 0, "y": 0, "width": 1280, "height": 1024,)"
            R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
        const bool written = write(fd, config.data(), config.size()) == ssize_t(config.size());
        close(fd);
        if (written)
            setenv("QT_QPA_PLATFORM", (std::string("offscreen:configfile=") + screens).c_str(), 1);
    }
    int status;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Tamaro"));
        InstallGermanTranslations(app);
        testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    if (fd >= 0) unlink(screens);
    return status;
}
