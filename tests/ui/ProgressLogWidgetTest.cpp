// The progress log on the real widget: line assembly, colours, scrolling,
// RTF output, saving and printing.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QApplication>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <filesystem>

#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RtfWriter.h"
#include "core/ScriptedWindowServices.h"
#include "tests/fixtures/TestEnv.h"
#include "ui/ProgressLogWidget.h"

namespace {

class ProgressLogTest : public testing::Test {
  protected:
    void SetUp() override { SetLogSink(&log); }
    void TearDown() override { SetLogSink(nullptr); }
    QString Plain() const { return log.toPlainText(); }
    ProgressLogWidget log;
};

TEST_F(ProgressLogTest, LineEndsAndContinuations) {
    AppendLog("\x95 Tabelle kartei...", 0, LogNoLineEnd);  // CP1252 bullet
    AppendLog(" 12 Datens\xe4tze");
    AppendLog(nullptr);
    AppendLog("Ende\r\nzweite Zeile");
    EXPECT_EQ(Plain(),
              QString::fromUtf8("• Tabelle kartei... 12 Datensätze\n\nEnde\nzweite Zeile\n"));
    EXPECT_EQ(log.document()->blockCount(), 5);
}

// The log is a Tab stop without a caret: a frame in the highlight colour
// shows that it has the focus, and goes with the focus.
TEST_F(ProgressLogTest, AFrameShowsWhileTheLogHasTheFocus) {
    for (int i = 0; i < 60; ++i) AppendLog("Zeile");
    log.resize(300, 120);
    log.show();
    log.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&log));
    const QColor frame = log.palette().color(QPalette::Highlight);
    const auto edge = [&] {
        const QImage shot = log.viewport()->grab().toImage();
        return QColor(shot.pixel(1, shot.height() / 2));
    };
    log.clearFocus();
    const QColor without = edge();
    EXPECT_NE(without, frame);
    log.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(log.hasFocus());
    EXPECT_EQ(edge(), frame);
    log.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(edge(), frame);
    log.clearFocus();
    EXPECT_EQ(edge(), without);
}

TEST_F(ProgressLogTest, ColourStaysInForceForUncolouredLines) {
    AppendLog("normal");
    AppendLog("Fehler", ColourRed);
    AppendLog("weiter");
    AppendLog("Kopf", ColourBlue);
    const std::vector<LogRun> runs = log.Runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].text, "normal\r\n");
    EXPECT_EQ(runs[0].colour, 0u);
    EXPECT_FALSE(runs[0].bold);
    EXPECT_EQ(runs[1].text, "Fehler\r\nweiter\r\n");
    EXPECT_EQ(runs[1].colour, ColourRed);
    EXPECT_TRUE(runs[1].bold);
    EXPECT_EQ(runs[2].text, "Kopf\r\n");
    EXPECT_EQ(runs[2].colour, ColourBlue);
    EXPECT_TRUE(runs[2].bold);
}

TEST_F(ProgressLogTest, ReadyLineIsGreenAndFollowedByAnEmptyLine) {
    LogReady(TickCount() - 1500);
    const QRegularExpression ready(QStringLiteral("^Bereit \\(1\\.5\\d\\ds\\)\n\n$"));
    EXPECT_TRUE(ready.match(Plain()).hasMatch()) << Plain().toStdString();
    ASSERT_FALSE(log.Runs().empty());
    EXPECT_EQ(log.Runs()[0].colour, ColourReady);
}

TEST_F(ProgressLogTest, AppendLetsPendingEventsRun) {
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    AppendLog("Zeile");
    EXPECT_TRUE(ran);
}

TEST_F(ProgressLogTest, EndStaysInViewOfAShownLog) {
    log.resize(300, 150);
    log.show();
    for (int i = 0; i < 200; ++i) AppendLog("Zeile " + std::to_string(i));
    QScrollBar* bar = log.verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    QTextCursor end(log.document());
    end.movePosition(QTextCursor::End);
    EXPECT_TRUE(log.viewport()->rect().contains(log.cursorRect(end)));
}

TEST_F(ProgressLogTest, LinesTallerThanTheViewStillEndTheScrolling) {
    QFont huge = log.font();
    huge.setPointSize(60);
    log.document()->setDefaultFont(huge);
    log.resize(200, 40);
    log.show();
    for (int i = 0; i < 5; ++i) AppendLog("Zeile");
    EXPECT_GT(log.verticalScrollBar()->value(), 0);
}

TEST_F(ProgressLogTest, HiddenLogDoesNotScroll) {
    for (int i = 0; i < 200; ++i) AppendLog("Zeile");
    EXPECT_EQ(log.verticalScrollBar()->value(), 0);
    EXPECT_EQ(log.document()->blockCount(), 201);
}

