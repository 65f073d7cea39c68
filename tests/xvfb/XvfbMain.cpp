// The tests of this program share one QApplication on a private Xvfb server.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "tests/xvfb/XServer.h"
#include "tests/xvfb/XdoTool.h"
#include "tests/xvfb/XvfbEnvironment.h"
#include "ui/GermanTranslations.h"

std::string g_noXServer;

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) listing = true;
    XServer server;
    if (listing) {
        g_noXServer = "listing only";
    } else if (!server.Start()) {
        g_noXServer = server.Why();
    } else if (!xdo::Available()) {
        g_noXServer = "xdotool or xprop missing (packages xdotool, x11-utils)";
    }
    setenv("QT_QPA_PLATFORM", g_noXServer.empty() ? "xcb" : "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamaro"));
    InstallGermanTranslations(app);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
