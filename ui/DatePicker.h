// A date picker (1004, 1007, 1019, 1020): shows the calendar date and keeps
// the full time it was set to, as the stored seconds since 1970 in local
// time. Callers use only the calendar date.
//
// A typed date is taken as typed: day, month and year in that order, each
// part ended by its last digit (two, four for the year) or by a "." (or ","
// "/" "-"), and a "." right after a complete part only confirms it, so
// "15.03.2005" and "1.3.2005" give 15 and 1 March 2005. Nothing typed is
// dropped or corrected on the way; while the text is no possible date it is
// shown in red, and leaving the field or pressing Enter with such a text
// refuses it in a message box and brings back the date the field held
// before. Dates are stored as 32-bit seconds, so only the years 1902 to 2037
// are possible. The field is one Tab stop: Tab and Shift+Tab leave it rather
// than walk its day, month and year.
#pragma once

#include <QDate>
#include <QDateTimeEdit>
#include <QStringList>
#include <ctime>

class DatePicker : public QDateTimeEdit {
    Q_OBJECT
  public:
    explicit DatePicker(QWidget* parent = nullptr);

    void SetTime(time_t seconds);
    time_t GetTime() const;

    // The date of the text as typed; invalid when it names no possible date.
    QDate TypedDate() const;
    // Takes a text typed and not yet taken, as leaving the field does: true
    // when there was none or it is a possible date (now the picker's date);
    // otherwise the refusal's message box, the date held before, and false.
    bool TakeTypedText();
    // True while the text shown is no possible date (it is shown in red).
    bool ShowsInvalidText() const;
    static QDate FirstDate() { return QDate(1902, 1, 1); }
    static QDate LastDate() { return QDate(2037, 12, 31); }

  protected:
    // The field's own check would correct the typed text (31.02. into 28.02.).
    QValidator::State validate(QString& input, int& pos) const override;
    // Nor is a refused text corrected while its message box is open.
    void fixup(QString& input) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    // Digits and separators go into the parts here, not through the
    // field's own sections, which drop a digit that makes no date yet.
    void TypeDigit(QChar digit);
    void TypeSeparator();
    void StartTyping();
    void ShowTyped();
    // Shows the text in red while it is no possible date.
    void MarkTypedText();
    // True when the text is a possible date (then the picker's date);
    // otherwise says so in a message box and puts the date held before the
    // typing back.
    bool AcceptTypedText();

    QStringList parts_;         // day, month, year as typed
    int part_ = -1;             // the part typed into; -1 while not typing
    bool partTouched_ = false;  // a digit went into the part (else it is replaced)
    bool partDone_ = false;     // the last digit completed its part
    bool showing_ = false;      // the typed text is being put into the field
    bool refusing_ = false;     // the message box of a refusal is open
    QDateTime held_;            // the date before the typing began
};
