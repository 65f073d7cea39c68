#include "ui/CPatInfoDlg.h"

#include <QEvent>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "patient/PatientInfo.h"
#include "ui/DialogFrame.h"
#include "ui/QtCp1252.h"
#include "ui/ReportList.h"

CPatInfoDlg::CPatInfoDlg(int32_t pid, ArchiveDbPair* list, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("129"));
    UseDialogFrame(this);
    setWindowTitle(QStringLiteral("Patienten-Info"));

    list_ = new ReportList({QStringLiteral("Eigenschaft"), QStringLiteral("Wert")}, this);
    list_->setObjectName(QStringLiteral("1000"));
    QHeaderView* header = list_->horizontalHeader();
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setColumnWidth(0, 20);
    list_->setColumnWidth(1, 20);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);

    for (const PatientInfoLine& line : PatientInfoLines(list, pid)) {
        const int row = list_->rowCount();
        list_->insertRow(row);
        list_->setItem(row, 0, new QTableWidgetItem(ToQString(line.label)));
        list_->setItem(row, 1, new QTableWidgetItem(ToQString(line.value)));
    }

    // 174 x 177 dialog units: a quarter of the average character width and
    // an eighth of the line height each.
    const QFontMetrics metrics(font());
    resize(174 * metrics.averageCharWidth() / 4, 177 * metrics.height() / 8);
    list_->resizeColumnToContents(0);
    list_->setColumnWidth(0, std::max(list_->columnWidth(0), header->sectionSizeHint(0)));
    FitValueColumn();
    list_->viewport()->installEventFilter(this);
}

void CPatInfoDlg::FitValueColumn() {
    list_->setColumnWidth(1, std::max(0, list_->viewport()->width() - list_->columnWidth(0)));
}

bool CPatInfoDlg::eventFilter(QObject* watched, QEvent* event) {
    // The list's client area gets its size only once the dialog is shown.
    if (watched == list_->viewport() && event->type() == QEvent::Resize) FitValueColumn();
    return QDialog::eventFilter(watched, event);
}

void CPatInfoDlg::Run(int32_t pid, ArchiveDbPair* list, QWidget* parent) {
    CPatInfoDlg dialog(pid, list, parent);
    dialog.exec();
}
