#include "ui/ProgressLogWidget.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <memory>

#include "core/Globals.h"
#include "core/WindowServices.h"
#include "ui/DialogFrame.h"
#include "ui/QtCp1252.h"

namespace {

QColor ToQColor(uint32_t rgb) {
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

LogRun RunFormat(const QTextCharFormat& fmt) {
    LogRun run;
    if (fmt.hasProperty(QTextFormat::ForegroundBrush)) {
        QColor c = fmt.foreground().color();
        run.colour = RGB(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
    }
    run.bold = fmt.fontWeight() >= QFont::Bold;
    return run;
}

void AddRun(std::vector<LogRun>& runs, LogRun run) {
    if (!runs.empty() && runs.back().colour == run.colour && runs.back().bold == run.bold)
        runs.back().text += run.text;
    else
        runs.push_back(std::move(run));
}

}  // namespace

ProgressLogWidget::ProgressLogWidget(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setAcceptRichText(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
}

ProgressLogWidget::~ProgressLogWidget() {
    if (GetLogSink() == this) SetLogSink(nullptr);
}

void ProgressLogWidget::Append(const std::string& text, uint32_t colour) {
    if (colour != 0) {
        format_.setFontWeight(QFont::Bold);
        format_.setForeground(ToQColor(colour));
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);

    // CR LF, and a lone CR or LF, each end a paragraph.
    const QString q = ToQString(text);
    qsizetype start = 0;
    for (qsizetype i = 0; i < q.size(); ++i) {
        if (q[i] != u'\r' && q[i] != u'\n') continue;
        if (i > start) cursor.insertText(q.mid(start, i - start), format_);
        cursor.insertBlock(cursor.blockFormat(), format_);
        if (q[i] == u'\r' && i + 1 < q.size() && q[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < q.size()) cursor.insertText(q.mid(start), format_);

    KeepEndInView();
    QCoreApplication::processEvents();
}

void ProgressLogWidget::KeepEndInView() {
    const QRect client = viewport()->rect();
    if (client.isEmpty()) return;
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    QScrollBar* bar = verticalScrollBar();
    // Scrolls line by line in one direction like the user would; stops when
    // the end is in view, when its line reaches the top of a view too small
    // for it, or when a step moves nothing (end of range, widget not laid out).
    const bool down = cursorRect(end).bottom() > client.bottom();
    for (;;) {
        const QRect caret = cursorRect(end);
        if (down ? caret.bottom() <= client.bottom() || caret.top() <= client.top()
                 : caret.top() >= client.top())
            break;
        const int before = bar->value();
        bar->triggerAction(down ? QAbstractSlider::SliderSingleStepAdd
                                : QAbstractSlider::SliderSingleStepSub);
        if (bar->value() == before) break;
    }
}

void ProgressLogWidget::paintEvent(QPaintEvent* event) {
    QTextEdit::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(viewport()->rect()).adjusted(1, 1, -1, -1));
}

void ProgressLogWidget::focusInEvent(QFocusEvent* event) {
    QTextEdit::focusInEvent(event);
    viewport()->update();
}

void ProgressLogWidget::focusOutEvent(QFocusEvent* event) {
    QTextEdit::focusOutEvent(event);
    viewport()->update();
}

void ProgressLogWidget::scrollContentsBy(int dx, int dy) {
    QTextEdit::scrollContentsBy(dx, dy);
    if (hasFocus()) viewport()->update();
}

void ProgressLogWidget::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("&Kopieren"), this, &QTextEdit::copy);
    copy->setEnabled(textCursor().hasSelection());
    menu.addAction(QStringLiteral("&Alles markieren"), this, &QTextEdit::selectAll);
    menu.exec(event->globalPos());
}

std::vector<LogRun> ProgressLogWidget::Runs() const {
    std::vector<LogRun> runs;
    const QTextDocument* doc = document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        if (block != doc->begin()) {
            LogRun lineEnd = runs.empty() ? LogRun() : runs.back();
            lineEnd.text = "\r\n";
            AddRun(runs, lineEnd);
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            LogRun run = RunFormat(fragment.charFormat());
            run.text = ToCp1252(fragment.text());
            AddRun(runs, run);
        }
    }
    return runs;
}

bool ProgressLogWidget::SaveLogAsRtf() {
    QFileDialog dialog(window(), QStringLiteral("Verlauf speichern unter..."), QDir::homePath(),
                       QStringLiteral("RTF-Datei(*.rtf)"));
    dialog.setObjectName(QStringLiteral("SaveLogDialog"));
    UseDialogFrame(&dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(QDir::home().filePath(QStringLiteral("verlauf.rtf")));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    SaveLogToFile(dialog.selectedFiles().constFirst());
    return true;
}

bool ProgressLogWidget::SaveLogToFile(const QString& path) {
    // The file takes its name only once all of it is written, so a failed
    // save leaves any earlier file of that name as it was. Where no other
    // file can be made in the folder, the file itself is written.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        AppendLog("Speichern fehlgeschlagen: " + ToCp1252(path), ColourRed);
        ShowError(ToCp1252(QStringLiteral("Speichern fehlgeschlagen: ") + path +
                           QStringLiteral("\n\nDie Datei kann nicht angelegt werden (") +
                           file.errorString() + QStringLiteral(").")));
        return false;
    }
    WaitCursor wait;
    const std::string rtf = LogToRtf(Runs());
    if (file.write(rtf.data(), qint64(rtf.size())) != qint64(rtf.size())) file.cancelWriting();
    if (!file.commit()) {
        // The log keeps its modified mark: it has not been saved.
        ShowError(ToCp1252(QStringLiteral("Speichern fehlgeschlagen: ") + path +
                           QStringLiteral("\n\nDer Verlauf konnte nicht vollständig "
                                          "geschrieben werden, zum Beispiel weil der "
                                          "Datenträger voll ist.")));
        return false;
    }
    document()->setModified(false);
    return true;
}

void ProgressLogWidget::PrintLog() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Verlauf"));
    QPrintDialog dialog(&printer, window());
    dialog.setObjectName(QStringLiteral("PrintLogDialog"));
    UseDialogFrame(&dialog);
    // Printing into a PDF file is offered beside the printers, also where
    // no printer is set up.
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    if (dialog.exec() != QDialog::Accepted) return;
    PrintChosen(printer);
}

