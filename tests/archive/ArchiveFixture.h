// A practice installation of one kind per test, made by tamaro-mkpractice,
// with the archive database from the template, the nine databases connected
// the way start-up connects them, the audit log attached to the main
// database, and the progress log and message boxes recorded.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/ComboBox.h"
#include "db/DatabaseSet.h"
#include "core/LogRecorder.h"
#include "core/ScriptedWindowServices.h"
#include "db/DatabaseKind.h"
#include "tests/fixtures/TestEnv.h"

namespace archivetest {

// Patients of the generated installations; pids run from 1.
constexpr int PracticePatients = 12;

std::string KindName(const testing::TestParamInfo<DatabaseKind>& info);

// One table's rows as text: null is "<null>", except in text columns, where
// the transfer may turn it into '' (compared as ""). Rows are sorted.
struct TableRows {
    std::vector<std::string> columns;  // lower case
    std::vector<std::vector<std::string>> rows;
    bool operator==(const TableRows&) const = default;
};
using Snapshot = std::map<std::string, TableRows>;  // key: table name

class ArchiveTest : public testing::TestWithParam<DatabaseKind> {
  protected:
    void SetUp() override;
    void TearDown() override;

    DatabaseKind Kind() const { return GetParam(); }
    const char* Ext() const { return Kind() == DatabaseKind::Firebird ? ".fdb" : ".mdb"; }

    // A fresh installation with `patients` patients in dir_, connected;
    // extraArgs go to tamaro-mkpractice (e.g. "--cases").
    void Install(int patients, const std::string& extraArgs = "");
    void ConnectAll();
    void DisconnectAll();

    // Runs sql on the database; fails the test when it is refused.
    void Exec(ArchiveDbPair& db, const std::string& sql);
    // All rows of a query as text, null as "<null>".
    std::vector<std::vector<std::string>> Query(ArchiveDbPair& db, const std::string& sql);
    int Count(ArchiveDbPair& db, const std::string& sql);
    // Rows of every table of the list, restricted to pids when not empty.
    Snapshot Take(ArchiveDbPair* list, const std::string& pidList = "");
    // Bytes of every database file of the set.
    std::map<std::string, std::string> Files();
    std::vector<std::string> BakFiles();
    int AuditEntries(int category);

    // The recorded log lines, without the empty line that LogReady's
    // doubled line end currently leaves at the end.
    std::vector<LogRecorder::Line> LogLines() const;
    std::vector<std::string> LogTexts() const;

    // The transfer under test, with log and boxes recorded.
    void Transfer(const std::string& pidList);

    testenv::TempDir dir_{"tamaro-archive"};
    std::unique_ptr<DatabaseSet> set_;
    ComboBoxModel history_;
    LogRecorder log_;
    ScriptedWindowServices boxes_;
    bool installed_ = false;
};

// Tests that inject a driver fault run in a process of their own: the
// drivers count the executions of the whole process. In the parent this
// starts the child and reports its result; true means "we are the child,
// go on with the test".
bool RunInOwnProcess();

}  // namespace archivetest
