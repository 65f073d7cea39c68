#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/NamedMutex.h"
#include "tests/fixtures/TestEnv.h"

namespace {

using testenv::TempDir;

// A second process that holds the named mutex until told to end.
class SiblingProcess {
  public:
    explicit SiblingProcess(const std::string& name) {
        int ready[2], quit[2];
        if (pipe(ready) != 0 || pipe(quit) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(quit[1]);
            NamedMutexHolder holder(name);
            const char ok = holder.Held() ? '1' : '0';
            (void)!write(ready[1], &ok, 1);
            char c;
            (void)!read(quit[0], &c, 1);
            _exit(0);
        }
        close(ready[1]);
        close(quit[0]);
        quit_ = quit[1];
        char ok = '0';
        held_ = read(ready[0], &ok, 1) == 1 && ok == '1';
        close(ready[0]);
    }
    ~SiblingProcess() { Stop(); }
    void Stop() {
        if (pid_ <= 0) return;
        close(quit_);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    bool Held() const { return held_; }

  private:
    pid_t pid_ = -1;
    int quit_ = -1;
    bool held_ = false;
};

class NamedMutexTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("TAMARO_LOCK_DIR", (dir_.str() + "/locks").c_str(), 1); }
    void TearDown() override { unsetenv("TAMARO_LOCK_DIR"); }
    TempDir dir_;
};

TEST_F(NamedMutexTest, ProbeSeesAMutexHeldByAnotherProcess) {
    EXPECT_FALSE(NamedMutexExists("VelundaMTX"));
    SiblingProcess velunda("VelundaMTX");
    ASSERT_TRUE(velunda.Held());
    EXPECT_TRUE(NamedMutexExists("VelundaMTX"));
    EXPECT_FALSE(NamedMutexExists("PockoraMTX"));
    // The probe never keeps the name: repeated probes give the same answer.
    EXPECT_TRUE(NamedMutexExists("VelundaMTX"));
    velunda.Stop();
    EXPECT_FALSE(NamedMutexExists("VelundaMTX"));
}

TEST_F(NamedMutexTest, NamesWithBlanksAndTheProbeLeavesNoLockBehind) {
    SiblingProcess vigil("Dormilo VigilMTX");
    ASSERT_TRUE(vigil.Held());
    EXPECT_TRUE(NamedMutexExists("Dormilo VigilMTX"));
    EXPECT_FALSE(NamedMutexExists("Dormilo SedatMTX"));
    // After a probe, a sibling starting up can still take its mutex.
    SiblingProcess sedat("Dormilo SedatMTX");
    EXPECT_TRUE(sedat.Held());
}

TEST_F(NamedMutexTest, LockFolderIsCreatedWorldWritable) {
    const std::string folder = NamedMutexFolder();
    EXPECT_EQ(folder, dir_.str() + "/locks");
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 01777u);
}

TEST_F(NamedMutexTest, UnreachableFolderMeansNothingRuns) {
    setenv("TAMARO_LOCK_DIR", "/proc/no-such-folder/locks", 1);
    EXPECT_FALSE(NamedMutexExists("VelundaMTX"));
}

}  // namespace
