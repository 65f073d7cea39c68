// The progress log ("Verlauf", control 1001): a read-only rich-text field
// that every part of the program writes to through AppendLog. Each append
// keeps the end in view and lets pending events run, so the window stays
// alive during long runs on the one user-interface thread.
#pragma once

#include <QTextCharFormat>
#include <QTextEdit>
#include <vector>

#include "core/LogSink.h"
#include "core/RtfWriter.h"

class QPrinter;

class ProgressLogWidget : public QTextEdit, public ILogSink {
    Q_OBJECT
  public:
    explicit ProgressLogWidget(QWidget* parent = nullptr);
    ~ProgressLogWidget() override;

    void Append(const std::string& text, uint32_t colour) override;

    // The log as runs of one format each, with CR LF between the lines.
    std::vector<LogRun> Runs() const;

    // F8: asks for a file and saves the log there as RTF. Returns false when
    // the dialog was cancelled.
    bool SaveLogAsRtf();
    // Writes the RTF file and clears the modified mark. A file that cannot be
    // created gets the red failure line; a write that fails (a full disk)
    // shows a message box, and the log stays marked as modified.
    bool SaveLogToFile(const QString& path);

    // F7: asks for a printer (or a PDF file) and prints the whole log.
    void PrintLog();
    // Prints on the printer the dialog set up; a message box says so when
    // there is no printer or the printing fails. True when printed.
    bool PrintChosen(QPrinter& printer);
    // Renders the log page by page on an already set-up printer; a page
    // starts with the first line that did not fit on the one before.
    // Returns the number of pages printed.
    int PrintTo(QPrinter& printer);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    // The log is a Tab stop without a caret: while it has the focus, a frame
    // in the highlight colour inside its border shows that it has.
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Scrolling moves the painted frame with the text: the view is painted
    // anew while it is shown.
    void scrollContentsBy(int dx, int dy) override;

  private:
    void KeepEndInView();

    QTextCharFormat format_;  // the format in force at the end of the log
};
