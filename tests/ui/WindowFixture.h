// The real main window started on a practice (the fixed cases of
// tamaro-mkpractice, pids 1 to 21) the way the program starts it: the
// start-up, timer 4 (the login counts as confirmed, doctor 2 preselected as
// by "AID=2") and timer 1; the list then shows pids 10 to 16 and 21.
// Message boxes are answered from a queue; a box that finds no queued answer
// fails the test and is closed. The progress log is recorded besides the window's.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainDialogCore.h"
#include "core/LogRecorder.h"
#include "tests/fixtures/Practice.h"
#include "tests/fixtures/PrivateSessionBus.h"
#include "ui/CTamaroDlg.h"
#include "ui/ProgressLogWidget.h"
#include "ui/QtMainView.h"
#include "ui/QtWindowServices.h"

namespace uitest {

namespace fs = std::filesystem;

// Writes to the window's log and to a recorder; a hook sees every text as it
// is written, from inside the command that writes it.
class HookedLog : public ILogSink {
  public:
    explicit HookedLog(ILogSink& window) : window_(window) {}
    void Append(const std::string& text, uint32_t colour) override;

    LogRecorder recorder;
    std::function<void(const std::string&)> hook;

  private:
    ILogSink& window_;
    bool inHook_ = false;
};

class WindowTest : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Called by SetUp just before the start-up runs, with the window shown
    // (a fixture that drives the real login sets core_.ShowLogin here).
    virtual void BeforeStart() {}

    // Rows of the list as their pids, in list order.
    std::vector<int> Pids();
    // Ticks exactly the rows of these pids.
    void TickOnly(const std::vector<int>& pids);
    // Highlights the row of the pid (-1: no row).
    void Highlight(int pid);
    void Key(Qt::Key key);
    std::vector<std::string> LogTexts() { return log_.recorder.Texts(); }
    bool LogHas(const std::string& text);
    // Texts of the boxes shown since the last call.
    std::vector<std::string> NewBoxes();
    // Runs inspect on the modal dialog of type T once it is up, then closes it.
    template <class T>
    void OnModal(std::function<void(T&)> inspect) {
        auto* poll = new QTimer(&window_);
        QObject::connect(poll, &QTimer::timeout, [poll, inspect] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                poll->stop();
                poll->deleteLater();
                inspect(*dialog);
                dialog->close();
            }
        });
        poll->start(10);
    }
    void Exec(ArchiveDbPair& db, const std::string& sql);

    testenv::TempDir practice_{"tamaro-ui-practice"}, program_{"tamaro-ui-prog"},
        locks_{"tamaro-ui-locks"};
    // Started before the databases are opened: a process forked later would
    // inherit the embedded Firebird engine's locked files.
    std::unique_ptr<testenv::PrivateSessionBus> bus_;
    fs::path oldCwd_;
    CTamaroDlg window_;
    QtWindowServices services_{&window_};
    HookedLog log_{*window_.Log()};
    MainDialogCore core_;
    std::unique_ptr<QtMainView> view_;
    QTimer boxWatch_;
    size_t boxesSeen_ = 0;
    bool started_ = false;
};

// 1 January 1990, 00:00 local time.
time_t Jan1990();
// The engine's code page 1252 text of a UTF-8 literal.
std::string W(const char* utf8);

}  // namespace uitest
