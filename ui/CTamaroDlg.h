// The main window (dialog 102): the patient list on the left, the filter
// group and the progress log on the right, the eight function-key buttons
// in a row at the bottom. Every control carries its dialog id as its object
// name ("1000", "1001", ...). The command handlers are virtual so that the
// commands can be filled in without touching the layout.
#pragma once

#include <QDialog>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "ui/PatientListControl.h"
#include "ui/QtComboBox.h"

class DatePicker;
class MainDialogCore;
class ProgressLogWidget;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableWidget;

class CTamaroDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CTamaroDlg(QWidget* parent = nullptr);
    ~CTamaroDlg() override;

    // The control with the given dialog id, or null.
    QWidget* Control(int id) const;

    QTableWidget* PatientList() const { return list_; }  // 1000
    PatientListControl& PatientRows() { return *rows_; }
    ProgressLogWidget* Log() const { return log_; }          // 1001
    QPushButton* VelundaButton() const { return velunda_; }  // 1002
    QPushButton* ArchiveButton() const { return archive_; }  // 1003
    // Shows the view of button 1002 or 1003 pressed and the other released.
    void CheckViewButton(int id);
    QGroupBox* FilterGroup() const { return filter_; }       // 1005
    QPushButton* RefreshButton() const { return refresh_; }  // 1006
    QLineEdit* NameFilter() const { return name_; }          // 1008
    QComboBox* ArchiveRunBox() const { return runs_; }       // 1017
    QComboBox* DoctorBox() const { return doctors_; }        // 1018
    IComboBox& ArchiveRuns() { return *runsAdapter_; }
    IComboBox& Doctors() { return *doctorsAdapter_; }
    // fkey 1..8: the buttons 1009..1016.
    QPushButton* FunctionButton(int fkey) const;
    // The pickers 1004, 1007, 1019, 1020.
    DatePicker* Picker(int id) const;
    void SetPickerTime(int id, time_t seconds);
    time_t PickerTime(int id) const;

    // Column 0 takes the list's client width left by columns 1 and 2.
    void FitPatientColumn();
    // After filling: columns 1 and 2 fit header and content, column 0 the rest.
    void SizeListColumns();
    // Arranges the controls for a client area of cx by cy pixels.
    void LayoutControls(int cx, int cy);
    // Sets a function key's caption smaller where it would not fit its button.
    void FitFunctionKeyCaptions();

    // The window's menu with "&Info über Tamaro...", "Datenbestand prüfen…"
    // and "Patientenakte exportieren…"; shown on a right click on the dialog
    // background, since the window manager's menu cannot be extended.
    QMenu* CreateSystemMenu(QWidget* parent);
    // Not while a run is in progress: its modal loop would hold the run up.
    void ShowAbout();
    // Shift+F10: the context menu of the focused control, else the window's.
    void OpenContextMenuByKey(QWidget* focus);
    // The smallest client size at which no control overlaps another.
    QSize MinimumLayoutSize() const;
    // Keeps the window, with the window manager's frame, inside the
    // available area of its screen: smaller where the screen is small (a
    // large scale factor), moved where it reaches beyond an edge.
    void FitIntoScreen();
    // True while an archive, restore or delete run (or a command held like
    // one: the check, a preview) is in progress.
    bool RunInProgress() const;
    // True while a command that reaches the databases cannot start: a run is
    // in progress or the patient list is being filled.
    bool CommandsBusy() const;
    // Takes the dates typed into the pickers and not yet taken, before
    // anything reads the filters. False when one is no possible date: its
    // picker has refused it in a box and shows the date held before.
    bool TakeTypedDates();
    // The caption: "Tamaro", during a run with the run's progress ("Tamaro –
    // Archivieren 43 %"), and once the window was asked to close during a
    // run, with the note that it closes at the run's end.
    void ShowRunProgress(const QString& progress);
    bool ClosesAfterRun() const { return doneAfterRun_.has_value(); }
    // The caption's note and the log's line (UTF-8) when the window is asked
    // to close during a run.
    static const char* const ClosesAfterRunNote;
    static const char* const ClosesAfterRunLine;

    // F1..F8 as the key pre-translation handles them: F4 to F8 run only while
    // their button is enabled. Returns true for F1..F8 (always consumed).
    bool HandleFunctionKey(int qtKey);
    // Shift+F4 and Shift+F6 show the preview of F4 and F6 (while their
    // button is enabled), Shift+F5 exports the patients' records; any other
    // shifted function key is the key itself.
    bool HandleShiftedFunctionKey(int qtKey);

    // Enter does not close the window.
    void accept() override {}
    // Escape and the close box end the program; while a run is in progress
    // only once it has ended, so that the run keeps its window to the end.
    void done(int result) override;

    // The engine that the view buttons, the refresh button and the doctor
    // list call; set once the start-up has run. Not owned.
    void AttachCore(MainDialogCore* core) { core_ = core; }

    // How many keys (other than Shift, Ctrl, Alt alone) and mouse buttons
    // were pressed in this window so far.
    quint64 UserInputs() const { return userInputs_; }
    // Where the inputs that a command's later focus change must leave alone
    // begin: while a command runs, the count when it started (keys and
    // clicks handled inside it, while its log lines let events run, count
    // as coming after it); otherwise the count now.
    quint64 InputMark() const { return commandDepth_ > 0 ? commandMark_ : userInputs_; }

  protected:
    virtual void OnVelundaView();
    virtual void OnArchiveView();
    virtual void OnRefresh();
    virtual void OnDoctorSelected() { OnRefresh(); }
    virtual void OnHelp();
    virtual void OnSelectAll();
    virtual void OnSelectNone();
    virtual void OnTransfer();
    virtual void OnPatientInfo();
    virtual void OnDelete();
    virtual void OnPreviewTransfer();
    virtual void OnPreviewDelete();
    // "Datenbestand prüfen…" of the window menu.
    virtual void OnCheck();
    // "Patientenakte exportieren…" of the window menu and Shift+F5.
    virtual void OnExport();
    // Qt's own folder chooser for the export's target; the folder as the
    // file system names it, empty when cancelled.
    virtual std::string ChooseExportFolder();
    virtual void OnPrint();
    virtual void OnSave();
    // Runs F5's command, also while its button is disabled after a start-up
    // problem; the command itself refuses during a run.
    virtual void OnListDoubleClick();

    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // Runs a command once the event that asked for it (a menu's key or
    // click, a drop-down's choice) has been handled to its end: the command
    // writes to the log, and each line lets the window handle events, which
    // may close and delete that menu.
    void Queue(void (CTamaroDlg::*command)());
    // Runs a command of the window: from here to its end InputMark() is the
    // input count of this moment.
    void RunCommand(void (CTamaroDlg::*command)());
    class CommandScope;
    // The button of the view shown (fallback: before the engine is attached).
    int ShownViewButton(int fallback) const;
    void UpdateCaption();
    void CountUserInput(QObject* watched, QEvent* event);
    QPushButton* AddButton(int id, const QString& caption, const QRect& geometry);
    QLabel* AddCaption(int forId, const QString& caption, const QRect& geometry);
    DatePicker* AddPicker(int id, const QRect& geometry);

    QTableWidget* list_ = nullptr;
    ProgressLogWidget* log_ = nullptr;
    QPushButton* velunda_ = nullptr;
    QPushButton* archive_ = nullptr;
    QGroupBox* filter_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QLineEdit* name_ = nullptr;
    QComboBox* runs_ = nullptr;
    QComboBox* doctors_ = nullptr;
    QPushButton* fkeys_[8] = {};
    std::unique_ptr<PatientListControl> rows_;
    std::unique_ptr<QtComboBox> runsAdapter_;
    std::unique_ptr<QtComboBox> doctorsAdapter_;
    MainDialogCore* core_ = nullptr;
    std::optional<int> doneAfterRun_;  // the end asked for during a run
    QString runProgress_;              // the run's progress in the caption
    quint64 userInputs_ = 0;
    quint64 commandMark_ = 0;
    int commandDepth_ = 0;
};
