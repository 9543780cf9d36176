#include "platform/linux/LogindSession.h"

#include <gio/gio.h>

namespace tovarin {

LogindSession::LogindSession(std::string busAddress)
    : bus_(busAddress.empty() ? DbusConnection::addressOf(DbusConnection::Bus::system) : std::move(busAddress)) {}

std::optional<bool> LogindSession::lockedHint() {
  GDBusConnection* connection = bus_.ensure();
  if (!connection) return std::nullopt;
  g_autoptr(GError) error = nullptr;
  // "auto" is the caller's own session, or the user's display session when the caller
  // runs outside any session.
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      connection, "org.freedesktop.login1", "/org/freedesktop/login1/session/auto", "org.freedesktop.DBus.Properties",
      "Get", g_variant_new("(ss)", "org.freedesktop.login1.Session", "LockedHint"), G_VARIANT_TYPE("(v)"),
      G_DBUS_CALL_FLAGS_NO_AUTO_START, callTimeoutMilliseconds, nullptr, &error);
  if (!reply) return std::nullopt;
  g_autoptr(GVariant) value = nullptr;
  g_variant_get(reply, "(v)", &value);
  if (!value || !g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) return std::nullopt;
  return g_variant_get_boolean(value) != FALSE;
}

}  // namespace tovarin
