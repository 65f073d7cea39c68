// The alphabetical order of German texts, as the login's user list keeps it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/ComboBox.h"
#include "core/GermanCollation.h"

namespace {

TEST(GermanCollation, UmlautsWithTheirBaseLettersSharpSAsSsAndNoCase) {
    // Given in reverse of the expected order.
    std::vector<std::string> names = {"Zander",  "Zäh",    "Zahn",   "Übel",    "Strauß",
                                      "Strauss", "straße", "Öhler",  "mueller", "Müller",
                                      "Muller",  "Émile",  "Ärztin", "Arzt",    "abel"};
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end(),
              [](const std::string& a, const std::string& b) { return CompareGerman(a, b) < 0; });
    EXPECT_EQ(sorted, (std::vector<std::string>{"abel", "Arzt", "Ärztin", "Émile", "mueller",
                                                "Muller", "Müller", "Öhler", "straße", "Strauss",
                                                "Strauß", "Übel", "Zäh", "Zahn", "Zander"}));

    // A total order: only the same bytes compare equal, and both ways agree.
    for (const std::string& a : names)
        for (const std::string& b : names) {
            EXPECT_EQ(CompareGerman(a, b) == 0, a == b) << a << " " << b;
            EXPECT_EQ(CompareGerman(a, b) < 0, CompareGerman(b, a) > 0) << a << " " << b;
        }
    EXPECT_LT(CompareGerman("", "a"), 0);
    EXPECT_LT(CompareGerman("Ab", "abc"), 0);

    // A sorted list (the headless login's) files each entry in its place and
    // keeps the selected one selected.
    ComboBoxModel list(true);
    list.AddString("Zander");
    list.SetCurSel(0);
    EXPECT_EQ(list.AddString("Ärztin"), 0);
    EXPECT_EQ(list.AddString("Öhler"), 1);
    EXPECT_EQ(list.GetItemText(list.GetCurSel()), "Zander");
}

}  // namespace
