// What the window says when it cannot do its work: F1 without the help page
// or without a program to show it, printing without a printer or into a file
// that cannot be written, and printing into a PDF file through the real print
// dialog, whose texts are German like the rest of the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/ScriptedWindowServices.h"
#include "tests/fixtures/TestEnv.h"
#include "ui/CTamaroDlg.h"
#include "ui/ProgressLogWidget.h"

namespace {

namespace fs = std::filesystem;

class WindowFailuresTest : public testing::Test {
  protected:
    void SetUp() override {
        SetWindowServices(&boxes);
        SetLogSink(window.Log());
        savedProgramDir = ProgramDir;
        ProgramDir = dir.str();
    }
    void TearDown() override {
        ProgramDir = savedProgramDir;
        SetLogSink(nullptr);
        SetWindowServices(nullptr);
    }
    // The texts and symbols of the boxes shown since the last call.
    std::vector<std::string> NewBoxes() {
        std::vector<std::string> texts;
        for (size_t i = seen; i < boxes.Boxes().size(); ++i) {
            texts.push_back(boxes.Boxes()[i].text);
            EXPECT_EQ(boxes.Boxes()[i].icon, MsgIcon::Error) << boxes.Boxes()[i].text;
        }
        seen = boxes.Boxes().size();
        return texts;
    }

    testenv::TempDir dir{"tamaro-failures"};
    ScriptedWindowServices boxes;
    CTamaroDlg window;
    std::string savedProgramDir;
    size_t seen = 0;
};

TEST_F(WindowFailuresTest, F1SaysWhenThereIsNoPageOrNothingToShowItWith) {
    const std::string page = dir.str() + "/Dokumentation/index.html";
    window.HandleFunctionKey(Qt::Key_F1);
    EXPECT_EQ(NewBoxes(), std::vector<std::string>{"Die Hilfe " + page + " wurde nicht gefunden."});

    // The offscreen platform has no program for web pages, like a desktop
    // without an opener.
    fs::create_directories(dir.path() / "Dokumentation");
    testenv::WriteFile(dir.path() / "Dokumentation" / "index.html", "<html></html>");
    window.HandleFunctionKey(Qt::Key_F1);
    EXPECT_EQ(NewBoxes(),
              std::vector<std::string>{"Die Hilfe konnte nicht ge\xF6"
                                       "ffnet werden: Auf diesem Rechner ist kein "
                                       "Programm zum Anzeigen von Webseiten eingerichtet.\n\n\xD6"
                                       "ffnen Sie die "
                                       "Seite " +
                                       page + " in einem Browser."});
}

TEST_F(WindowFailuresTest, PrintingSaysWhenItCannotPrint) {
    AppendLog("Zeile");
    ProgressLogWidget& log = *window.Log();
    // A printer of the system that is not there.
    QPrinter missing;
    missing.setPrinterName(QStringLiteral("gibt-es-nicht"));
    if (!missing.isValid()) {
        EXPECT_FALSE(log.PrintChosen(missing));
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].text.rfind("Der Verlauf kann nicht gedruckt werden: Auf diesem "
                                              "Rechner ist kein Drucker eingerichtet.",
                                              0),
                  0u);
        NewBoxes();
    }
    QPrinter file;
    file.setOutputFormat(QPrinter::PdfFormat);
    const std::string pdf = dir.str() + "/fehlt/verlauf.pdf";
    file.setOutputFileName(QString::fromStdString(pdf));
    EXPECT_FALSE(log.PrintChosen(file));
    EXPECT_EQ(NewBoxes(), std::vector<std::string>{"Der Verlauf konnte nicht in die Datei " + pdf +
                                                   " gedruckt werden."});
}

TEST_F(WindowFailuresTest, ThePrintDialogIsGermanAndPrintsIntoAPdfFile) {
    for (int i = 0; i < 5; ++i) AppendLog("\x95 Zeile");
    const fs::path pdf = dir.path() / "verlauf.pdf";
    QString title, entry;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        auto* printers = dialog->findChild<QComboBox*>(QStringLiteral("printers"));
        ASSERT_NE(printers, nullptr);
        const int index = printers->findText(QStringLiteral("In PDF-Datei drucken"));
        ASSERT_GE(index, 0);
        entry = printers->itemText(index);
        printers->setCurrentIndex(index);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(pdf.string()));
        dialog->accept();
    });
    window.Log()->PrintLog();
    EXPECT_EQ(title, QStringLiteral("Drucken"));
    EXPECT_EQ(entry, QStringLiteral("In PDF-Datei drucken"));
    ASSERT_TRUE(fs::exists(pdf));
    EXPECT_EQ(testenv::ReadFile(pdf).rfind("%PDF", 0), 0u);
    EXPECT_TRUE(boxes.Boxes().empty());
}

}  // namespace
