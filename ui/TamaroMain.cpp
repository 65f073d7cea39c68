#include "ui/TamaroMain.h"

#include <QApplication>

#include "app/LogSink.h"
#include "app/WindowServices.h"
#include "ui/CTamaroDlg.h"
#include "ui/ProgressLogWidget.h"
#include "ui/QtWindowServices.h"

int RunTamaro(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamaro"));

    CTamaroDlg dlg;
    QtWindowServices services(&dlg);
    SetWindowServices(&services);
    SetLogSink(dlg.Log());

    dlg.show();
    dlg.exec();

    SetLogSink(nullptr);
    SetWindowServices(nullptr);
    return 0;
}