bool ProgressLogWidget::PrintChosen(QPrinter& printer) {
    const bool toFile = printer.outputFormat() == QPrinter::PdfFormat;
    if (!toFile && !printer.isValid()) {
        ShowError(ToCp1252(QStringLiteral(
            "Der Verlauf kann nicht gedruckt werden: Auf diesem Rechner ist kein Drucker "
            "eingerichtet.\n\nWählen Sie im Druckdialog den Druck in eine PDF-Datei, oder "
            "speichern Sie den Verlauf mit F8.")));
        return false;
    }
    if (PrintTo(printer) > 0) return true;
    const QString where = toFile ? QStringLiteral("in die Datei ") + printer.outputFileName()
                                 : QStringLiteral("auf dem Drucker ") + printer.printerName();
    ShowError(ToCp1252(QStringLiteral("Der Verlauf konnte nicht %1 gedruckt werden.").arg(where)));
    return false;
}

int ProgressLogWidget::PrintTo(QPrinter& printer) {
    printer.setDocName(QStringLiteral("Verlauf"));
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    if (page.width() < 1 || page.height() < 1) return 0;

    // Lay the log out again for the printer's resolution and page width.
    std::unique_ptr<QTextDocument> doc(document()->clone());
    doc->documentLayout()->setPaintDevice(&printer);
    doc->setDocumentMargin(0);
    doc->setTextWidth(page.width());
    doc->size();

    struct Line {
        qreal top, bottom;
    };
    std::vector<Line> lines;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        // The empty paragraph after the last line end is not a line of the log.
        if (!block.next().isValid() && block.length() <= 1 && block != doc->begin()) break;
        const QTextLayout* layout = block.layout();
        const qreal y = layout->position().y();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            lines.push_back({y + line.y(), y + line.y() + line.height()});
        }
    }

    QPainter painter;
    if (!painter.begin(&printer)) return 0;
    int pages = 0;
    size_t first = 0;
    do {
        if (pages > 0 && !printer.newPage()) break;
        const qreal top = lines.empty() ? 0 : lines[first].top;
        size_t next = first;
        while (next < lines.size() && lines[next].bottom - top <= page.height()) ++next;
        // A line taller than the page is printed cut on a page of its own,
        // so every page moves on by at least one line.
        if (next == first && next < lines.size()) ++next;
        const qreal bottom =
            next > first ? std::min(lines[next - 1].bottom, top + page.height()) : top;
        painter.save();
        painter.translate(0, -top);
        // Half a device pixel in from both edges, so the neighbouring lines,
        // which touch them, are left out rather than drawn clipped.
        doc->drawContents(&painter, QRectF(0, top + 0.5, page.width(), bottom - top - 1));
        painter.restore();
        ++pages;
        first = next;
    } while (first < lines.size());
    painter.end();
    return pages;
}
