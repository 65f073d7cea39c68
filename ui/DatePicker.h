// A date picker (1004, 1007, 1019, 1020): shows the calendar date and keeps
// the full time it was set to, as the stored seconds since 1970 in local
// time. Callers use only the calendar date.
//
// Typed dates take day, month and year in that order: a part is complete
// after two digits (four for the year) or after a "." and a "." that follows
// a complete part only confirms it, so "15.03.2005" and "1.3.2005" both give
// 15 March and 1 March 2005. While the text is no possible date it is shown
// in red; leaving the field or pressing Enter with such a text refuses it in
// a message box and brings back the date the field held before. Dates are
// stored as 32-bit seconds, so only the years 1902 to 2037 are possible.
#pragma once

#include <QDate>
#include <QDateTimeEdit>
#include <ctime>

class DatePicker : public QDateTimeEdit {
    Q_OBJECT
  public:
    explicit DatePicker(QWidget* parent = nullptr);

    void SetTime(time_t seconds);
    time_t GetTime() const;

    // The date of the text as typed; invalid when it names no possible date.
    QDate TypedDate() const;
    static QDate FirstDate() { return QDate(1902, 1, 1); }
    static QDate LastDate() { return QDate(2037, 12, 31); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    // Shows the text in red while it is no possible date.
    void MarkTypedText();
    // True when the text is a possible date; otherwise says so in a message
    // box and puts the date held before the typing back.
    bool AcceptTypedText();

    QDateTime held_;         // the date before the typing began
    bool partDone_ = false;  // the last digit completed its part
    bool refusing_ = false;  // the message box of a refusal is open
};
