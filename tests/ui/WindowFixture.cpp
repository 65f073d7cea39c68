#include "tests/ui/WindowFixture.h"

#include <QMessageBox>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>
#include <ctime>

#include "core/Cp1252.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ODBCStmt.h"
#include "users/AuditLog.h"

namespace uitest {

void HookedLog::Append(const std::string& text, uint32_t colour) {
    window_.Append(text, colour);
    recorder.Append(text, colour);
    if (hook && !inHook_) {
        inHook_ = true;
        hook(text);
        inHook_ = false;
    }
}

std::string W(const char* utf8) {
    return cp1252::FromUtf8(utf8);
}

time_t Jan1990() {
    std::tm tm{};
    tm.tm_year = 90;
    tm.tm_mday = 1;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void WindowTest::SetUp() {
    testenv::UseBuiltDrivers();
    bus_ = std::make_unique<testenv::PrivateSessionBus>();
    setenv("TAMARO_LOCK_DIR", locks_.str().c_str(), 1);
    const fs::path cached = testenv::CachedPractice(GetParam(), 0, "--cases");
    ASSERT_FALSE(cached.empty());
    fs::copy(cached / "Database", practice_.path() / "Database", fs::copy_options::recursive);
    // Firebird through the embedded engine: the server prefix is the folder.
    testenv::WriteFile(practice_.path() / "Network.cfg",
                       "Path=" + practice_.str() + "\nFBConnect=" + practice_.str() + "\n");
    testenv::RegisterVelunda(practice_.path());
    testenv::MakeProgramDir(program_.path());
    oldCwd_ = fs::current_path();
    fs::current_path(program_.path());

    CurrentLid = -1;
    PresetAid = 2;
    PresetPid = -1;
    SetWindowServices(&services_);
    SetLogSink(&log_);
    // A box nobody expected would wait for a user forever.
    QObject::connect(&boxWatch_, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << "unexpected box: " << box->text().toStdString();
            box->reject();
        }
    });
    boxWatch_.start(100);

    view_ = std::make_unique<QtMainView>(window_, [this](int id) { core_.OnTimer(id); });
    window_.show();
    BeforeStart();
    ASSERT_TRUE(core_.OnInitDialog(*view_));
    started_ = true;
    window_.AttachCore(&core_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogHas(W("Patienten ausgewählt.")); }, 30000))
        << log_.recorder.Raw();
    ASSERT_EQ(Pids(), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 21}));
    QApplication::processEvents();
}

void WindowTest::TearDown() {
    boxWatch_.stop();
    window_.AttachCore(nullptr);
    if (started_) core_.OnDestroy();
    SetLogSink(nullptr);
    SetWindowServices(nullptr);
    TheAuditLog().SetDataFolder("");
    unsetenv("TAMARO_LOCK_DIR");
    if (!oldCwd_.empty()) fs::current_path(oldCwd_);
    bus_.reset();
}

std::vector<int> WindowTest::Pids() {
    std::vector<int> pids;
    PatientListControl& rows = window_.PatientRows();
    for (int r = 0; r < rows.GetItemCount(); ++r) pids.push_back(rows.GetItemData(r));
    return pids;
}

void WindowTest::TickOnly(const std::vector<int>& pids) {
    PatientListControl& rows = window_.PatientRows();
    for (int r = 0; r < rows.GetItemCount(); ++r)
        rows.SetCheck(r, std::find(pids.begin(), pids.end(), rows.GetItemData(r)) != pids.end());
}

void WindowTest::Highlight(int pid) {
    QTableWidget* table = window_.PatientList();
    table->clearSelection();
    for (int r = 0; r < table->rowCount(); ++r)
        if (window_.PatientRows().GetItemData(r) == pid) table->selectRow(r);
}

void WindowTest::Key(Qt::Key key) {
    QTest::keyClick(window_.PatientList(), key);
}

bool WindowTest::LogHas(const std::string& text) {
    for (const std::string& line : LogTexts())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

std::vector<std::string> WindowTest::NewBoxes() {
    std::vector<std::string> texts;
    const auto& boxes = services_.Boxes();
    for (size_t i = boxesSeen_; i < boxes.size(); ++i) texts.push_back(boxes[i].text);
    boxesSeen_ = boxes.size();
    return texts;
}

void WindowTest::Exec(ArchiveDbPair& db, const std::string& sql) {
    ODBCStmt stmt(db.Connection);
    ASSERT_TRUE(stmt.ExecDirect(sql)) << sql;
}

}  // namespace uitest
