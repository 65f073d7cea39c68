// The window tests share one QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "ui/GermanTranslations.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamaro"));
    InstallGermanTranslations(app);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
