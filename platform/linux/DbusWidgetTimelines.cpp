#include "platform/linux/DbusWidgetTimelines.h"

#include <gio/gio.h>

#include <utility>

#include "base/Log.h"
#include "base/WidgetReloadSignal.h"

namespace tovarin {

DbusWidgetTimelines::DbusWidgetTimelines(std::string busAddress)
    : bus_(busAddress.empty() ? DbusConnection::addressOf(DbusConnection::Bus::session) : std::move(busAddress)) {}

void DbusWidgetTimelines::reloadAllTimelines() {
  std::string whyNot;
  GDBusConnection* connection = bus_.ensure(&whyNot);
  if (!connection) {
    if (!std::exchange(loggedUnavailable_, true)) log("widget reload: no session bus (" + whyNot + ")");
    return;
  }
  g_autoptr(GError) error = nullptr;
  g_dbus_connection_emit_signal(connection, nullptr, WidgetReloadSignal::objectPath, WidgetReloadSignal::interfaceName,
                                WidgetReloadSignal::member, nullptr, &error);
}

}  // namespace tovarin
