// The patient list widget filled by the engine's FillList on practices of
// both kinds (the fixed cases of tamaro-mkpractice), drawn offscreen: check
// boxes, item data, column widths, the wait cursor.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

#include "app/PatientList.h"
#include "core/Globals.h"
#include "patient/DoctorList.h"
#include "tests/archive/ArchiveFixture.h"
#include "ui/CTamaroDlg.h"
#include "ui/QtMainView.h"
#include "ui/QtWindowServices.h"

using namespace archivetest;

namespace {

class PatientListWidgetTest : public ArchiveTest {
  protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        if (IsSkipped()) return;
        PresetAid = PresetPid = -1;
        Install(0, "--cases");
        SetWindowServices(&services_);
        dlg_.show();
        QApplication::processEvents();
        // Cases were served on 14.11.2021 (two years before the practice's
        // reference time); the range ends a year later.
        dlg_.SetPickerTime(IDC_SERVICE_FROM, 631152000);
        dlg_.SetPickerTime(IDC_SERVICE_TO, 1668427200);
        dlg_.SetPickerTime(IDC_ADMISSION_FROM, 631152000);
        FillDoctorList(set_->MainDatabase().Connection, view_.Doctors());
    }
    void TearDown() override {
        PresetPid = -1;
        SetWindowServices(nullptr);
        ArchiveTest::TearDown();
    }

    CTamaroDlg dlg_;
    QtMainView view_{dlg_, [](int) {}};
    QtWindowServices services_{&dlg_};
};

TEST_P(PatientListWidgetTest, EngineFillsTicksPidsAndFittedColumns) {
    PatientList list(*set_);
    PresetPid = 14;
    list.FillList(view_);
    QApplication::processEvents();
    QTableWidget* table = dlg_.PatientList();
    ASSERT_EQ(table->rowCount(), 8);
    const char* names[] = {"Jung, Jan",     "Kern, Karin", "Lenz, Lars",   "Mohr, Maria",
                           "O'Neill, Nora", "Pohl, Paul",  "Quast, Petra", "Vogt, Vera"};
    for (int r = 0; r < 8; ++r) {
        QTableWidgetItem* item = table->item(r, 0);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->text(), QString::fromLatin1(names[r]));
        EXPECT_EQ(item->data(Qt::UserRole).toInt(), r < 7 ? 10 + r : 21);
        EXPECT_EQ(item->checkState(), r == 4 ? Qt::Checked : Qt::Unchecked) << r;
        EXPECT_TRUE(item->flags() & Qt::ItemIsUserCheckable);
        EXPECT_EQ(table->item(r, 3), nullptr);  // "Dummy" stays empty
    }
    EXPECT_TRUE(table->updatesEnabled());
    EXPECT_EQ(services_.WaitDepth(), 0);

    // Columns 1 and 2 fit header and content; column 0 takes the rest.
    const QFontMetrics fm = table->fontMetrics();
    EXPECT_GE(table->columnWidth(2), fm.horizontalAdvance(table->item(0, 2)->text()));
    EXPECT_GE(table->columnWidth(2), fm.horizontalAdvance(QStringLiteral("Leistung")));
    EXPECT_LT(table->columnWidth(1), 70);  // narrower than before: "Krankenh." is not listed
    EXPECT_EQ(table->columnWidth(0) + table->columnWidth(1) + table->columnWidth(2),
              table->viewport()->width());

    // The user ticks with the space key; the engine reads the tick and the
    // highlight apart.
    PatientListControl& rows = dlg_.PatientRows();
    EXPECT_EQ(rows.GetFirstSelected(), -1);
    table->setFocus();
    table->setCurrentCell(1, 0);
    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_TRUE(rows.GetCheck(1));
    EXPECT_EQ(rows.GetFirstSelected(), 1);
    EXPECT_EQ(rows.GetItemData(rows.GetFirstSelected()), 11);

    // A refill replaces every row.
    PresetPid = -1;
    view_.Doctors().SetCurSel(1);  // Dr. Schmidt: one patient
    list.FillList(view_);
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(rows.GetItemData(0), 18);
    EXPECT_TRUE(rows.GetCheck(0));
    EXPECT_EQ(rows.GetFirstSelected(), -1);
}

// The widget does not depend on the kind; the list tests of the engine run on both.
INSTANTIATE_TEST_SUITE_P(Kinds, PatientListWidgetTest, testing::Values(DatabaseKind::Access),
                         KindName);

}  // namespace

namespace {

TEST(PatientListWidget, ColumnsFitBesideTheScrollBarOfALongList) {
    CTamaroDlg dlg;
    dlg.show();
    QApplication::processEvents();
    PatientListControl& rows = dlg.PatientRows();
    rows.SetRedraw(false);
    for (int r = 0; r < 300; ++r) {
        const int index = rows.InsertItem(r, "Patient " + std::to_string(r));
        rows.SetItemData(index, 1000 + r);
        rows.SetCheck(index, r % 2 == 0);
        rows.SetItemText(index, 2, "07.03.2011");
        rows.SetItemText(index, 1, "Kasse");
    }
    // Rows kept aside while the list is not drawn read back like the others.
    EXPECT_EQ(rows.GetItemCount(), 300);
    EXPECT_EQ(rows.GetItemData(299), 1299);
    EXPECT_FALSE(rows.GetCheck(299));
    EXPECT_EQ(rows.GetItemText(150, 1), "Kasse");
    rows.SetRedraw(true);
    dlg.SizeListColumns();
    QApplication::processEvents();
    QTableWidget* table = dlg.PatientList();
    ASSERT_EQ(table->rowCount(), 300);
    EXPECT_EQ(table->item(298, 0)->checkState(), Qt::Checked);
    EXPECT_EQ(table->item(10, 2)->text(), QStringLiteral("07.03.2011"));
    EXPECT_TRUE(table->verticalScrollBar()->isVisible());
    EXPECT_FALSE(table->horizontalScrollBar()->isVisible());
    EXPECT_EQ(table->columnWidth(0) + table->columnWidth(1) + table->columnWidth(2),
              table->viewport()->width());
    rows.EnsureVisible(299);
    QApplication::processEvents();
    EXPECT_EQ(table->verticalScrollBar()->value(), table->verticalScrollBar()->maximum());
}

}  // namespace
