// The engine half of the main window: what happens from the window's
// initialisation to its destruction — locating the Velunda installation,
// opening the database set, start-up maintenance, the timers, and the
// shutdown — without any window code. The Qt window and the headless front
// end own one each and hand it their controls through IMainView.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/CheckCommand.h"
#include "app/CommandHold.h"
#include "app/ExportCommand.h"
#include "app/ListCommands.h"
#include "app/MainView.h"
#include "app/PatientList.h"
#include "app/PreviewCommands.h"
#include "app/RunCommands.h"
#include "app/ViewSwitch.h"
#include "core/CConfigFile.h"
#include "db/DatabaseSet.h"

class MainDialogCore {
  public:
    MainDialogCore() = default;
    // Detaches the audit log from the main database's connection.
    ~MainDialogCore();
    MainDialogCore(const MainDialogCore&) = delete;
    MainDialogCore& operator=(const MainDialogCore&) = delete;

    // The window's initialisation, up to arming timer 4. Returns false after
    // ending the dialog when the installation has no "Database" folder.
    bool OnInitDialog(IMainView& view);
    // The window's destruction: audit entry, disconnects, the filter range of
    // the view shown, "Tamaro.cfg".
    void OnDestroy();
    // One-shot timers 4 (login, then timer 1), 1 (the patient list) and 2
    // (the focus back to the list).
    void OnTimer(int id);
    // Buttons 1002 and 1003, button 1006 and a choice in the doctor list.
    void OnVelundaView() { views_.ShowVelunda(*view_); }
    void OnArchiveView() { views_.ShowArchive(*view_); }
    void OnRefresh() { views_.Refresh(*view_); }
    // F2, F3, F4, F5 (and a double click in the list), F6.
    void OnSelectAll() { listCommands_.OnSelectAll(*view_); }
    void OnSelectNone() { listCommands_.OnSelectNone(*view_); }
    void OnTransfer() { runs_.OnTransfer(*view_); }
    void OnPatientInfo() { listCommands_.OnPatientInfo(*view_); }
    void OnDelete() { runs_.OnDelete(*view_); }
    // Shift+F4 and Shift+F6: the preview of F4 and F6 in the progress log.
    void OnPreviewTransfer() { previews_.OnPreviewTransfer(*view_); }
    void OnPreviewDelete() { previews_.OnPreviewDelete(*view_); }
    // "Datenbestand prüfen…" of the window menu; true when the check ran to
    // its end (report.findings: what it found).
    bool OnCheck(CheckReport& report) { return view_ && check_.Run(*view_, loggedIn_, report); }
    // "Patientenakte exportieren…" of the window menu and Shift+F5;
    // chooseFolder asks for the target folder (see ExportCommand).
    bool OnExport(const std::function<std::string()>& chooseFolder) {
        return view_ && export_.OnExport(*view_, loggedIn_, chooseFolder);
    }
    // After F1, F7 and F8, whose work is the window's: the focus back to the
    // list (timer 2).
    void ArmFocusTimer() { view_->ArmTimer(2, 10); }
    // True while an archive, restore or delete run is in progress.
    bool RunInProgress() const { return hold_.RunInProgress(); }
    // True while a run is in progress or the patient list is being filled:
    // the commands that reach the databases refuse to start.
    bool CommandsBusy() const { return hold_.Busy(); }

    // Opens the set: connections, audit attachment and pruning, the archive
    // template, one kind. Returns the number of problems (0 = usable).
    int OpenDatabaseSet();

    // Seam for the login that follows the start (true when confirmed;
    // without it the login counts as confirmed).
    std::function<bool(ODBCConnection&)> ShowLogin;

    DatabaseSet& Databases() { return set_; }
    CConfigFile& Config() { return config_; }
    PatientList& Patients() { return list_; }
    RunCommands& Runs() { return runs_; }
    PreviewCommands& Previews() { return previews_; }
    ExportCommand& Exports() { return export_; }
    // True once the login after the start was confirmed.
    bool LoggedIn() const { return loggedIn_; }
    int Problems() const { return problems_; }
    bool Started() const { return started_; }
    IMainView* View() const { return view_; }

  private:
    void StartupMaintenance();
    void StoreFilterRange();
    void DetachAuditLog();

    IMainView* view_ = nullptr;
    CConfigFile config_;
    DatabaseSet set_;
    PatientList list_{set_};
    CommandHold hold_{list_};
    ViewSwitch views_{set_, config_, list_, hold_};
    RunCommands runs_{set_, list_, hold_};
    ListCommands listCommands_{set_, hold_};
    PreviewCommands previews_{set_, list_, hold_};
    CheckCommand check_{set_, hold_};
    ExportCommand export_{set_, hold_};
    int problems_ = 0;
    uint64_t startMark_ = 0;
    bool started_ = false;
    bool destroyed_ = false;
    bool loggedIn_ = false;
};
