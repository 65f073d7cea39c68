// The patient information (dialog 129, "Patienten-Info"): name, address and
// date of birth of one patient and his rows in six tables, read from the
// databases of the view's side. One list (control 1000) fills the dialog.
#pragma once

#include <QDialog>
#include <cstdint>

struct ArchiveDbPair;
class QTableWidget;

class CPatInfoDlg : public QDialog {
    Q_OBJECT
  public:
    // Fills the list at once; list is the side to read from (not owned).
    CPatInfoDlg(int32_t pid, ArchiveDbPair* list, QWidget* parent = nullptr);

    QTableWidget* List() const { return list_; }

    // Shows the dialog modally for the patient.
    static void Run(int32_t pid, ArchiveDbPair* list, QWidget* parent);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FitValueColumn();

    QTableWidget* list_;
};
