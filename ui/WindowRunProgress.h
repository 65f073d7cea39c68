// A run's progress in the main window: the caption reads "Tamaro –
// Archivieren: Datensicherung 60 %" while the backups are copied, "Tamaro –
// Archivieren 43 %" while the rows are moved, and "Tamaro" again afterwards. The
// run reports from inside long tables too, where no log line is written for
// many seconds; each report lets the window repaint and follow a resize (at
// most every 100 ms), but keeps keys and clicks queued until the run has
// written its next log line, so that no other command starts from here.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include "core/RunProgress.h"

class QWidget;

class WindowRunProgress : public IRunProgress {
  public:
    explicit WindowRunProgress(QWidget* window);
    void Progress(const std::string& what, uint64_t done, uint64_t total) override;
    void Finished() override;

    static constexpr int kPaintInterval = 100;  // milliseconds

  private:
    QWidget* window_;
    QString caption_;  // the caption outside a run
    QElapsedTimer sincePaint_;
};
