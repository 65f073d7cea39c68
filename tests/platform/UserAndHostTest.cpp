#include "platform/UserAndHost.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace {

TEST(UserAndHostTest, NamesOfThisProcess) {
    std::string user, host;
    ASSERT_TRUE(GetLoginName(user));
    const passwd* pw = getpwuid(getuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(user, pw->pw_name);
    ASSERT_TRUE(GetHostName(host));
    char expected[256] = {};
    gethostname(expected, sizeof expected - 1);
    EXPECT_EQ(host, expected);
}

}  // namespace
