#include "ui/DatePicker.h"

DatePicker::DatePicker(QWidget* parent) : QDateTimeEdit(QDateTime::currentDateTime(), parent) {
    setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    setCalendarPopup(true);
    setTimeSpec(Qt::LocalTime);
}

void DatePicker::SetTime(time_t seconds) {
    setDateTime(QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::LocalTime));
}

time_t DatePicker::GetTime() const {
    return time_t(dateTime().toSecsSinceEpoch());
}
