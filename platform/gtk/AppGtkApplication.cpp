#include "platform/gtk/AppGtkApplication.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <utility>

namespace tovarin {

struct AppGtkApplication::State {
  GtkApplication* application = nullptr;
  Events events;
  bool launched = false;
  bool held = false;
  std::vector<guint> signalSources;
  guint activityCheck = 0;

  void launchOnce() {
    if (launched) return;
    launched = true;
    // Hidden windows must not end the program, nor the lack of any.
    g_application_hold(G_APPLICATION(application));
    held = true;
    if (events.launch) events.launch();
  }
};

namespace {

gboolean onQuitSignal(gpointer data) {
  auto* state = static_cast<AppGtkApplication::State*>(data);
  g_application_quit(G_APPLICATION(state->application));
  return G_SOURCE_CONTINUE;
}

void onActivate(GApplication*, gpointer data) {
  auto* state = static_cast<AppGtkApplication::State*>(data);
  if (!state->launched) {
    state->launchOnce();
  } else if (state->events.reopen) {
    state->events.reopen();
  }
}

void onOpen(GApplication*, GFile** files, gint count, const gchar*, gpointer data) {
  auto* state = static_cast<AppGtkApplication::State*>(data);
  std::vector<std::string> urls;
  for (gint i = 0; i < count; ++i) {
    g_autofree char* uri = g_file_get_uri(files[i]);
    if (uri) urls.emplace_back(uri);
  }
  // A URL that starts the program is held by the delegate and routed last in the launch.
  if (state->events.open) state->events.open(urls);
  state->launchOnce();
}

// Focus moves between our own windows through a moment when none is active, so the
// check waits for the loop to settle.
gboolean checkStillActive(gpointer data) {
  auto* state = static_cast<AppGtkApplication::State*>(data);
  state->activityCheck = 0;
  for (GList* window = gtk_application_get_windows(state->application); window; window = window->next) {
    if (gtk_window_is_active(GTK_WINDOW(window->data))) return G_SOURCE_REMOVE;
  }
  if (state->launched && state->events.resignActive) state->events.resignActive();
  return G_SOURCE_REMOVE;
}

void onWindowActivity(GObject* window, GParamSpec*, gpointer data) {
  auto* state = static_cast<AppGtkApplication::State*>(data);
  if (gtk_window_is_active(GTK_WINDOW(window)) || state->activityCheck != 0) return;
  state->activityCheck = g_timeout_add(100, checkStillActive, state);
}

void onWindowAdded(GtkApplication*, GtkWindow* window, gpointer data) {
  g_signal_connect(window, "notify::is-active", G_CALLBACK(onWindowActivity), data);
}

void onShutdown(GApplication*, gpointer data) {
  auto* state = static_cast<AppGtkApplication::State*>(data);
  if (state->launched && state->events.terminate) state->events.terminate();
}

}  // namespace

AppGtkApplication::AppGtkApplication(std::string applicationId) : state_(new State) {
  state_->application = gtk_application_new(applicationId.c_str(), G_APPLICATION_HANDLES_OPEN);
  g_signal_connect(state_->application, "activate", G_CALLBACK(onActivate), state_);
  g_signal_connect(state_->application, "open", G_CALLBACK(onOpen), state_);
  g_signal_connect(state_->application, "shutdown", G_CALLBACK(onShutdown), state_);
  g_signal_connect(state_->application, "window-added", G_CALLBACK(onWindowAdded), state_);
}

AppGtkApplication::~AppGtkApplication() {
  for (guint source : state_->signalSources) g_source_remove(source);
  if (state_->activityCheck != 0) g_source_remove(state_->activityCheck);
  for (GList* window = gtk_application_get_windows(state_->application); window; window = window->next) {
    g_signal_handlers_disconnect_by_data(window->data, state_);
  }
  g_signal_handlers_disconnect_by_data(state_->application, state_);
  g_object_unref(state_->application);
  delete state_;
}

int AppGtkApplication::run(int argc, char** argv, Events events) {
  state_->events = std::move(events);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    state_->signalSources.push_back(g_unix_signal_add(signal, onQuitSignal, state_));
  }
  const int status = g_application_run(G_APPLICATION(state_->application), argc, argv);
  if (state_->held) {
    state_->held = false;
    g_application_release(G_APPLICATION(state_->application));
  }
  return status;
}

void AppGtkApplication::quit() { g_application_quit(G_APPLICATION(state_->application)); }

void* AppGtkApplication::nativeApplication() const { return state_->application; }

}  // namespace tovarin
