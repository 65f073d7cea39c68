// Ends the program when it is asked to stop (SIGTERM, SIGINT, SIGHUP, read
// from the stop-signal descriptor): as closing the window does, so that the
// end is recorded, the databases are disconnected and the settings saved.
// Idle, every open dialog and message box is cancelled and the window closes
// at once; during a run the window closes as soon as the run has ended.
#pragma once

#include <QObject>

class CTamaroDlg;
class QSocketNotifier;

class StopSignalWatcher : public QObject {
    Q_OBJECT
  public:
    // Watches the descriptor (stopsignals::Fd()); nothing when it is -1.
    StopSignalWatcher(CTamaroDlg& window, int fd);

  private:
    void OnStop();

    CTamaroDlg& window_;
    QSocketNotifier* notifier_ = nullptr;
};
