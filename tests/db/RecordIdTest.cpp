// Record ids from the shared id files, with another process holding the file
// where the exclusive open matters.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "db/RecordId.h"
#include "tests/db/DbFixture.h"

namespace dbtest {
namespace {

const char* const kOpenFailed =
    "Fehler in getID(1) - Verbindung zum Netzwerk wurde unterbrochen oder ID-Datei defekt.";

class RecordId : public RecordingTest {
  protected:
    std::string File(const std::string& name) { return dir_.str() + "/" + name + ".id"; }
    std::string Content(const std::string& name) { return testenv::ReadFile(File(name)); }
    void Put(const std::string& name, const std::string& text) {
        testenv::WriteFile(File(name), text);
    }
    // The file holding `before` hands out `id` and then holds `after`.
    void ExpectHandsOut(const std::string& name, const std::string& before, int id,
                        const std::string& after) {
        Put(name, before);
        EXPECT_EQ(getID(name), id) << name;
        EXPECT_EQ(Content(name), after) << name;
    }
};

// A second process (flock(1)) that holds the file exclusively for `seconds`;
// the returned stream yields a line once the lock is taken.
FILE* HoldElsewhere(const std::string& path, const char* seconds) {
    const std::string cmd =
        "flock -x '" + path + "' -c 'echo locked; sleep " + std::string(seconds) + "'";
    FILE* p = popen(cmd.c_str(), "r");
    char line[16] = {0};
    if (p && !fgets(line, sizeof line, p)) {
        pclose(p);
        return nullptr;
    }
    return p;
}

TEST_F(RecordId, NumbersFromNewEmptyAndWrittenFiles) {
    // A missing file starts at the counter's start value, whatever the case
    // of its name, and keeps the number after it.
    EXPECT_EQ(getID("karteiData"), 1);
    EXPECT_EQ(Content("karteiData"), "2");
    EXPECT_EQ(getID("karteiData"), 2);
    EXPECT_EQ(Content("karteiData"), "3");
    EXPECT_EQ(getID("Rechnung"), 100000);
    EXPECT_EQ(Content("Rechnung"), "100001");
    EXPECT_EQ(getID("KARTEIKAT"), 200);
    EXPECT_EQ(getID("Unbekannt"), 1);

    // An existing empty file gives 1 for any counter.
    ExpectHandsOut("RechnungKoVo", "", 1, "2");

    // The new number overwrites the start of the first line only: the line
    // end stays, and a longer number covers what follows it.
    ExpectHandsOut("a", "41\r\n", 41, "42\r\n");
    ExpectHandsOut("b", "99", 99, "100");
    ExpectHandsOut("c", "  7 rest\nsecond line", 7, "8 7 rest\nsecond line");
    EXPECT_EQ(getID("c"), 8);

    // A negative number is handed out and left alone; text without a number
    // counts as 0.
    ExpectHandsOut("d", "-5\n", -5, "-5\n");
    ExpectHandsOut("e", "abc", 0, "1bc");
    EXPECT_TRUE(boxes_.Boxes().empty());

    // The largest 32-bit number has no successor to write back.
    ExpectHandsOut("f", "2147483647", -1, "2147483647");
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
}

TEST_F(RecordId, WaitsWhileAnotherProcessHoldsTheFileAndGivesUpAfterTheRetries) {
    Put("karteiData", "41\r\n");
    FILE* holder = HoldElsewhere(File("karteiData"), "1");
    ASSERT_NE(holder, nullptr);
    int attempts = 0;
    EXPECT_EQ(getID("karteiData", IdFileRetry{}, &attempts), 41);
    EXPECT_GE(attempts, 3);
    EXPECT_LE(attempts, 8);
    EXPECT_EQ(Content("karteiData"), "42\r\n");
    pclose(holder);
    EXPECT_TRUE(boxes_.Boxes().empty());

    holder = HoldElsewhere(File("karteiData"), "2");
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(getID("karteiData", IdFileRetry{3, 50}, &attempts), -1);
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{kOpenFailed});
    EXPECT_EQ(Content("karteiData"), "42\r\n");
    pclose(holder);

    // A path that can never be opened ends the tries at once.
    std::filesystem::create_directory(File("Arzt"));
    EXPECT_EQ(getID("Arzt", IdFileRetry{}, &attempts), -1);
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(boxes_.Boxes().size(), 2u);
}

}  // namespace
}  // namespace dbtest
