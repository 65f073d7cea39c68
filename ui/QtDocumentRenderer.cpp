#include "ui/QtDocumentRenderer.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <clocale>
#include <cstdio>

#include "core/RecordDocument.h"
#include "ui/QtCp1252.h"

namespace {

constexpr qreal kTextPoints = 9;

// Line ends of a value stay line ends inside its paragraph.
QString Lines(const std::string& text) {
    QString q = ToQString(text);
    q.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    q.replace(QLatin1Char('\n'), QChar::LineSeparator);
    q.replace(QLatin1Char('\r'), QChar::LineSeparator);
    return q;
}

QTextCharFormat Format(qreal points, bool bold) {
    QTextCharFormat format;
    format.setFontPointSize(points);
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    return format;
}

// A column's name beside its value: lighter, so that the values stand out.
QTextCharFormat LabelFormat() {
    QTextCharFormat format = Format(kTextPoints, false);
    format.setForeground(QColor(90, 90, 90));
    return format;
}

QTextBlockFormat Spaced(qreal above, qreal below) {
    QTextBlockFormat format;
    format.setTopMargin(above);
    format.setBottomMargin(below);
    return format;
}

void Fill(QTextDocument& doc, const RecordDocument& d) {
    QTextCursor cursor(&doc);
    cursor.setBlockFormat(Spaced(0, 12));
    cursor.insertText(ToQString(d.title), Format(16, true));

    if (!d.masterData.empty()) {
        QTextTableFormat table;
        table.setBorder(0);
        table.setCellPadding(3);
        table.setCellSpacing(0);
        QTextTable* master = cursor.insertTable(int(d.masterData.size()), 2, table);
        for (int row = 0; row < int(d.masterData.size()); ++row) {
            master->cellAt(row, 0).firstCursorPosition().insertText(
                ToQString(d.masterData[size_t(row)].label), Format(10, true));
            master->cellAt(row, 1).firstCursorPosition().insertText(
                Lines(d.masterData[size_t(row)].value), Format(10, false));
        }
        cursor.movePosition(QTextCursor::End);
    }
    for (const std::string& note : d.notes) {
        cursor.insertBlock(Spaced(6, 0));
        cursor.insertText(ToQString(note), Format(kTextPoints, false));
    }
    for (const DocumentSection& section : d.sections) {
        cursor.insertBlock(Spaced(16, 4));
        cursor.insertText(ToQString(section.heading), Format(12, true));
        cursor.insertText(QStringLiteral("  –  ") + ToQString(section.caption), Format(10, false));
        for (const DocumentEntry& entry : section.entries) {
            cursor.insertBlock(Spaced(4, 0));
            cursor.insertText(ToQString(entry.heading) + QStringLiteral(":  "),
                              Format(kTextPoints, true));
            bool first = true;
            for (const DocumentField& field : entry.fields) {
                if (!first) cursor.insertText(QStringLiteral("   "), Format(kTextPoints, false));
                first = false;
                cursor.insertText(ToQString(field.label) + QStringLiteral(": "), LabelFormat());
                cursor.insertText(Lines(field.value), Format(kTextPoints, false));
            }
        }
    }
}

}  // namespace

QtDocumentRenderer::QtDocumentRenderer(const char* program) {
    arguments_[0] = program ? program : "tamaro";
    arguments_[1] = "-platform";
    arguments_[2] = "offscreen";
    for (int i = 0; i < 3; ++i) argv_[i] = arguments_[i].data();
}

QtDocumentRenderer::~QtDocumentRenderer() {
    if (application_) {
        application_.reset();
        qInstallMessageHandler(nullptr);
    }
}

namespace {

// Without a window, standard error belongs to the program's own messages:
// Qt's notes (no runtime folder, the locale) stay out of it, its failures
// do not.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "tamaro: Qt: %s\n", text.toUtf8().constData());
}

}  // namespace

void QtDocumentRenderer::NeedApplication() {
    if (QCoreApplication::instance()) return;
    qInstallMessageHandler(QuietQtMessages);
    // Qt sets the process's locale from the environment; the program's own
    // text and number formats stay as they were.
    const char* current = std::setlocale(LC_ALL, nullptr);
    const std::string saved = current ? current : "C";
    application_ = std::make_unique<QGuiApplication>(argc_, argv_);
    std::setlocale(LC_ALL, saved.c_str());
}

bool QtDocumentRenderer::RenderPdf(const RecordDocument& d, std::string& pdf, std::string& error) {
    NeedApplication();
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(20, 15, 15, 12), QPageLayout::Millimeter));
        writer.setTitle(ToQString(d.title));
        writer.setCreator(ToQString(d.creator));

        QTextDocument doc;
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(kTextPoints);
        // No ligatures: a name copied out of the document ("Pfiffer") or
        // searched in it is the name, not the glyphs "ﬀ" and "ﬁ".
        font.setStyleStrategy(QFont::PreferNoShaping);
        // Glyphs for print, as drawn, without fitting them to a screen's pixels.
        font.setHintingPreference(QFont::PreferNoHinting);
        doc.setDefaultFont(font);
        QTextOption option = doc.defaultTextOption();
        // A long value without blanks is broken anywhere rather than cut.
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        doc.setDefaultTextOption(option);
        doc.documentLayout()->setPaintDevice(&writer);
        Fill(doc, d);

        QPainter painter;
        if (!painter.begin(&writer)) {
            error = "das PDF-Dokument kann nicht angelegt werden";
            return false;
        }
        QFont footFont(font);
        footFont.setPointSizeF(7.5);
        const qreal width = writer.width();
        const qreal footHeight = QFontMetricsF(footFont, &writer).height() * 2.5;
        const qreal bodyHeight = writer.height() - footHeight;
        doc.setPageSize(QSizeF(width, bodyHeight));
        const int pages = doc.pageCount();
        const QString label = ToQString(d.pageLabel);
        for (int page = 0; page < pages; ++page) {
            if (page > 0) writer.newPage();
            painter.save();
            painter.translate(0, -page * bodyHeight);
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = QRectF(0, page * bodyHeight, width, bodyHeight);
            context.palette.setColor(QPalette::Text, Qt::black);
            doc.documentLayout()->draw(&painter, context);
            painter.restore();
            const QRectF foot(0, bodyHeight, width, footHeight);
            painter.setPen(QPen(Qt::gray, 1));
            painter.drawLine(foot.topLeft() + QPointF(0, footHeight * 0.3),
                             foot.topRight() + QPointF(0, footHeight * 0.3));
            painter.setPen(Qt::black);
            painter.setFont(footFont);
            painter.drawText(foot, Qt::AlignLeft | Qt::AlignBottom, ToQString(d.footer));
            painter.drawText(foot, Qt::AlignRight | Qt::AlignBottom,
                             QString(label).arg(page + 1).arg(pages));
        }
        if (!painter.end()) {
            error = "das PDF-Dokument kann nicht geschrieben werden";
            return false;
        }
    }
    pdf.assign(bytes.constData(), size_t(bytes.size()));
    return true;
}