TEST_F(ProgressLogTest, RtfOfAColouredLog) {
    AppendLog("Start");
    AppendLog("Initialisierung...", ColourBlue);
    AppendLog("\x95 T\xe4tig {x}\\y");
    AppendLog("Fehler", ColourRed);
    EXPECT_EQ(LogToRtf(log.Runs()),
              "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
              "{\\colortbl ;\\red0\\green0\\blue255;\\red255\\green0\\blue0;}\r\n"
              "\\viewkind4\\uc1\\pard\\f0\\fs20 Start\\par\r\n"
              "\\cf1\\b Initialisierung...\\par\r\n"
              "\\'95 T\\'e4tig \\{x\\}\\\\y\\par\r\n"
              "\\cf2 Fehler\\par\r\n"
              "}\r\n");
}

TEST(RtfWriter, ColourTableListsEachColourOnceAndReturnsToDefault) {
    const std::vector<LogRun> runs = {{"a\r\n", ColourReady, true},
                                      {"b\r\n", ColourCount, true},
                                      {"c\r\n", ColourReady, true},
                                      {"d", 0, false}};
    const std::string rtf = LogToRtf(runs);
    EXPECT_NE(rtf.find("{\\colortbl ;\\red0\\green150\\blue0;\\red100\\green100\\blue200;}"),
              std::string::npos);
    EXPECT_NE(rtf.find("\\cf1\\b a\\par\r\n\\cf2 b\\par\r\n\\cf1 c\\par\r\n\\cf0\\b0 d}"),
              std::string::npos);
}

TEST_F(ProgressLogTest, SaveWritesTheRtfAndClearsTheModifiedMark) {
    testenv::TempDir dir;
    AppendLog("Gesamt: 3 Patienten", ColourCount);
    log.document()->setModified(true);
    const QString path = QString::fromStdString((dir.path() / "verlauf.rtf").string());
    ASSERT_TRUE(log.SaveLogToFile(path));
    EXPECT_EQ(testenv::ReadFile(dir.path() / "verlauf.rtf"), LogToRtf(log.Runs()));
    EXPECT_FALSE(log.document()->isModified());
    EXPECT_EQ(Plain(), QStringLiteral("Gesamt: 3 Patienten\n"));
}

TEST_F(ProgressLogTest, SaveIntoAMissingFolderWritesTheRedLineAndSaysSoInABox) {
    testenv::TempDir dir;
    const std::string path = (dir.path() / "fehlt" / "verlauf.rtf").string();
    AppendLog("vorher");
    ScriptedWindowServices boxes;
    SetWindowServices(&boxes);
    EXPECT_FALSE(log.SaveLogToFile(QString::fromStdString(path)));
    SetWindowServices(nullptr);
    EXPECT_FALSE(std::filesystem::exists(path));
    const std::vector<LogRun> runs = log.Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].text, "Speichern fehlgeschlagen: " + path + "\r\n");
    EXPECT_EQ(runs[1].colour, ColourRed);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(
        boxes.Boxes()[0].text.rfind(
            "Speichern fehlgeschlagen: " + path + "\n\nDie Datei kann nicht angelegt werden (", 0),
        0u)
        << boxes.Boxes()[0].text;
    EXPECT_EQ(boxes.Boxes()[0].icon, MsgIcon::Error);
}

// A write that stops short (here at a file-size limit, as on a full disk)
// is no save: a message box says so, the log stays marked as modified, and
// the file saved before is left as it was.
TEST_F(ProgressLogTest, FailedWriteShowsABoxAndKeepsTheLogUnsaved) {
    testenv::TempDir dir;
    const std::filesystem::path target = dir.path() / "verlauf.rtf";
    testenv::WriteFile(target, "alt");
    for (int i = 0; i < 2000; ++i) AppendLog("\x95 Tabelle abrechnungen... 1234 Datens\xE4tze");
    log.document()->setModified(true);
    ScriptedWindowServices boxes;
    SetWindowServices(&boxes);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    rlimit small = limit;
    small.rlim_cur = 16384;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = log.SaveLogToFile(QString::fromStdString(target.string()));
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous);
    SetWindowServices(nullptr);

    EXPECT_FALSE(saved);
    EXPECT_TRUE(log.document()->isModified());
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text,
              "Speichern fehlgeschlagen: " + target.string() +
                  "\n\nDer Verlauf konnte nicht vollst\xE4ndig geschrieben werden, zum Beispiel "
                  "weil der Datentr\xE4ger voll ist.");
    EXPECT_EQ(testenv::ReadFile(target), "alt");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

