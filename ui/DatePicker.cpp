#include "ui/DatePicker.h"

#include <QCalendarWidget>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>

#include "core/WindowServices.h"
#include "ui/QtCp1252.h"

namespace {

const QString kFormat = QStringLiteral("dd.MM.yyyy");

bool IsSeparator(const QString& text) {
    return text == QStringLiteral(".") || text == QStringLiteral(",") ||
           text == QStringLiteral("/") || text == QStringLiteral("-");
}

// Digits that complete a part: day, month, year.
int PartLength(int part) {
    return part == 2 ? 4 : 2;
}

}  // namespace

DatePicker::DatePicker(QWidget* parent) : QDateTimeEdit(QDateTime::currentDateTime(), parent) {
    setDisplayFormat(kFormat);
    setCalendarPopup(true);
    setTimeSpec(Qt::LocalTime);
    // The text typed is taken when the field is left, not read as a date at
    // every keystroke.
    setKeyboardTracking(false);
    calendarWidget()->setDateRange(FirstDate(), LastDate());
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
        // A date set otherwise (the calendar, the program) ends the typing.
        if (!showing_) part_ = -1;
        MarkTypedText();
    });
    held_ = dateTime();
}

void DatePicker::SetTime(time_t seconds) {
    part_ = -1;
    setDateTime(QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::LocalTime));
    lineEdit()->setText(dateTime().toString(kFormat));
    held_ = dateTime();
    MarkTypedText();
}

time_t DatePicker::GetTime() const {
    return time_t(dateTime().toSecsSinceEpoch());
}

QDate DatePicker::TypedDate() const {
    const QString text = lineEdit()->text();
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3 || parts[0].isEmpty() || parts[0].size() > 2 || parts[1].isEmpty() ||
        parts[1].size() > 2 || parts[2].size() != 4)
        return QDate();
    const QDate date = QDate::fromString(text, QStringLiteral("d.M.yyyy"));
    return date.isValid() && date >= FirstDate() && date <= LastDate() ? date : QDate();
}

bool DatePicker::TakeTypedText() {
    if (lineEdit()->text() == dateTime().toString(kFormat)) {
        part_ = -1;
        return true;
    }
    return AcceptTypedText();
}

bool DatePicker::ShowsInvalidText() const {
    return !TypedDate().isValid();
}

QValidator::State DatePicker::validate(QString& input, int& pos) const {
    if (showing_ || refusing_) return QValidator::Intermediate;
    return QDateTimeEdit::validate(input, pos);
}

void DatePicker::fixup(QString& input) const {
    if (!refusing_) QDateTimeEdit::fixup(input);
}

void DatePicker::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (plain && text.size() == 1 && text[0].isDigit()) {
        TypeDigit(text[0]);
        event->accept();
        return;
    }
    if (plain && IsSeparator(text)) {
        TypeSeparator();
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !AcceptTypedText()) {
        event->accept();
        return;
    }
    // Any other key (arrows, Backspace, the calendar) edits the field as it is.
    part_ = -1;
    partDone_ = false;
    QDateTimeEdit::keyPressEvent(event);
}

void DatePicker::StartTyping() {
    parts_ = lineEdit()->text().split(QLatin1Char('.'));
    if (parts_.size() != 3) parts_ = QStringList{QString(), QString(), QString()};
    // Typing begins in the part the cursor is in (the day after Tab).
    switch (currentSection()) {
        case MonthSection:
            part_ = 1;
            break;
        case YearSection:
            part_ = 2;
            break;
        default:
            part_ = 0;
            break;
    }
    partTouched_ = false;
    partDone_ = false;
}

void DatePicker::TypeDigit(QChar digit) {
    if (part_ < 0) StartTyping();
    // Beyond the year every digit still counts: the text then names no date.
    const int part = std::min(part_, 2);
    if (!partTouched_ && part_ <= 2) parts_[part].clear();
    partTouched_ = true;
    parts_[part] += digit;
    partDone_ = false;
    if (part_ <= 2 && parts_[part].size() >= PartLength(part)) {
        ++part_;
        partTouched_ = false;
        partDone_ = true;
    }
    ShowTyped();
}

