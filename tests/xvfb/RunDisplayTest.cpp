// A run as the window shows it on the real X server: the caption with the
// direction and the share done, the window repainting and following a resize
// inside a long table (where no log line comes for a long time) while keys
// wait, and F7, F8 and the About box not opened while the run is under way.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QPushButton>
#include <QTableWidget>

#include "core/RunProgress.h"
#include "db/ODBCStmt.h"
#include "tests/xvfb/XWindowTest.h"
#include "ui/WindowRunProgress.h"

namespace uitest {
namespace {

// Counts the paint events of a widget.
class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

using RunDisplayTest = XWindowTest;

TEST_P(RunDisplayTest, CaptionRepaintsAndNoDialogDuringARun) {
    CTamaroDlg& w = window_;
    WindowRunProgress progress(&w);
    SetRunProgress(&progress);
    // Any print or file dialog or About box that opens is noted and closed.
    std::vector<std::string> opened;
    QTimer dialogs;
    QObject::connect(&dialogs, &QTimer::timeout, [&] {
        if (QWidget* m = QApplication::activeModalWidget()) {
            opened.push_back(m->metaObject()->className());
            static_cast<QDialog*>(m)->reject();
        }
    });
    dialogs.start(20);

    xdo::Focus(&w);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.isActiveWindow(); }));
    TickOnly({11});
    const std::string wid = std::to_string(w.winId());
    std::string midCaption, xCaption, nameDuring, menuEntry;
    int paintsDuring = 0;
    QSize sizeDuring;
    bool menuEntryEnabled = true, f7Enabled = true, f8Enabled = true;
    bool during = false;
    log_.hook = [&](const std::string& text) {
        if (during || text.find("Datentransfer") == std::string::npos) return;
        during = true;
        PaintCounter counter;
        w.installEventFilter(&counter);
        w.Log()->viewport()->installEventFilter(&counter);
        // Keys typed and a resize asked for while a long table is copied:
        // no log line comes, only the run's reports.
        w.NameFilter()->setFocus(Qt::OtherFocusReason);
        xdo::Type("xy");
        xdo::Run("windowsize " + wid + " 900 620");
        for (int i = 0; i <= 14; ++i) {
            ReportRunProgress("Archivieren", uint64_t(i) * 7, 100);
            if (i == 6) midCaption = w.windowTitle().toStdString();
            usleep(40000);
        }
        paintsDuring = counter.paints;
        sizeDuring = w.size();
        nameDuring = w.NameFilter()->text().toStdString();
        xdo::Run("getwindowname " + wid, &xCaption);
        w.removeEventFilter(&counter);
        w.Log()->viewport()->removeEventFilter(&counter);

        // F7 and F8 are held like F4 to F6, and the window menu offers no
        // About box; whatever arrives is handled as a log line would let it.
        f7Enabled = w.FunctionButton(7)->isEnabled();
        f8Enabled = w.FunctionButton(8)->isEnabled();
        QApplication::processEvents();  // the typed keys, as the next log line would
        w.PatientList()->setFocus(Qt::OtherFocusReason);
        xdo::Key("F7 F8 shift+F10");
        EXPECT_TRUE(
            QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 3000));
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menuEntry = menu->actions().value(0)->text().toStdString();
            menuEntryEnabled = menu->actions().value(0)->isEnabled();
            menu->actions().value(0)->trigger();
            menu->close();
        }
        QApplication::processEvents();
    };
    services_.QueueAnswer(MsgResult::Yes);
    Key(Qt::Key_F4);
    log_.hook = nullptr;
    ASSERT_TRUE(during) << log_.recorder.Raw();
    EXPECT_EQ(midCaption, "Tamaro – Archivieren 42 %");
    EXPECT_EQ(xCaption, "Tamaro – Archivieren 98 %\n");
    EXPECT_GT(paintsDuring, 0);
    EXPECT_EQ(sizeDuring, QSize(900, 620));
    EXPECT_EQ(nameDuring, "");
    EXPECT_FALSE(f7Enabled);
    EXPECT_FALSE(f8Enabled);
    EXPECT_EQ(menuEntry, "&Info über Tamaro...");
    EXPECT_FALSE(menuEntryEnabled);
    QTest::qWait(300);
    EXPECT_TRUE(opened.empty()) << opened[0];

    // After the run: the caption as before, the keys arrived, F7 and F8 back.
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tamaro"));
    EXPECT_EQ(w.NameFilter()->text(), QStringLiteral("xy"));
    EXPECT_TRUE(w.FunctionButton(7)->isEnabled());
    EXPECT_TRUE(w.FunctionButton(8)->isEnabled());
    // The run itself went its way: the patient is in the archive (and the
    // list, refilled with the name typed during the run, is empty).
    ODBCStmt stmt(core_.Databases().Archive.Connection);
    ASSERT_TRUE(stmt.ExecDirect("select pid from patienten"));
    ASSERT_TRUE(stmt.Fetch());
    int32_t pid = 0;
    stmt.GetColumnInt(1, pid);
    EXPECT_EQ(pid, 11);
    EXPECT_TRUE(Pids().empty());
    SetRunProgress(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Access, RunDisplayTest, testing::Values("mdb"));

}  // namespace
}  // namespace uitest
