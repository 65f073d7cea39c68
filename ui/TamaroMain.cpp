#include "ui/TamaroMain.h"

#include <QApplication>
#include <string>

#include "app/headless/CommandLine.h"
#include "app/headless/Headless.h"
#include "app/MainDialogCore.h"
#include "app/headless/Usage.h"
#include "core/DocumentRenderer.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RunProgress.h"
#include "core/WindowServices.h"
#include "platform/OdbcDriverLocator.h"
#include "platform/StopSignals.h"
#include "ui/CLoginDlg.h"
#include "ui/CTamaroDlg.h"
#include "ui/GermanTranslations.h"
#include "ui/ProgressLogWidget.h"
#include "ui/QtDocumentRenderer.h"
#include "ui/QtMainView.h"
#include "ui/QtWindowServices.h"
#include "ui/StopSignalWatcher.h"
#include "ui/WindowRunProgress.h"
#include "users/AuditLog.h"

int RunTamaro(int argc, char** argv) {
    int status = 0;
    if (Usage::Answer(argc, argv, status)) return status;
    // Before the first ODBC call: the driver manager reads its registration once.
    OdbcDriverLocator::UseRegistrationBesideProgram();
    if (WantsHeadless(argc, argv)) {
        // The exported records' PDF is laid out by Qt without a screen.
        QtDocumentRenderer renderer(argv[0]);
        SetDocumentRenderer(&renderer);
        const int status = RunHeadless(argc, argv);
        SetDocumentRenderer(nullptr);
        return status;
    }

    std::string args;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) args += ' ';
        args += argv[i];
    }
    CurrentLid = PresetAid = PresetPid = -1;
    ParseCommandLine(args, PresetAid, PresetPid);
    TheAuditLog().SetConnection(nullptr);
    TheAuditLog().SetModuleId(7);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamaro"));
    InstallGermanTranslations(app);
    QtDocumentRenderer renderer;
    SetDocumentRenderer(&renderer);

    {
        CTamaroDlg dlg;
        QtWindowServices services(&dlg);
        SetWindowServices(&services);
        SetLogSink(dlg.Log());

        MainDialogCore core;
        core.ShowLogin = [&dlg](ODBCConnection& main) { return CLoginDlg::Run(main, &dlg); };
        QtMainView view(dlg, [&core](int id) { core.OnTimer(id); });
        dlg.show();
        WindowRunProgress progress(&dlg);
        SetRunProgress(&progress);
        if (core.OnInitDialog(view)) {
            dlg.AttachCore(&core);
            // From here on a stop request ends the program as the close box
            // does; one that came during the start-up is taken now.
            StopSignalWatcher stop(dlg, stopsignals::Fd());
            dlg.exec();
        }
        SetRunProgress(nullptr);
        dlg.AttachCore(nullptr);
        core.OnDestroy();
        TheAuditLog().SaveAtProgramEnd();
        SetLogSink(nullptr);
        SetWindowServices(nullptr);
    }
    SetDocumentRenderer(nullptr);
    return 0;
}
