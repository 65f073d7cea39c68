// A date picker (1004, 1007, 1019, 1020): shows the calendar date and keeps
// the full time it was set to, as the stored seconds since 1970 in local
// time. Callers use only the calendar date.
#pragma once

#include <QDateTimeEdit>
#include <ctime>

class DatePicker : public QDateTimeEdit {
    Q_OBJECT
  public:
    explicit DatePicker(QWidget* parent = nullptr);

    void SetTime(time_t seconds);
    time_t GetTime() const;
};
