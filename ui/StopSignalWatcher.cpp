#include "ui/StopSignalWatcher.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QSocketNotifier>

#include "platform/StopSignals.h"
#include "ui/CTamaroDlg.h"

StopSignalWatcher::StopSignalWatcher(CTamaroDlg& window, int fd) : window_(window) {
    if (fd < 0) return;
    notifier_ = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignalWatcher::OnStop);
}

void StopSignalWatcher::OnStop() {
    // Takes the signal off the descriptor; it stays recorded, so a run that
    // asks sees it too.
    if (!stopsignals::Requested()) return;
    notifier_->setEnabled(false);
    if (!window_.RunInProgress()) {
        // A dialog or box waiting for an answer is cancelled as Escape
        // would; its own loop then ends, and with it the command that
        // opened it (the login ends the program itself).
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w == &window_ || !w->isVisible()) continue;
            if (auto* dialog = qobject_cast<QDialog*>(w))
                dialog->reject();
            else if (auto* menu = qobject_cast<QMenu*>(w))
                menu->close();
        }
    }
    // Waits for the end of a run in progress.
    window_.done(QDialog::Rejected);
}
