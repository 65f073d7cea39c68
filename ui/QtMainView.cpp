#include "ui/QtMainView.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QTimer>

#include "ui/CPatInfoDlg.h"
#include "ui/CTamaroDlg.h"
#include "ui/QtCp1252.h"

QtMainView::QtMainView(CTamaroDlg& dlg, std::function<void(int)> onTimer)
    : dlg_(dlg), onTimer_(std::move(onTimer)) {}

IComboBox& QtMainView::ArchiveRuns() {
    return dlg_.ArchiveRuns();
}
IComboBox& QtMainView::Doctors() {
    return dlg_.Doctors();
}
IListView& QtMainView::Patients() {
    return dlg_.PatientRows();
}

int64_t QtMainView::GetPickerTime(int id) const {
    return int64_t(dlg_.PickerTime(id));
}
void QtMainView::SetPickerTime(int id, int64_t seconds) {
    dlg_.SetPickerTime(id, time_t(seconds));
}

std::string QtMainView::GetNameFilter() const {
    return ToCp1252(dlg_.NameFilter()->text());
}

void QtMainView::EnableControl(int id, bool enable) {
    if (QWidget* w = dlg_.Control(id)) w->setEnabled(enable);
}

bool QtMainView::IsControlEnabled(int id) const {
    QWidget* w = dlg_.Control(id);
    return w && w->isEnabled();
}

void QtMainView::SetControlText(int id, const std::string& text) {
    if (auto* b = qobject_cast<QAbstractButton*>(dlg_.Control(id))) b->setText(ToQString(text));
    dlg_.FitFunctionKeyCaptions();
}

std::string QtMainView::GetControlText(int id) const {
    if (auto* b = qobject_cast<QAbstractButton*>(dlg_.Control(id))) return ToCp1252(b->text());
    return {};
}

void QtMainView::CheckViewButton(int id) {
    dlg_.CheckViewButton(id);
}

void QtMainView::WidenByOnePixel() {
    QRect g = dlg_.geometry();
    dlg_.resize(g.width() + 1, g.height());
    // At the edge of a small screen the pixel is taken back.
    dlg_.FitIntoScreen();
}

void QtMainView::ArmTimer(int id, int milliseconds) {
    auto callback = onTimer_;
    auto inputSince = inputSinceArmed_;
    // A command arms its timer at its end; what the user did while it ran
    // counts as done after it.
    const quint64 armedAt = dlg_.InputMark();
    CTamaroDlg* dlg = &dlg_;
    QTimer::singleShot(milliseconds, &dlg_, [callback, inputSince, armedAt, dlg, id] {
        *inputSince = dlg->UserInputs() != armedAt;
        callback(id);
        *inputSince = false;
    });
}

void QtMainView::SetFocus(int id) {
    if (QWidget* w = dlg_.Control(id)) w->setFocus();
}

void QtMainView::EndDialog(bool ok) {
    // The dialog may not be running yet (start-up); end it from the event loop.
    QTimer::singleShot(0, &dlg_, [this, ok] { ok ? dlg_.done(QDialog::Accepted) : dlg_.reject(); });
}

void QtMainView::ShowPatientInfo(int32_t pid, ArchiveDbPair* list) {
    CPatInfoDlg::Run(pid, list, &dlg_);
}

bool QtMainView::TakeTypedDates() {
    return dlg_.TakeTypedDates();
}
