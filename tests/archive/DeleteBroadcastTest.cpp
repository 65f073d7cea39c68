// Deleting patients of the Velunda side tells the other practice programs,
// once per deletion, on a private session bus; the archive side does not.
#include <dbus/dbus.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "archive/DeletePatients.h"
#include "platform/Broadcast.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

// A session bus of the test's own, and a listener on it that counts the
// signals "MSG_VELUNDA_NEWPAT".
class ListeningBus {
  public:
    ListeningBus() {
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
        if (address_.empty()) return;
        DBusError error;
        dbus_error_init(&error);
        listener_ = dbus_connection_open_private(address_.c_str(), &error);
        if (listener_ && dbus_bus_register(listener_, &error))
            dbus_bus_add_match(listener_, "type='signal',interface='de.kvarn.Velunda'", &error);
        dbus_error_free(&error);
        if (listener_) dbus_connection_flush(listener_);
        const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (old) oldAddress_ = old;
        hadAddress_ = old != nullptr;
        setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    }
    ~ListeningBus() {
        if (hadAddress_)
            setenv("DBUS_SESSION_BUS_ADDRESS", oldAddress_.c_str(), 1);
        else
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        if (listener_) {
            dbus_connection_close(listener_);
            dbus_connection_unref(listener_);
        }
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Ready() const { return listener_ != nullptr; }

    // Signals of the new-patients message that arrived before a marker
    // signal sent now (the bus keeps the order of one sender's messages,
    // and every broadcast has been flushed before it returns).
    int NewPatientSignals() {
        BroadcastMessage("TAMARO_TEST_MARKER", 0, 0);
        int count = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            dbus_connection_read_write(listener_, 100);
            while (DBusMessage* m = dbus_connection_pop_message(listener_)) {
                const bool marker =
                    dbus_message_is_signal(m, "de.kvarn.Velunda", "TAMARO_TEST_MARKER");
                if (dbus_message_is_signal(m, "de.kvarn.Velunda", "MSG_VELUNDA_NEWPAT")) ++count;
                dbus_message_unref(m);
                if (marker) return count;
            }
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    std::string address_;
    DBusConnection* listener_ = nullptr;
    std::string oldAddress_;
    bool hadAddress_ = false;
};

using DeleteBroadcastTest = ArchiveTest;

TEST_P(DeleteBroadcastTest, OnlyTheVelundaSideIsAnnounced) {
    ListeningBus bus;
    if (!bus.Ready()) GTEST_SKIP() << "no dbus-daemon";
    Install(PracticePatients);

    ASSERT_TRUE(DeletePatients(set_->VelundaList, "1,2"));
    EXPECT_EQ(bus.NewPatientSignals(), 1);

    ASSERT_TRUE(DeletePatients(set_->ArchiveList, "1,2"));
    EXPECT_EQ(bus.NewPatientSignals(), 0);

    Exec(set_->MainDatabase(), "drop table scheine");
    EXPECT_FALSE(DeletePatients(set_->VelundaList, "3"));
    EXPECT_EQ(bus.NewPatientSignals(), 0);
}

TEST_P(DeleteBroadcastTest, ArchiveRunAnnouncesRestoreRunLeavesItToItsCaller) {
    ListeningBus bus;
    if (!bus.Ready()) GTEST_SKIP() << "no dbus-daemon";
    Install(PracticePatients);
    Transfer("5");
    EXPECT_EQ(bus.NewPatientSignals(), 1);
    set_->SwapSides();
    Transfer("5");
    EXPECT_EQ(bus.NewPatientSignals(), 0);
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten where pid=5"), 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DeleteBroadcastTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