// Drives the real save dialog: checks its setup, then picks a file or cancels.
TEST_F(ProgressLogTest, SaveDialogProposesVerlaufRtf) {
    testenv::TempDir dir;
    const QString target = QString::fromStdString((dir.path() / "log.rtf").string());
    testenv::WriteFile(dir.path() / "log.rtf", "alt");
    AppendLog("Zeile");
    for (bool choose : {false, true}) {
        QString title, proposed;
        QStringList filters;
        bool confirms = true;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            proposed = dialog->selectedFiles().value(0);
            if (choose) {
                dialog->selectFile(target);
                static_cast<QDialog*>(dialog)->accept();
            } else {
                dialog->reject();
            }
        });
        EXPECT_EQ(log.SaveLogAsRtf(), choose);
        EXPECT_EQ(title, QStringLiteral("Verlauf speichern unter..."));
        EXPECT_EQ(filters, QStringList{QStringLiteral("RTF-Datei(*.rtf)")});
        EXPECT_FALSE(confirms);
        EXPECT_TRUE(proposed.endsWith(QStringLiteral("/verlauf.rtf"))) << proposed.toStdString();
    }
    EXPECT_EQ(testenv::ReadFile(dir.path() / "log.rtf"), LogToRtf(log.Runs()));
}

class PrintLogTest : public ProgressLogTest {
  protected:
    int Print(QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf.string()));
        return log.PrintTo(printer);
    }
    // Pages of the written PDF, counted from its page objects.
    int PdfPages() const {
        const std::string bytes = testenv::ReadFile(pdf);
        int count = 0;
        for (size_t at = bytes.find("/Type /Page"); at != std::string::npos;
             at = bytes.find("/Type /Page", at + 1))
            if (bytes.compare(at, 12, "/Type /Pages") != 0) ++count;
        return count;
    }
    testenv::TempDir dir;
    std::filesystem::path pdf = dir.path() / "verlauf.pdf";
};

TEST_F(PrintLogTest, LongLogPrintsOnSeveralPages) {
    for (int i = 0; i < 300; ++i)
        AppendLog("\x95 Zeile " + std::to_string(i), i % 50 ? 0 : ColourBlue);
    QPrinter printer(QPrinter::HighResolution);
    const int pages = Print(printer);
    EXPECT_GT(pages, 1);
    EXPECT_EQ(PdfPages(), pages);
    EXPECT_EQ(printer.docName(), QStringLiteral("Verlauf"));

    // The same log at half the lines needs fewer pages: pages follow content.
    ProgressLogWidget shorter;
    SetLogSink(&shorter);
    for (int i = 0; i < 150; ++i) AppendLog("\x95 Zeile");
    QPrinter second(QPrinter::HighResolution);
    second.setOutputFormat(QPrinter::PdfFormat);
    second.setOutputFileName(QString::fromStdString((dir.path() / "kurz.pdf").string()));
    const int shorterPages = shorter.PrintTo(second);
    EXPECT_LT(shorterPages, pages);
    EXPECT_GE(shorterPages, pages / 2);
}

TEST_F(PrintLogTest, PrintDialogOffersAllPagesAndAFileAndCancelPrintsNothing) {
    AppendLog("Zeile");
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_TRUE(dialog->testOption(QAbstractPrintDialog::PrintToFile));
        EXPECT_FALSE(dialog->testOption(QAbstractPrintDialog::PrintSelection));
        EXPECT_FALSE(dialog->testOption(QAbstractPrintDialog::PrintPageRange));
        EXPECT_EQ(dialog->printRange(), QAbstractPrintDialog::AllPages);
        EXPECT_EQ(dialog->printer()->docName(), QStringLiteral("Verlauf"));
        dialog->reject();
    });
    log.PrintLog();
    EXPECT_TRUE(seen);
    EXPECT_EQ(log.toPlainText(), QStringLiteral("Zeile\n"));
}

TEST_F(PrintLogTest, EmptyLogPrintsOneEmptyPage) {
    QPrinter printer(QPrinter::HighResolution);
    EXPECT_EQ(Print(printer), 1);
    EXPECT_EQ(PdfPages(), 1);
}

TEST_F(PrintLogTest, LinesTallerThanThePageStillEnd) {
    QFont huge = log.font();
    huge.setPointSize(200);
    log.document()->setDefaultFont(huge);
    AppendLog("A");
    AppendLog("B");
    AppendLog("C");
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QSizeF(30, 30), QPageSize::Millimeter));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0));
    EXPECT_EQ(Print(printer), 3);
}

}  // namespace
