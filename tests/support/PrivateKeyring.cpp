#include "tests/support/PrivateKeyring.h"

#include <gio/gio.h>
#include <signal.h>

#include <chrono>
#include <fstream>

#include "tests/support/Eventually.h"

namespace tovarin {
namespace {

// Whether a process owns the service's name; asking the bus itself starts nothing, where
// a call to the service would have the bus start a daemon of its own, with no login
// keyring, which could win the name.
bool serviceOnTheBus(GDBusConnection* connection) {
  GVariant* reply = g_dbus_connection_call_sync(
      connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
      g_variant_new("(s)", "org.freedesktop.secrets"), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr,
      nullptr);
  if (!reply) return false;
  gboolean owned = FALSE;
  g_variant_get(reply, "(b)", &owned);
  g_variant_unref(reply);
  return owned != FALSE;
}

}  // namespace

bool PrivateKeyring::start(const std::string& busAddress, const std::vector<std::string>& environment, double seconds) {
  const std::string password = dir_.path() + "/password";
  std::ofstream(password) << "test-password";
  // The daemon reads the new login keyring's password on its standard input; exec makes
  // the daemon itself the child, so ending the child ends the daemon.
  auto launch = ChildProcess::launch(ChildProcessOptions{
      "/bin/sh",
      {"-c", "exec /usr/bin/gnome-keyring-daemon --foreground --components=secrets --unlock < \"$0\"", password},
      dir_.path(), environment, false, false});
  if (!launch.process) {
    error_ = "gnome-keyring: " + launch.error;
    return false;
  }
  daemon_ = launch.process;
  GError* failure = nullptr;
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      busAddress.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &failure);
  if (!connection) {
    error_ = std::string("the test's bus: ") + (failure ? failure->message : "no connection");
    g_clear_error(&failure);
    return false;
  }
  const bool owned = eventually([&] { return serviceOnTheBus(connection); }, seconds, std::chrono::milliseconds(20));
  g_dbus_connection_close_sync(connection, nullptr, nullptr);
  g_object_unref(connection);
  if (!owned) error_ = "gnome-keyring never took the service's name on the bus";
  return owned;
}

PrivateKeyring::~PrivateKeyring() {
  if (daemon_ && daemon_->signal(SIGTERM)) (void)daemon_->wait();
}

}  // namespace tovarin
