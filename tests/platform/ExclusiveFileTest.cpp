#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "platform/ExclusiveFile.h"
#include "tests/fixtures/TestEnv.h"

namespace {

using testenv::ReadFile;
using testenv::TempDir;
using testenv::WriteFile;
using Mode = ExclusiveFile::Mode;
using Result = ExclusiveFile::Result;

// Holds path exclusively in a second process for holdMs, then optionally
// deletes it while still holding it; returns once the lock is taken.
pid_t HoldInChild(const std::string& path, int holdMs, bool deleteAtEnd) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        ExclusiveFile file;
        const bool ok = file.Open(path, Mode::ReadWriteCreate, {}) == Result::Opened;
        (void)!write(ready[1], ok ? "1" : "0", 1);
        usleep(holdMs * 1000);
        if (deleteAtEnd) file.Unlink();
        _exit(0);
    }
    close(ready[1]);
    char c = 0;
    (void)!read(ready[0], &c, 1);
    close(ready[0]);
    return c == '1' ? pid : -1;
}

class ExclusiveFileTest : public ::testing::Test {
  protected:
    std::string Path() const { return dir_.str() + "/shared.id"; }
    TempDir dir_;
};

TEST_F(ExclusiveFileTest, WaitsForAnotherProcessAndThenOpens) {
    WriteFile(Path(), "41\r\n");
    // Timed from before the holder starts: it holds the file for a second
    // after that however late this process is scheduled.
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = HoldInChild(Path(), 1000, false);
    ASSERT_GT(child, 0);
    ExclusiveFile file;
    ASSERT_EQ(file.Open(Path(), Mode::ReadWriteCreate, {300, 200, false, false}), Result::Opened);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(1000));
    EXPECT_GE(file.Attempts(), 2);
    EXPECT_LE(file.Attempts(), 7);
    std::string content;
    ASSERT_TRUE(file.ReadAll(content));
    EXPECT_EQ(content, "41\r\n");
    waitpid(child, nullptr, 0);
}

TEST_F(ExclusiveFileTest, GivesUpAfterTheLastAttempt) {
    WriteFile(Path(), "x");
    const pid_t child = HoldInChild(Path(), 1500, false);
    ASSERT_GT(child, 0);
    ExclusiveFile file;
    EXPECT_EQ(file.Open(Path(), Mode::Read, {3, 50, true, true}), Result::GaveUp);
    EXPECT_EQ(file.Attempts(), 3);
    EXPECT_FALSE(file.IsOpen());
    waitpid(child, nullptr, 0);
}

TEST_F(ExclusiveFileTest, MissingFileEndsTheTriesAtOnce) {
    ExclusiveFile file;
    EXPECT_EQ(file.Open(Path(), Mode::Read, {51, 200, true, false}), Result::Missing);
    EXPECT_EQ(file.Attempts(), 1);
    EXPECT_FALSE(std::filesystem::exists(Path()));
}

TEST_F(ExclusiveFileTest, FileDeletedByTheHolderIsNotUsed) {
    WriteFile(Path(), "old");
    const pid_t child = HoldInChild(Path(), 400, true);
    ASSERT_GT(child, 0);
    // A reader that waited for the file learns that it is gone.
    ExclusiveFile reader;
    EXPECT_EQ(reader.Open(Path(), Mode::Read, {51, 100, true, false}), Result::Missing);
    waitpid(child, nullptr, 0);

    // A writer that waited writes into a file that still has the name.
    WriteFile(Path(), "old");
    const pid_t second = HoldInChild(Path(), 400, true);
    ASSERT_GT(second, 0);
    ExclusiveFile writer;
    ASSERT_EQ(writer.Open(Path(), Mode::AppendCreate, {51, 100, true, false}), Result::Opened);
    ASSERT_TRUE(writer.WriteAll("new"));
    EXPECT_TRUE(writer.Close());
    EXPECT_EQ(ReadFile(Path()), "new");
    waitpid(second, nullptr, 0);
}

TEST_F(ExclusiveFileTest, OpenNeverTruncatesAndAppendGoesToTheEnd) {
    WriteFile(Path(), "123\r\n");
    {
        ExclusiveFile file;
        ASSERT_EQ(file.Open(Path(), Mode::ReadWriteCreate, {}), Result::Opened);
        EXPECT_EQ(file.Size(), 5);
        ASSERT_TRUE(file.SeekTo(0));
        ASSERT_TRUE(file.WriteAll("124"));
    }
    EXPECT_EQ(ReadFile(Path()), "124\r\n");
    {
        ExclusiveFile file;
        ASSERT_EQ(file.Open(Path(), Mode::AppendCreate, {}), Result::Opened);
        ASSERT_TRUE(file.WriteAll("z"));
    }
    EXPECT_EQ(ReadFile(Path()), "124\r\nz");
}

TEST_F(ExclusiveFileTest, MissingFolderIsAPermanentError) {
    ExclusiveFile file;
    const std::string path = dir_.str() + "/file/inside/a/file";
    WriteFile(dir_.str() + "/file", "");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(file.Open(path, Mode::AppendCreate, {50, 200, false, true}), Result::GaveUp);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
