// A fresh database of one kind per test, connected through Connect the way
// start-up does it, with the progress log and the message boxes recorded.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "db/ArchiveDbPair.h"
#include "core/LogRecorder.h"
#include "core/ScriptedWindowServices.h"
#include "db/DatabaseKind.h"
#include "tests/fixtures/TestEnv.h"

namespace dbtest {

// True when the build registered the driver of the kind in build/odbc.
bool DriverBuilt(DatabaseKind kind);

// Connection string that creates the file when missing.
std::string CreateString(DatabaseKind kind, const std::string& dir, const std::string& file);

// Creates dir/file.<ext> of the kind; false when the driver refused.
bool CreateDatabase(DatabaseKind kind, const std::string& dir, const std::string& file);

std::string KindName(const testing::TestParamInfo<DatabaseKind>& info);

// Records log and message boxes and points the folders at a temporary one.
class RecordingTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    testenv::TempDir dir_;
    LogRecorder log_;
    ScriptedWindowServices boxes_;
};

class DbTest : public testing::TestWithParam<DatabaseKind> {
  protected:
    void SetUp() override;
    void TearDown() override;

    DatabaseKind Kind() const { return GetParam(); }
    ODBCConnection& Conn() { return db_.Connection; }
    // Runs a setup statement and fails the test when it is refused.
    void Exec(const std::string& sql);

    testenv::TempDir dir_;
    LogRecorder log_;
    ScriptedWindowServices boxes_;
    ArchiveDbPair db_{"Velunda", "data", "patienten"};
};

}  // namespace dbtest
