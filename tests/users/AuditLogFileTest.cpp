// The audit log without a database: the statement texts, the fallback file
// and its locking, the save at process end.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "core/ScriptedWindowServices.h"
#include "core/WindowServices.h"
#include "platform/ExclusiveFile.h"
#include "platform/UserAndHost.h"
#include "tests/fixtures/TestEnv.h"
#include "users/AuditLog.h"

namespace {

namespace fs = std::filesystem;
using testenv::ReadFile;
using testenv::TempDir;
using testenv::WriteFile;

int32_t FixedClock() {
    return 1700000000;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// An audit insert as the log writes it, with the given notiz.
std::string Insert(const std::string& notiz) {
    return "insert into log (mid, lid, aid, pid, datum, kategorie, art, intval1, intval2, "
           "intval3, client, notiz) values(7, -1, -1, -1, 1700000000, 1, 0, -1, -1, -1, 'u:h', '" +
           notiz + "')";
}

std::string ExpectedClient() {
    std::string user, host;
    std::string client = GetLoginName(user) ? user : "unbekannt";
    client += ":";
    if (GetHostName(host)) client += host;
    std::string escaped;
    for (char c : client) escaped += c == '\'' ? std::string("''") : std::string(1, c);
    return escaped;
}

class AuditLogFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetWindowServices(&boxes_);
        log_.SetClock(FixedClock);
        log_.SetModuleId(7);
    }
    void TearDown() override { SetWindowServices(nullptr); }
    std::string SaveFile() const { return dir_.str() + "/log.save"; }

    TempDir dir_;
    ScriptedWindowServices boxes_;
    AuditLog log_;
};

