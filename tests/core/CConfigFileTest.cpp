#include <gtest/gtest.h>

#include "core/CConfigFile.h"
#include "tests/fixtures/TestEnv.h"

using testenv::ReadFile;
using testenv::TempDir;
using testenv::WriteFile;

namespace {

class ConfigFileTest : public ::testing::Test {
  protected:
    std::string File(const std::string& name = "Tamaro.cfg") { return dir_.str() + "/" + name; }
    TempDir dir_;
};

TEST_F(ConfigFileTest, KeyMatchingFollowsTheLineRules) {
    WriteFile(File(),
              ";Velunda.Max=5\r\n"
              "Velunda.Maximum=6\r\n"
              "  velunda.max=7\r\n"
              "Velunda.Max=8\r\n"
              "Archiv.Min 42\r\n"
              "Archiv.Max\t=43\r\n"
              "Other\r\n");
    CConfigFile cfg;
    ASSERT_TRUE(cfg.Load(File()));
    // Comment and longer key are skipped; the indented lower-case line comes first.
    EXPECT_EQ(cfg.GetString("Velunda.Max"), "7");
    EXPECT_EQ(cfg.GetInt("Velunda.Max", -1), 7);
    // "key value" has no "=": the whole line is the value, converted as 0.
    EXPECT_EQ(cfg.GetString("Archiv.Min"), "Archiv.Min 42");
    EXPECT_EQ(cfg.GetInt("Archiv.Min", -1), 0);
    EXPECT_EQ(cfg.GetString("Archiv.Max"), "43");
    // A line no longer than the key never matches.
    EXPECT_EQ(cfg.GetString("Other", "dflt"), "dflt");
    EXPECT_EQ(cfg.GetString("Velunda", "dflt"), "dflt");
}

TEST_F(ConfigFileTest, CommentIsNeverFoundAndSetAppends) {
    WriteFile(File(), "  ;Velunda.Max=5\r\n");
    CConfigFile cfg;
    ASSERT_TRUE(cfg.Load(File()));
    EXPECT_EQ(cfg.GetInt("Velunda.Max", 99), 99);
    cfg.SetInt("Velunda.Max", -12);
    ASSERT_TRUE(cfg.Save());
    EXPECT_EQ(ReadFile(File()), "  ;Velunda.Max=5\r\nVelunda.Max=-12\r\n");
}

TEST_F(ConfigFileTest, FirstOfTwoLinesWinsForGetAndSet) {
    WriteFile(File(), "Path=A\r\n; between\r\nPATH = B\r\n");
    CConfigFile cfg;
    ASSERT_TRUE(cfg.Load(File()));
    EXPECT_EQ(cfg.GetString("Path"), "A");
    cfg.SetString("path", "C");
    EXPECT_EQ(cfg.GetString("Path"), "C");
    ASSERT_TRUE(cfg.Save());
    // The replaced line takes the caller's spelling; the second line stays.
    EXPECT_EQ(ReadFile(File()), "path=C\r\n; between\r\nPATH = B\r\n");
}

TEST_F(ConfigFileTest, ValueIsNotTrimmed) {
    WriteFile(File(), "Path = X \r\n");
    CConfigFile cfg;
    ASSERT_TRUE(cfg.Load(File()));
    EXPECT_EQ(cfg.GetString("Path"), " X ");
}

TEST_F(ConfigFileTest, IntegerConversion) {
    WriteFile(File(), "Empty=\r\nText=abc\r\nSigned=  -17x\r\nPlus=+5\r\nBig=99999999999\r\n");
    CConfigFile cfg;
    ASSERT_TRUE(cfg.Load(File()));
    EXPECT_EQ(cfg.GetInt("Empty", 31), 31);
    EXPECT_EQ(cfg.GetInt("Missing", 32), 32);
    EXPECT_EQ(cfg.GetInt("Text", 33), 0);
    EXPECT_EQ(cfg.GetInt("Signed", 0), -17);
    EXPECT_EQ(cfg.GetInt("Plus", 0), 5);
    EXPECT_EQ(cfg.GetInt("Big", 0), 2147483647);
    cfg.SetInt("Min", -2147483647 - 1);
    EXPECT_EQ(cfg.GetString("Min"), "-2147483648");
}

TEST_F(ConfigFileTest, LineBreaksInValuesStayOnOneLine) {
    CConfigFile cfg;
    EXPECT_FALSE(cfg.Load(File()));  // missing file: empty, path remembered
    cfg.SetString("Note", "one\r\ntwo\nthree\r");
    ASSERT_TRUE(cfg.Save());
    EXPECT_EQ(ReadFile(File()), "Note=one\x01\x02two\x02three\x01\r\n");
    CConfigFile again;
    ASSERT_TRUE(again.Load(File()));
    ASSERT_EQ(again.Lines().size(), 1u);
    EXPECT_EQ(again.GetString("Note"), "one\r\ntwo\nthree\r");
}

TEST_F(ConfigFileTest, LoadAcceptsLoneLfAndMissingLastLineEnd) {
    WriteFile(File(), "A=1\nB=2\r\n\r\nC=3");
    CConfigFile cfg;
    ASSERT_TRUE(cfg.Load(File()));
    EXPECT_EQ(cfg.Lines(), (std::vector<std::string>{"A=1", "B=2", "", "C=3"}));
    EXPECT_EQ(cfg.GetInt("C", 0), 3);
    ASSERT_TRUE(cfg.Save());
    EXPECT_EQ(ReadFile(File()), "A=1\r\nB=2\r\n\r\nC=3\r\n");
}

TEST_F(ConfigFileTest, BadInputRoundTripsUnchanged) {
    const std::string nulLine("Key=va\0lue\0\0end", 15);
    const std::string longLine = "Long=" + std::string(200000, 'x');
    const std::string cp1252 = "Name=M\xFCller \xBB\x95";
    const std::string midCr = "Odd=a\rb";
    const std::string content = nulLine + "\r\n" + longLine + "\r\n" + cp1252 + "\r\n" + midCr +
                                "\r\n" + std::string("\0\0", 2) + "\r\n";
    WriteFile(File(), content);
    CConfigFile cfg;
    ASSERT_TRUE(cfg.Load(File()));
    ASSERT_EQ(cfg.Lines().size(), 5u);
    EXPECT_EQ(cfg.Lines()[0], nulLine);
    EXPECT_EQ(cfg.GetString("Key"), std::string("va\0lue\0\0end", 11));
    EXPECT_EQ(cfg.GetString("Long").size(), 200000u);
    EXPECT_EQ(cfg.GetString("Odd"), "a\rb");
    cfg.SetString("Name", "M\xFCller \xBB\x95");
    ASSERT_TRUE(cfg.Save());
    EXPECT_EQ(ReadFile(File()), content);
}

TEST_F(ConfigFileTest, SaveFailsWhenTheFolderIsMissing) {
    CConfigFile cfg;
    EXPECT_FALSE(cfg.Load(dir_.str() + "/no/such/folder/Tamaro.cfg"));
    cfg.SetInt("Archiv.Min", 1);
    EXPECT_FALSE(cfg.Save());
    EXPECT_EQ(cfg.GetInt("Archiv.Min", 0), 1);
}

TEST_F(ConfigFileTest, FolderDoesNotLoad) {
    CConfigFile cfg;
    EXPECT_FALSE(cfg.Load(dir_.str()));
    EXPECT_TRUE(cfg.Lines().empty());
}

TEST_F(ConfigFileTest, ReloadDiscardsOldLines) {
    WriteFile(File("a.cfg"), "A=1\r\n");
    WriteFile(File("b.cfg"), "B=2\r\n");
    CConfigFile cfg;
    ASSERT_TRUE(cfg.Load(File("a.cfg")));
    ASSERT_TRUE(cfg.Load(File("b.cfg")));
    EXPECT_EQ(cfg.GetString("A", "none"), "none");
    EXPECT_EQ(cfg.Path(), File("b.cfg"));
}

}  // namespace
