#include "ui/WindowRunProgress.h"

#include <QCoreApplication>

#include "core/RunProgressText.h"
#include "ui/CTamaroDlg.h"
#include "ui/QtCp1252.h"

WindowRunProgress::WindowRunProgress(CTamaroDlg* window) : window_(window) {}

void WindowRunProgress::Progress(const std::string& what, uint64_t done, uint64_t total) {
    if (!showing_) {
        showing_ = true;
        sincePaint_.start();
    }
    window_->ShowRunProgress(ToQString(RunProgressText(what, done, total)));
    if (sincePaint_.elapsed() < kPaintInterval) return;
    sincePaint_.restart();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void WindowRunProgress::Finished() {
    // A share of the run has ended (the backups); the run goes on, and the
    // caption keeps it until the next share reports or the run ends.
    if (!showing_ || window_->RunInProgress()) return;
    showing_ = false;
    window_->ShowRunProgress(QString());
}
