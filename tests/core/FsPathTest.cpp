// Folder names between the file system (UTF-8) and the program's text (code
// page 1252).
#include <gtest/gtest.h>

#include "core/FsPath.h"

namespace {

TEST(FsPath, EveryCodePage1252NameLeadsBackToItselfAndForeignCharactersAreShown) {
    // All 255 bytes survive the way to the file system and back.
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    std::string back;
    EXPECT_TRUE(fspath::FromFileSystem(fspath::ToFileSystem(all), back));
    EXPECT_EQ(back, all);

    EXPECT_EQ(fspath::ToFileSystem("/home/praxis/Praxis M\xFC"
                                   "ller"),
              "/home/praxis/Praxis M\xC3\xBC"
              "ller");
    EXPECT_TRUE(fspath::FromFileSystem("/srv/J\xC3\xB6rg \xE2\x82\xAC", back));
    EXPECT_EQ(back, "/srv/J\xF6rg \x80");

    // Characters without a byte in code page 1252, and bytes that are no
    // UTF-8 (a folder named in Latin-1), are named instead of guessed.
    struct Case {
        const char* name;
        const char* shown;
    } cases[] = {
        {"/srv/\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         "/srv/<U+0141>\xF3"
         "d<U+017A>"},
        {"/srv/Praxis M\xFCller", "/srv/Praxis M<0xFC>ller"},
        {"/srv/\xF0\x9F\x98\x80", "/srv/<U+1F600>"},
        {"/srv/\xC2\x80", "/srv/<U+0080>"},                // C1 control, not the euro sign
        {"/srv/\xC0\xAF", "/srv/<0xC0><0xAF>"},            // overlong "/"
        {"/srv/\xED\xA0\x80", "/srv/<0xED><0xA0><0x80>"},  // surrogate
        {"/srv/\xE2\x82", "/srv/<0xE2><0x82>"},            // cut short
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(fspath::FromFileSystem(c.name, back)) << c.name;
        EXPECT_EQ(back, c.shown);
    }
}

}  // namespace
