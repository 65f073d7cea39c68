#include "ui/DatePicker.h"

#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLineEdit>

#include "core/WindowServices.h"
#include "ui/QtCp1252.h"

namespace {

const QString kFormat = QStringLiteral("dd.MM.yyyy");

bool IsSeparator(const QString& text) {
    return text == QStringLiteral(".") || text == QStringLiteral(",") ||
           text == QStringLiteral("/") || text == QStringLiteral("-");
}

}  // namespace

DatePicker::DatePicker(QWidget* parent) : QDateTimeEdit(QDateTime::currentDateTime(), parent) {
    setDisplayFormat(kFormat);
    setCalendarPopup(true);
    setTimeSpec(Qt::LocalTime);
    calendarWidget()->setDateRange(FirstDate(), LastDate());
    connect(lineEdit(), &QLineEdit::textChanged, this, &DatePicker::MarkTypedText);
    held_ = dateTime();
}

void DatePicker::SetTime(time_t seconds) {
    setDateTime(QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::LocalTime));
    held_ = dateTime();
}

time_t DatePicker::GetTime() const {
    return time_t(dateTime().toSecsSinceEpoch());
}

QDate DatePicker::TypedDate() const {
    const QDate date = QDate::fromString(lineEdit()->text(), kFormat);
    return date.isValid() && date >= FirstDate() && date <= LastDate() ? date : QDate();
}

void DatePicker::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (IsSeparator(text) && partDone_) {
        // The part was complete and the field has moved on by itself; the
        // separator only confirms it and must not skip the next part.
        partDone_ = false;
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !AcceptTypedText()) {
        event->accept();
        return;
    }
    const Section before = currentSection();
    QDateTimeEdit::keyPressEvent(event);
    partDone_ = text.size() == 1 && text[0].isDigit() && currentSection() != before;
}

void DatePicker::focusInEvent(QFocusEvent* event) {
    held_ = dateTime();
    partDone_ = false;
    QDateTimeEdit::focusInEvent(event);
}

void DatePicker::focusOutEvent(QFocusEvent* event) {
    partDone_ = false;
    if (!refusing_) AcceptTypedText();
    QDateTimeEdit::focusOutEvent(event);
}

void DatePicker::MarkTypedText() {
    QPalette palette = lineEdit()->palette();
    palette.setColor(QPalette::Text,
                     TypedDate().isValid() ? QPalette().color(QPalette::Text) : QColor(255, 0, 0));
    lineEdit()->setPalette(palette);
}

bool DatePicker::AcceptTypedText() {
    if (TypedDate().isValid()) {
        held_ = dateTime();
        return true;
    }
    const QString typed = lineEdit()->text();
    const QDateTime before = held_;
    refusing_ = true;
    ShowError(
        ToCp1252(QStringLiteral("„%1“ ist kein gültiges Datum.\n\nBitte geben Sie Tag, "
                                "Monat und Jahr ein (TT.MM.JJJJ), zwischen dem %2 und "
                                "dem %3.")
                     .arg(typed, FirstDate().toString(kFormat), LastDate().toString(kFormat))));
    refusing_ = false;
    setDateTime(before);
    lineEdit()->setText(before.toString(kFormat));
    selectAll();
    return false;
}
