// The About box (dialog 100): program name and version, and what the
// program does in a few German words.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // "Tamaro V1.38", with " Beta n" when the fourth version number n is not 0.
    static QString VersionText();
};
