// Why the X server of this test program is missing; empty when it runs.
#pragma once

#include <string>

extern std::string g_noXServer;

#define REQUIRE_X_SERVER()                                                        \
    do {                                                                          \
        if (!g_noXServer.empty()) GTEST_SKIP() << "no X server: " << g_noXServer; \
    } while (0)
