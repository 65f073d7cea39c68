// The preview of a run: Shift+F4 and Shift+F6 on the ticked rows, and
// "--dry-run" before --archive, --restore or --delete in the headless mode.
// Each takes the path of its run up to the question (sibling programs, an
// unchecked list, the given pids, the run lock), then counts what the run
// would move or delete and writes it to the progress log; there is no
// question, and nothing is changed.
#pragma once

#include <string>

#include "archive/runs/RunPreview.h"

class CommandHold;
class DatabaseSet;
class IMainView;
class PatientList;

class PreviewCommands {
  public:
    PreviewCommands(DatabaseSet& set, PatientList& list, CommandHold& hold)
        : set_(set), list_(list), hold_(hold) {}

    // Shift+F4 and Shift+F6 on the ticked rows.
    void OnPreviewTransfer(IMainView& view);
    void OnPreviewDelete(IMainView& view);

    // The preview of TransferGiven and DeleteGiven (RunCommands) on the
    // view shown, refused as they are. True when plan holds the preview.
    bool PreviewTransferGiven(IMainView& view, const std::string& pids, RunPlan& plan);
    bool PreviewDeleteGiven(IMainView& view, const std::string& pids, RunPlan& plan);

  private:
    bool Preview(IMainView& view, RunKind kind, const std::string& pids, RunPlan& plan);
    RunKind TransferKind() const;

    DatabaseSet& set_;
    PatientList& list_;
    CommandHold& hold_;
};
