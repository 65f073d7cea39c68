// "tamaro --headless --list" and "--view" as an administrator runs them, on
// practices of both kinds with the fixed cases of tamaro-mkpractice (pids 1
// to 21; Velunda lists 10 to 16 and 21 for the first doctor).
#include <gtest/gtest.h>

#include <regex>

#include "tests/fixtures/HeadlessProgram.h"

#ifdef TAMARO_HAVE_PROGRAM

using namespace testenv;

namespace {

// A practice the generator makes now, at the present time.
class HeadlessListTest : public HeadlessProgramTest {
  protected:
    HeadlessListTest() : HeadlessProgramTest(PracticeSource::Fresh) {}
};

TEST_P(HeadlessListTest, EachListPrintsItsRowsInTheOrderOfTheCommandLine) {
    HeadlessResult r = Run("--list PID=12");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.Rows(), (std::vector<std::string>{"10:0", "11:0", "12:1", "13:0", "14:0", "15:0",
                                                  "16:0", "21:0"}));
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\nLIST\t10\tJung, Jan\tPrivat\t"
                                                    R"(\d\d\.\d\d\.\d{4})"
                                                    "\t0\nLIST\t11\t")))
        << r.out;
    EXPECT_NE(r.out.find("\nLIST\t13\tMohr, Maria\tKasse\t---\t0\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nLIST\t15\tPohl, Paul\t\t"), std::string::npos);
    // Vogt's billed service without billing record leaves her record its
    // services: she is listed, where a "not in" query for empty records
    // would return nothing and list Iske and Ulrich as well.
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\nLIST\t21\tVogt, Vera\tKasse\t"
                                                    R"(\d\d\.\d\d\.\d{4})"
                                                    "\t0\n")))
        << r.out;
    // Start-up lists once (timer 1); the command prints that list, as nothing
    // it was filled from has changed.
    EXPECT_NE(r.out.find("\xe2\x80\xa2 10 Patienten mit offenen Leistungen"), std::string::npos);
    EXPECT_EQ(r.Fills("Velunda"), 1) << r.out;

    // Filters belong to the --list they follow and stay set, as in the window.
    r = Run("--list --doctor 3 --list --name \"'N\" --doctor 2 --view archiv --list");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.Rows(), (std::vector<std::string>{"18:1", "14:1"}));
    // Each list with filters of its own is filled; the last one prints the
    // list of the view switch.
    EXPECT_EQ(r.Fills("Velunda"), 3) << r.out;
    EXPECT_EQ(r.Fills("Archiv"), 1) << r.out;

    // A service range that ends before the cases were served leaves Mohr,
    // who has no service.
    r = Run("--service-to 01.01.2000 --list");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.Rows(), std::vector<std::string>{"13:1"});
}

TEST_P(HeadlessListTest, BadValuesAndRedLinesEndWithStatusOne) {
    HeadlessResult r = Run("--list --admitted-to 2020-01-01");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err,
        "tamaro: --admitted-to: \"2020-01-01\" ist kein g\xc3\xbcltiges Datum (TT.MM.JJJJ)\n");
    EXPECT_EQ(r.out, "");  // nothing was started
    r = Run("--list --view Archive");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("keine Ansicht"), std::string::npos) << r.err;
    r = Run("--name Jung");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ohne --list"), std::string::npos) << r.err;
    r = Run("--list --doctor 5");  // hidden doctor: not in the box
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tamaro: --doctor 5: kein Arzt mit dieser Nummer in der Arztliste\n");

    // A failed query for open business: red line, status 1, and archiving
    // from that list is refused.
    const std::string fail = "TAMARO_ODBC_FAIL_AFTER=0 TAMARO_ODBC_FAIL_MATCH='from dmp_form'";
    r = Run("--archive 10", fail);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Fehler in FillList-4a: "), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("mit \"Liste aktualisieren\" fehlerfrei"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Datentransfer"), std::string::npos);
    r = Run("--list", fail);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.Rows().size(), 8u);  // the command's own list is complete again

    r = Run("--list --name Jung");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.Rows(), std::vector<std::string>{"10:1"});
}

INSTANTIATE_TEST_SUITE_P(Kinds, HeadlessListTest, ::testing::Values("fdb", "mdb"));

}  // namespace

#endif
