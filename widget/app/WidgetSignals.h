#pragma once

#include <gio/gio.h>

#include <functional>

namespace tovarin {

// Listens on the session bus for the application's "reload all timelines" signal, and
// on the system bus for the end of a suspend. A bus that is not there is simply not
// listened to. Main thread only; callbacks run on the main loop.
class WidgetSignals final {
 public:
  WidgetSignals(std::function<void()> onReload, std::function<void()> onResume);
  ~WidgetSignals();
  WidgetSignals(const WidgetSignals&) = delete;
  WidgetSignals& operator=(const WidgetSignals&) = delete;

  [[nodiscard]] bool listeningForReload() const { return reloadSubscription_ != 0; }

 private:
  static void onReloadSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                             gpointer self);
  static void onSleepSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                            GVariant* parameters, gpointer self);

  std::function<void()> onReload_;
  std::function<void()> onResume_;
  GDBusConnection* session_ = nullptr;
  GDBusConnection* system_ = nullptr;
  guint reloadSubscription_ = 0;
  guint sleepSubscription_ = 0;
};

}  // namespace tovarin