void DatePicker::TypeSeparator() {
    if (part_ < 0) StartTyping();
    if (partDone_) {
        // The part was complete and the typing has moved on by itself; the
        // separator only confirms it and must not skip the next part.
        partDone_ = false;
        return;
    }
    if (part_ < 2) {
        ++part_;
        partTouched_ = false;
    }
    ShowTyped();
}

void DatePicker::ShowTyped() {
    showing_ = true;
    lineEdit()->setText(parts_.join(QLatin1Char('.')));
    showing_ = false;
    // The part to be typed next is selected while nothing went into it yet.
    int start = 0;
    for (int i = 0; i < std::min(part_, 2); ++i) start += int(parts_[i].size()) + 1;
    if (part_ > 2)
        lineEdit()->setCursorPosition(int(lineEdit()->text().size()));
    else if (partTouched_)
        lineEdit()->setCursorPosition(start + int(parts_[part_].size()));
    else
        lineEdit()->setSelection(start, int(parts_[part_].size()));
}

void DatePicker::focusInEvent(QFocusEvent* event) {
    held_ = dateTime();
    part_ = -1;
    partDone_ = false;
    QDateTimeEdit::focusInEvent(event);
    // Shift+Tab and the caption's mnemonic arrive at the day too, so that a
    // date is typed from its start whichever way the field was reached.
    if (event->reason() == Qt::BacktabFocusReason || event->reason() == Qt::ShortcutFocusReason)
        setSelectedSection(DaySection);
}

bool DatePicker::focusNextPrevChild(bool next) {
    // The field's own Tab steps through its sections; here Tab leaves it.
    return QWidget::focusNextPrevChild(next);
}

void DatePicker::focusOutEvent(QFocusEvent* event) {
    partDone_ = false;
    if (refusing_) {
        // The refusal's box has taken the focus. The field shows the text it
        // refuses until the box is answered; the spin box's own handling
        // would turn it into a date nobody typed (31.02. into 28.02.).
        QCoreApplication::sendEvent(lineEdit(), event);
        QWidget::focusOutEvent(event);
        return;
    }
    // The calendar drop-down takes the focus while a date is picked in it.
    if (!refusing_ && event->reason() != Qt::PopupFocusReason) AcceptTypedText();
    QDateTimeEdit::focusOutEvent(event);
    MarkTypedText();
}

void DatePicker::MarkTypedText() {
    QPalette palette = lineEdit()->palette();
    palette.setColor(QPalette::Text,
                     TypedDate().isValid() ? QPalette().color(QPalette::Text) : QColor(255, 0, 0));
    lineEdit()->setPalette(palette);
}

bool DatePicker::AcceptTypedText() {
    part_ = -1;
    const QDate typed = TypedDate();
    if (typed.isValid()) {
        setDate(typed);
        lineEdit()->setText(typed.toString(kFormat));
        held_ = dateTime();
        MarkTypedText();
        return true;
    }
    const QString text = lineEdit()->text();
    refusing_ = true;
    ShowError(
        ToCp1252(QStringLiteral("„%1“ ist kein gültiges Datum.\n\nBitte geben Sie Tag, "
                                "Monat und Jahr ein (TT.MM.JJJJ), zwischen dem %2 und "
                                "dem %3.")
                     .arg(text, FirstDate().toString(kFormat), LastDate().toString(kFormat))));
    refusing_ = false;
    setDateTime(held_);
    // The field sets its text with its signals blocked: the colour of the
    // refused text is taken back here.
    lineEdit()->setText(held_.toString(kFormat));
    MarkTypedText();
    // The field keeps (or gets back) the focus, with the date selected to be
    // typed over.
    QTimer::singleShot(0, this, [this] {
        setFocus(Qt::OtherFocusReason);
        selectAll();
    });
    return false;
}
