#include <dbus/dbus.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "platform/Broadcast.h"
#include "tests/fixtures/TestEnv.h"

namespace {

// A private session bus for one test, ended with the test.
class PrivateBus {
  public:
    PrivateBus() {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile",
                   "--print-address=1", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') address_ += c;
        close(out[0]);
    }
    ~PrivateBus() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& Address() const { return address_; }

  private:
    pid_t pid_ = -1;
    std::string address_;
};

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
    PrivateBus bus;
    if (bus.Address().empty()) GTEST_SKIP() << "dbus-daemon could not be started";
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);

    DBusError error;
    dbus_error_init(&error);
    DBusConnection* listener = dbus_connection_open_private(bus.Address().c_str(), &error);
    ASSERT_NE(listener, nullptr) << error.message;
    ASSERT_TRUE(dbus_bus_register(listener, &error)) << error.message;
    dbus_bus_add_match(listener, "type='signal',interface='de.kvarn.Velunda'", &error);
    ASSERT_FALSE(dbus_error_is_set(&error));
    dbus_connection_flush(listener);

    EXPECT_TRUE(BroadcastNewPatients());

    DBusMessage* received = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!received && std::chrono::steady_clock::now() < deadline) {
        dbus_connection_read_write(listener, 100);
        while (DBusMessage* m = dbus_connection_pop_message(listener)) {
            if (!received && dbus_message_is_signal(m, "de.kvarn.Velunda", "MSG_VELUNDA_NEWPAT"))
                received = m;
            else
                dbus_message_unref(m);
        }
    }
    ASSERT_NE(received, nullptr);
    EXPECT_STREQ(dbus_message_get_path(received), "/de/kvarn/Velunda");
    dbus_int32_t first = -1, second = -1;
    EXPECT_TRUE(dbus_message_get_args(received, &error, DBUS_TYPE_INT32, &first, DBUS_TYPE_INT32,
                                      &second, DBUS_TYPE_INVALID));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    dbus_message_unref(received);
    dbus_connection_close(listener);
    dbus_connection_unref(listener);
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
