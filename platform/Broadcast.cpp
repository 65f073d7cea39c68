#include "platform/Broadcast.h"

#include <dbus/dbus.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace {

// The session bus address without falling back to auto-launching a bus.
std::string SessionBusAddress() {
    const char* env = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    // An autolaunch address would start a bus of our own, which nobody listens to.
    if (env && *env) return std::string(env).find("autolaunch:") == std::string::npos ? env : "";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return {};
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st {};
    if (stat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return {};
    return "unix:path=" + socket;
}

struct ConnectionCloser {
    void operator()(DBusConnection* c) const {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    }
};
struct MessageUnref {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using ConnectionPtr = std::unique_ptr<DBusConnection, ConnectionCloser>;
using MessagePtr = std::unique_ptr<DBusMessage, MessageUnref>;

}  // namespace

bool BroadcastMessage(const std::string& name, int32_t wParam, int32_t lParam) {
    const std::string address = SessionBusAddress();
    if (address.empty()) return false;
    DBusError error;
    dbus_error_init(&error);
    ConnectionPtr connection(dbus_connection_open_private(address.c_str(), &error));
    dbus_error_free(&error);
    if (!connection) return false;
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);

    // The bus wants Hello first; its answer is not awaited, since the bus
    // handles the messages of one connection in order.
    MessagePtr hello(dbus_message_new_method_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "Hello"));
    MessagePtr signal(dbus_message_new_signal(BroadcastPath, BroadcastInterface, name.c_str()));
    if (!hello || !signal) return false;
    dbus_int32_t first = wParam, second = lParam;
    if (!dbus_message_append_args(signal.get(), DBUS_TYPE_INT32, &first, DBUS_TYPE_INT32, &second,
                                  DBUS_TYPE_INVALID))
        return false;
    if (!dbus_connection_send(connection.get(), hello.get(), nullptr) ||
        !dbus_connection_send(connection.get(), signal.get(), nullptr))
        return false;
    dbus_connection_flush(connection.get());
    return dbus_connection_get_is_connected(connection.get());
}