TEST_F(AuditLogFileTest, StatementTextAndClient) {
    log_.WriteAuditEntry(1, "Tamaro V1.38 gestartet.");
    ASSERT_EQ(log_.Queue().size(), 1u);
    EXPECT_EQ(log_.Queue()[0],
              "insert into log (mid, lid, aid, pid, datum, kategorie, art, intval1, intval2, "
              "intval3, client, notiz) values(7, -1, -1, -1, 1700000000, 1, 0, -1, -1, -1, '" +
                  ExpectedClient() + "', 'Tamaro V1.38 gestartet.')");
    log_.SetUserId(12);
    log_.SetDoctorId(3);
    log_.WriteAuditEntry(2, "O'Brien's Akte");
    EXPECT_NE(log_.Queue()[1].find("values(7, 12, 3, -1, 1700000000, 2, 0, -1, -1, -1, '"),
              std::string::npos);
    EXPECT_TRUE(EndsWith(log_.Queue()[1], "', 'O''Brien''s Akte')")) << log_.Queue()[1];
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(AuditLogFileTest, SegmentsOfAtMost255Characters) {
    log_.WriteAuditEntry(1, std::string(255, 'a'));
    ASSERT_EQ(log_.Queue().size(), 1u);
    EXPECT_NE(log_.Queue()[0].find("'" + std::string(255, 'a') + "')"), std::string::npos);

    AuditLog two;
    two.WriteAuditEntry(1, std::string(253, 'b') + "xyz");
    ASSERT_EQ(two.Queue().size(), 2u);
    EXPECT_NE(two.Queue()[0].find(", '" + std::string(253, 'b') + " \xBB')"), std::string::npos);
    EXPECT_TRUE(EndsWith(two.Queue()[1], "', 'xyz')"));

    AuditLog empty;
    empty.WriteAuditEntry(1, "");
    ASSERT_EQ(empty.Queue().size(), 1u);
    EXPECT_TRUE(EndsWith(empty.Queue()[0], "', '')"));
}

TEST_F(AuditLogFileTest, SegmentsOfALongTextCoverItWhole) {
    std::string text;
    for (int i = 0; i < 700; ++i) text += static_cast<char>('a' + i % 26);
    log_.WriteAuditEntry(1, text);
    // 700 = 253 + 253 + 194
    ASSERT_EQ(log_.Queue().size(), 3u);
    std::string joined;
    for (const std::string& sql : log_.Queue()) {
        const size_t start = sql.rfind(", '") + 3;
        std::string segment = sql.substr(start, sql.size() - start - 2);
        if (segment.size() > 2 && segment.substr(segment.size() - 2) == " \xBB")
            segment.resize(segment.size() - 2);
        joined += segment;
    }
    EXPECT_EQ(joined, text);
}

TEST_F(AuditLogFileTest, FallbackFileRoundTripsLineBreaks) {
    log_.SetDataFolder(dir_.str());
    log_.WriteAuditEntry(1, "erste\r\nzweite\nZeile");
    log_.WriteAuditEntry(1, "noch eine");
    // Whatever the log writes has the shape that the loader takes back.
    log_.SetUserId(INT32_MIN);
    log_.SetDoctorId(INT32_MAX);
    log_.WriteAuditEntry(2, "Login: O'Brien ''; \xBB" + std::string(600, '\''));
    log_.WriteAuditEntry(1, "");
    const std::vector<std::string> queued = log_.Queue();
    ASSERT_TRUE(log_.SaveAuditFile());
    EXPECT_TRUE(log_.Queue().empty());
    const std::string content = ReadFile(SaveFile());
    const std::string first = queued[0];
    std::string encoded = first;
    for (char& c : encoded) c = c == '\n' ? '\x01' : c == '\r' ? '\x02' : c;
    EXPECT_EQ(content.substr(0, encoded.size() + queued[1].size() + 4),
              encoded + "\r\n" + queued[1] + "\r\n");
    EXPECT_NE(content.find("erste\x02\x01zweite\x01Zeile"), std::string::npos);

    AuditLog next;
    next.SetDataFolder(dir_.str());
    next.LoadAuditFile();
    EXPECT_EQ(next.Queue(), queued);
    EXPECT_FALSE(fs::exists(SaveFile()));
}

TEST_F(AuditLogFileTest, SaveAppendsBehindEntriesOfOtherRuns) {
    WriteFile(SaveFile(), "insert into log values(1)\r\n");
    log_.SetDataFolder(dir_.str());
    log_.WriteAuditEntry(1, "x");
    const std::string queued = log_.Queue()[0];
    ASSERT_TRUE(log_.SaveAuditFile());
    EXPECT_EQ(ReadFile(SaveFile()), "insert into log values(1)\r\n" + queued + "\r\n");
}

TEST_F(AuditLogFileTest, LoaderAcceptsLfAndSkipsEmptyLines) {
    const std::string a = Insert("a"), b = Insert("b"), c = Insert("c");
    WriteFile(SaveFile(), a + "\n" + b + "\r\n\r\n\n" + c);
    log_.SetDataFolder(dir_.str());
    log_.LoadAuditFile();
    EXPECT_EQ(log_.Queue(), (std::vector<std::string>{a, b, c}));
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(AuditLogFileTest, NoDataFolderNeitherReadsNorWrites) {
    log_.WriteAuditEntry(1, "x");
    log_.LoadAuditFile();
    EXPECT_EQ(log_.Queue().size(), 1u);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(log_.SaveAuditFile());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(log_.Queue().empty());
    // Standard error gets UTF-8.
    EXPECT_NE(
        err.find("Tamaro: 1 Protokolleintr\xC3\xA4ge gehen verloren (kein Velunda-Datenordner "
                 "bekannt):\n"),
        std::string::npos)
        << err;
    log_.WriteAuditEntry(1, "y");
    testing::internal::CaptureStderr();
    log_.SaveAtProgramEnd();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(AuditLogFileTest, UnwritableDataFolderNamesTheLostEntries) {
    // A plain file where the folder should be: no log.save can be created.
    WriteFile(dir_.str() + "/data", "");
    log_.SetDataFolder(dir_.str() + "/data");
    log_.WriteAuditEntry(1, "Tamaro beendet.");
    const std::string queued = log_.Queue()[0];
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    log_.SaveAtProgramEnd();
    const auto took = std::chrono::steady_clock::now() - start;
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_LT(took, std::chrono::seconds(5));  // no 10 s of retries
    EXPECT_TRUE(log_.Queue().empty());
    EXPECT_NE(err.find(queued), std::string::npos);
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text,
              "Die folgenden Protokolleintr\xE4ge konnten nicht in \"" + dir_.str() +
                  "/data/log.save\" gesichert werden und gehen verloren:\n" + queued);
}

TEST_F(AuditLogFileTest, LoaderWaitsForAnotherProcessHoldingTheFile) {
    WriteFile(SaveFile(), Insert("2") + "\r\n");
    // Timed from before the holder starts: it holds the file for a second
    // after that however late this process is scheduled.
    const auto start = std::chrono::steady_clock::now();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        ExclusiveFile held;
        held.Open(SaveFile(), ExclusiveFile::Mode::AppendCreate, {});
        held.WriteAll(Insert("3") + "\r\n");
        (void)!write(ready[1], "1", 1);
        usleep(1000 * 1000);
        _exit(0);
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    log_.SetDataFolder(dir_.str());
    log_.LoadAuditFile();
    const auto waited = std::chrono::steady_clock::now() - start;
    waitpid(child, nullptr, 0);
    EXPECT_GE(waited, std::chrono::milliseconds(1000));
    EXPECT_EQ(log_.Queue(), (std::vector<std::string>{Insert("2"), Insert("3")}));
    EXPECT_FALSE(fs::exists(SaveFile()));
}

TEST_F(AuditLogFileTest, ProcessEndSavesTheProcessWideQueue) {
    const pid_t child = fork();
    if (child == 0) {
        TheAuditLog().SetClock(FixedClock);
        TheAuditLog().SetModuleId(7);
        TheAuditLog().SetDataFolder(dir_.str());
        WriteAuditEntry(1, "Tamaro beendet.");
        std::exit(0);  // runs the destructors of static objects
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const std::string content = ReadFile(SaveFile());
    EXPECT_NE(content.find("values(7, -1, -1, -1, 1700000000, 1, 0, -1, -1, -1, '"),
              std::string::npos);
    EXPECT_TRUE(EndsWith(content, "', 'Tamaro beendet.')\r\n"));
}

TEST_F(AuditLogFileTest, QueueStaysWithoutAnOpenConnection) {
    log_.WriteAuditEntry(1, "a");
    log_.FlushAuditQueue();
    log_.PruneAuditLog();
    EXPECT_EQ(log_.Queue().size(), 1u);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

}  // namespace
