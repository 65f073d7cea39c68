// Copying a file's content by the kernel, and by reads and writes where the
// kernel cannot: the same bytes either way, from wherever the source stands.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/FileCopy.h"
#include "platform/FileDescriptor.h"
#include "tests/fixtures/TestEnv.h"

namespace {

namespace fs = std::filesystem;
using testenv::ReadFile;
using testenv::TempDir;
using testenv::WriteFile;

// Content that a copy out of order or cut short cannot match.
std::string Pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = char((i * 131 + i / 4093) & 0xFF);
    return s;
}

// Copies from an open source to a new file; the pieces reported add up.
bool Copy(int in, const fs::path& to, uint64_t& bytes) {
    FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    uint64_t reported = 0;
    const bool ok =
        out.get() >= 0 && CopyFileData(in, out.get(), bytes, [&](uint64_t n) { reported += n; });
    EXPECT_EQ(reported, bytes);
    return ok && out.Close();
}

TEST(FileCopy, KernelCopyAndItsFallbacksGiveTheSameBytes) {
    TempDir dir;
    const std::string content = Pattern((3 << 20) + 12345);
    WriteFile(dir.path() / "data.fdb", content);
    uint64_t bytes = 0;

    // A whole file on one file system.
    {
        FileDescriptor in(::open((dir.path() / "data.fdb").c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(Copy(in.get(), dir.path() / "whole", bytes));
        EXPECT_EQ(bytes, content.size());
        EXPECT_EQ(ReadFile(dir.path() / "whole"), content);
        // At its end there is nothing left to copy.
        ASSERT_TRUE(Copy(in.get(), dir.path() / "empty", bytes));
        EXPECT_EQ(bytes, 0u);
        EXPECT_EQ(ReadFile(dir.path() / "empty"), "");
    }

    // From the middle of the source, appended to what the target holds: no
    // reflink can stand for that.
    {
        FileDescriptor in(::open((dir.path() / "data.fdb").c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::lseek(in.get(), 1000, SEEK_SET), 1000);
        FileDescriptor out(
            ::open((dir.path() / "tail").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        ASSERT_TRUE(WriteAll(out.get(), "head", 4));
        ASSERT_TRUE(CopyFileData(in.get(), out.get(), bytes));
        ASSERT_TRUE(out.Close());
        EXPECT_EQ(bytes, content.size() - 1000);
        EXPECT_EQ(ReadFile(dir.path() / "tail"), "head" + content.substr(1000));
    }

    // Across file systems (memory to disk), where the kernel may refuse.
    const fs::path shm = "/dev/shm/tamaro-copy-" + std::to_string(::getpid());
    if (fs::create_directory(shm)) {
        WriteFile(shm / "data.fdb", content);
        FileDescriptor in(::open((shm / "data.fdb").c_str(), O_RDONLY | O_CLOEXEC));
        const bool across = Copy(in.get(), dir.path() / "across", bytes);
        fs::remove_all(shm);
        ASSERT_TRUE(across);
        EXPECT_EQ(ReadFile(dir.path() / "across"), content);
    }

    // From a pipe, which the kernel does not copy from: reads and writes.
    // (What fits into the pipe, written before the copy starts.)
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    FileDescriptor readEnd(fds[0]);
    const std::string piece = content.substr(0, 60000);
    ASSERT_TRUE(WriteAll(fds[1], piece.data(), piece.size()));
    ::close(fds[1]);
    ASSERT_TRUE(Copy(readEnd.get(), dir.path() / "piped", bytes));
    EXPECT_EQ(bytes, piece.size());
    EXPECT_EQ(ReadFile(dir.path() / "piped"), piece);
}

}  // namespace
