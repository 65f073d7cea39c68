#include "ui/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/VersionText.h"
#include "ui/DialogFrame.h"
#include "ui/QtCp1252.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("100"));
    UseDialogFrame(this);
    setWindowTitle(QStringLiteral("Info über Tamaro"));
    auto* layout = new QVBoxLayout(this);
    auto* version = new QLabel(VersionText(), this);
    version->setObjectName(QStringLiteral("version"));
    QFont big = version->font();
    big.setBold(true);
    version->setFont(big);
    layout->addWidget(version);
    auto* description = new QLabel(
        QStringLiteral("Patientenarchivierung für Velunda\n\n"
                       "Tamaro verschiebt Patienten, die nicht mehr in die Praxis kommen, mit\n"
                       "allen ihren Daten aus den Velunda-Datenbanken in die Archivdatenbank\n"
                       "und holt sie bei Bedarf zurück. Misslingt dabei etwas, setzt jede\n"
                       "Datenbank den Lauf zurück und behält, was andere Arbeitsplätze\n"
                       "inzwischen gespeichert haben."),
        this);
    description->setObjectName(QStringLiteral("description"));
    layout->addWidget(description);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CAboutDlg::VersionText() {
    return ToQString(GetVersionText());
}
