#pragma once

#include <glib.h>

#include <functional>

namespace tovarin {

// Runs the GLib default main context until pred() holds or the real timeout passes;
// returns pred(). Blocks in the context's poll, so it wakes on every event and timer.
inline bool pumpUntil(const std::function<bool()>& pred, double timeoutSeconds = 20) {
  bool timedOut = false;
  GSource* guard = g_timeout_source_new(static_cast<guint>(timeoutSeconds * 1000));
  g_source_set_callback(
      guard, [](gpointer flag) -> gboolean { *static_cast<bool*>(flag) = true; return G_SOURCE_REMOVE; }, &timedOut,
      nullptr);
  g_source_attach(guard, nullptr);
  while (!pred() && !timedOut) g_main_context_iteration(nullptr, TRUE);
  g_source_destroy(guard);
  g_source_unref(guard);
  return pred();
}

// Runs whatever the default context has ready now, without blocking.
inline void drainReady() {
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
}

}  // namespace tovarin
