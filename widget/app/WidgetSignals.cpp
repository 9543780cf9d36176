#include "widget/app/WidgetSignals.h"

#include "base/WidgetReloadSignal.h"

namespace tovarin {

WidgetSignals::WidgetSignals(std::function<void()> onReload, std::function<void()> onResume)
    : onReload_(std::move(onReload)), onResume_(std::move(onResume)) {
  session_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (session_) {
    reloadSubscription_ = g_dbus_connection_signal_subscribe(
        session_, nullptr, WidgetReloadSignal::interfaceName, WidgetReloadSignal::member,
        WidgetReloadSignal::objectPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onReloadSignal, this, nullptr);
  }
  system_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
  if (system_) {
    sleepSubscription_ = g_dbus_connection_signal_subscribe(
        system_, "org.freedesktop.login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
        "/org/freedesktop/login1", nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onSleepSignal, this, nullptr);
  }
}

WidgetSignals::~WidgetSignals() {
  if (session_) {
    if (reloadSubscription_) g_dbus_connection_signal_unsubscribe(session_, reloadSubscription_);
    g_object_unref(session_);
  }
  if (system_) {
    if (sleepSubscription_) g_dbus_connection_signal_unsubscribe(system_, sleepSubscription_);
    g_object_unref(system_);
  }
}

void WidgetSignals::onReloadSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                   GVariant*, gpointer self) {
  static_cast<WidgetSignals*>(self)->onReload_();
}

// PrepareForSleep(false) comes when the machine has woken up.
void WidgetSignals::onSleepSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                  GVariant* parameters, gpointer self) {
  gboolean sleeping = TRUE;
  if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) g_variant_get(parameters, "(b)", &sleeping);
  if (!sleeping) static_cast<WidgetSignals*>(self)->onResume_();
}

}  // namespace tovarin
