// "Patientenakte exportieren…" of the window menu and Shift+F5 in the real
// window, with Qt's own folder chooser and the PDF laid out by Qt, on both
// kinds.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QTableWidget>
#include <QTest>

#include "core/DocumentRenderer.h"
#include "tests/ui/WindowFixture.h"
#include "ui/QtDocumentRenderer.h"

namespace uitest {
namespace {

using ExportWindowTest = WindowTest;

// The folders of a target, by name.
std::vector<std::string> Records(const fs::path& target) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(target)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_P(ExportWindowTest, ExportsTheTickedOrElseTheHighlightedPatientsIntoTheChosenFolder) {
    QtDocumentRenderer renderer;
    SetDocumentRenderer(&renderer);
    CTamaroDlg& w = window_;
    testenv::TempDir out("tamaro-ui-export");
    // The chooser's answer: this folder, or cancelled.
    fs::path choice;
    bool own = false;
    int shown = 0;
    auto choose = [&](const fs::path& folder) {
        choice = folder;
        auto* poll = new QTimer(&w);
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            poll->stop();
            poll->deleteLater();
            own = dialog->testOption(QFileDialog::DontUseNativeDialog);
            ++shown;
            if (choice.empty()) return dialog->reject();
            dialog->setDirectory(QString::fromStdString(choice.string()));
            static_cast<QDialog*>(dialog)->accept();
        });
        poll->start(10);
    };

    // Nothing ticked: the highlighted patient, by Shift+F5.
    const fs::path first = out.path() / "eins";
    fs::create_directory(first);
    TickOnly({});
    Highlight(11);
    choose(first);
    QTest::keyClick(w.PatientList(), Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_TRUE(own);
    ASSERT_TRUE(LogHas(W("Gesamt: 1 Patientenakte exportiert nach ") + first.string() + "."))
        << log_.recorder.Raw();
    std::vector<std::string> records = Records(first);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].rfind("11_", 0), 0u) << records[0];
    EXPECT_TRUE(fs::is_regular_file(first / records[0] / "manifest.json"));
    EXPECT_GT(fs::file_size(first / records[0] / "Patientenakte.pdf"), 1000u);

    // The menu's entry, on the ticked patients; cancelled first.
    QMenu* menu = w.CreateSystemMenu(&w);
    QAction* entry = menu->findChild<QAction*>(QStringLiteral("33"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), QString::fromUtf8("&Patientenakte exportieren…\tUmschalt+F5"));
    EXPECT_TRUE(entry->isEnabled());
    TickOnly({12, 13});
    choose({});
    const size_t before = LogTexts().size();
    entry->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown == 2; }));
    QTest::qWait(50);
    EXPECT_EQ(LogTexts().size(), before);

    const fs::path second = out.path() / "zwei";
    fs::create_directory(second);
    choose(second);
    entry->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return LogHas(W("Gesamt: 2 Patientenakten exportiert nach ") + second.string() + ".");
    }));
    records = Records(second);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].rfind("12_", 0), 0u) << records[0];
    EXPECT_EQ(records[1].rfind("13_", 0), 0u) << records[1];
    for (const std::string& r : records) {
        struct stat st {};
        ASSERT_EQ(::stat((second / r).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
    }
    EXPECT_TRUE(NewBoxes().empty());
    // The list and its ticks are as before.
    EXPECT_EQ(Pids(), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 21}));
    delete menu;
    SetDocumentRenderer(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ExportWindowTest, testing::Values("fdb", "mdb"));

}  // namespace
}  // namespace uitest
