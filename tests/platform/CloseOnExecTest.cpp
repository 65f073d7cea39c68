// A program started by Tamaro (the desktop's opener of the help page) must
// not keep a database file open with its lock: the embedded Firebird engine
// locks its files with flock, and a lock inherited by a browser would stop
// the next run from connecting the file again after its backup.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/CloseOnExec.h"
#include "tests/fixtures/TestEnv.h"

namespace {

// Starts `sleep` and returns once it runs (the pipe closes at its exec).
pid_t StartProgram() {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    char c;
    while (read(ready[0], &c, 1) > 0) {
    }
    close(ready[0]);
    return child;
}

// True when the lock on the file is free again after this process closed
// its descriptor while a started program was running.
bool LockFreedWhileAProgramRuns(const std::string& path, bool keep) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
    if (keep) KeepDescriptorsFromChildren();
    const pid_t child = StartProgram();
    close(fd);
    const int again = open(path.c_str(), O_RDWR);
    const bool freed = flock(again, LOCK_EX | LOCK_NB) == 0;
    close(again);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return freed;
}

TEST(CloseOnExec, AStartedProgramHoldsNoLockOfOurs) {
    testenv::TempDir dir("tamaro-cloexec");
    const std::string path = (dir.path() / "data.fdb").string();
    EXPECT_FALSE(LockFreedWhileAProgramRuns(path, false));  // what the mark prevents
    EXPECT_TRUE(LockFreedWhileAProgramRuns(path, true));
    EXPECT_EQ(fcntl(0, F_GETFD) & FD_CLOEXEC, 0);  // standard input is left alone
}

}  // namespace
