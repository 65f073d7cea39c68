#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "platform/Broadcast.h"
#include "tests/fixtures/PrivateSessionBus.h"
#include "tests/fixtures/TestEnv.h"

namespace {

class BroadcastTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        hadAddress_ = old != nullptr;
        if (old) oldAddress_ = old;
    }
    void TearDown() override {
        if (hadAddress_)
            setenv("DBUS_SESSION_BUS_ADDRESS", oldAddress_.c_str(), 1);
        else
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    bool hadAddress_ = false;
    std::string oldAddress_;
};

TEST_F(BroadcastTest, ListenerReceivesTheSignalWithTwoZeroArguments) {
    testenv::PrivateSessionBus bus;
    if (!bus.Ready()) GTEST_SKIP() << "dbus-daemon could not be started";

    EXPECT_TRUE(BroadcastNewPatients());

    DBusMessage* received = bus.WaitForSignal("MSG_VELUNDA_NEWPAT");
    DBusError error;
    dbus_error_init(&error);
    ASSERT_NE(received, nullptr);
    EXPECT_STREQ(dbus_message_get_path(received), "/de/kvarn/Velunda");
    dbus_int32_t first = -1, second = -1;
    EXPECT_TRUE(dbus_message_get_args(received, &error, DBUS_TYPE_INT32, &first, DBUS_TYPE_INT32,
                                      &second, DBUS_TYPE_INVALID));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    dbus_message_unref(received);
    dbus_error_free(&error);
}

TEST_F(BroadcastTest, NoReachableBusDoesNothingAndDoesNotBlock) {
    const auto start = std::chrono::steady_clock::now();
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tamaro-bus", 1);
    EXPECT_FALSE(BroadcastNewPatients());
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string runtime =
        std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    setenv("XDG_RUNTIME_DIR", "/nonexistent", 1);
    EXPECT_FALSE(BroadcastNewPatients());
    if (runtime.empty())
        unsetenv("XDG_RUNTIME_DIR");
    else
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
