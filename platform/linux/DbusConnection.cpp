#include "platform/linux/DbusConnection.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <cstdlib>

namespace tovarin {

std::string DbusConnection::addressOf(Bus bus) {
  if (bus == Bus::system) {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address && *address ? address : "unix:path=/run/dbus/system_bus_socket";
  }
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return address;
  // The per-user bus of a systemd session, the one place a session bus lives without
  // an announced address.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return {};
  const std::string socket = std::string(runtime) + "/bus";
  struct stat info {};
  if (::stat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return {};
  return "unix:path=" + socket;
}

DbusConnection::DbusConnection(std::string address) : address_(std::move(address)) {}

DbusConnection::~DbusConnection() {
  if (connection_) g_object_unref(connection_);
}

GDBusConnection* DbusConnection::ensure(std::string* whyNot) {
  if (connection_ && g_dbus_connection_is_closed(connection_)) {
    g_object_unref(connection_);
    connection_ = nullptr;
  }
  if (connection_) return connection_;
  if (address_.empty()) {
    if (whyNot) *whyNot = "no bus address";
    return nullptr;
  }
  g_autoptr(GError) error = nullptr;
  connection_ = g_dbus_connection_new_for_address_sync(
      address_.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (!connection_ && whyNot) *whyNot = error ? error->message : "cannot connect";
  return connection_;
}

}  // namespace tovarin
