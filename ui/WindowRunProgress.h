// A run's progress in the main window: the caption reads "Tamaro –
// Archivieren: Datensicherung 60 %" while the backups are copied, "Tamaro –
// Archivieren 43 %" while the rows are moved, and "Tamaro" again once the
// run has ended; between the two shares (while the rows are counted) it keeps
// the last one rather than fall back to "Tamaro" for a moment. The run
// reports from inside long tables too, where no log line is written for many
// seconds; each report lets the window repaint and follow a resize (at most
// every 100 ms), but keeps keys and clicks queued until the run has written
// its next log line, so that no other command starts from here.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include "core/RunProgress.h"

class CTamaroDlg;

class WindowRunProgress : public IRunProgress {
  public:
    explicit WindowRunProgress(CTamaroDlg* window);
    void Progress(const std::string& what, uint64_t done, uint64_t total) override;
    void Finished() override;

    static constexpr int kPaintInterval = 100;  // milliseconds

  private:
    CTamaroDlg* window_;
    bool showing_ = false;
    QElapsedTimer sincePaint_;
};
