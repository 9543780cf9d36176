#include "platform/linux/LogindWatcher.h"

#include <gio/gio.h>
#include <unistd.h>

#include <future>

#include "platform/linux/DbusConnection.h"

namespace tovarin {
namespace {

constexpr const char* logindName = "org.freedesktop.login1";
constexpr const char* managerPath = "/org/freedesktop/login1";
constexpr const char* managerInterface = "org.freedesktop.login1.Manager";
constexpr const char* sessionInterface = "org.freedesktop.login1.Session";
constexpr int callTimeoutMilliseconds = 1000;

std::string objectPathReply(GDBusConnection* connection, const char* method, GVariant* arguments) {
  g_autoptr(GVariant) reply =
      g_dbus_connection_call_sync(connection, logindName, managerPath, managerInterface, method, arguments,
                                  G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, callTimeoutMilliseconds,
                                  nullptr, nullptr);
  if (!reply) return {};
  const char* path = nullptr;
  g_variant_get(reply, "(&o)", &path);
  return path ? path : "";
}

}  // namespace

// Lives on the watcher's thread, which owns its bus connection and subscriptions.
struct LogindWatcher::Listener {
  std::shared_ptr<ActivityNotificationCenter> workspace;
  std::shared_ptr<ActivityNotificationCenter> distributed;
  DbusConnection bus;
  std::vector<guint> subscriptions;

  Listener(std::string address, std::shared_ptr<ActivityNotificationCenter> workspace,
           std::shared_ptr<ActivityNotificationCenter> distributed)
      : workspace(std::move(workspace)), distributed(std::move(distributed)), bus(std::move(address)) {}

  std::string subscribe() {
    GDBusConnection* connection = bus.ensure();
    if (!connection) return {};
    subscriptions.push_back(g_dbus_connection_signal_subscribe(connection, logindName, managerInterface,
                                                               "PrepareForSleep", managerPath, nullptr,
                                                               G_DBUS_SIGNAL_FLAGS_NONE, &onSignal, this, nullptr));
    // "auto" is the caller's own session, or the user's display session outside one.
    std::string session = objectPathReply(connection, "GetSession", g_variant_new("(s)", "auto"));
    if (session.empty()) {
      session = objectPathReply(connection, "GetSessionByPID", g_variant_new("(u)", static_cast<guint32>(::getpid())));
    }
    if (session.empty()) return {};
    for (const char* member : {"Lock", "Unlock"}) {
      subscriptions.push_back(g_dbus_connection_signal_subscribe(connection, logindName, sessionInterface, member,
                                                                 session.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                                                 &onSignal, this, nullptr));
    }
    subscriptions.push_back(g_dbus_connection_signal_subscribe(
        connection, logindName, "org.freedesktop.DBus.Properties", "PropertiesChanged", session.c_str(),
        sessionInterface, G_DBUS_SIGNAL_FLAGS_NONE, &onSignal, this, nullptr));
    // The bus learns of the subscriptions asynchronously; one round trip after them
    // means they are in place when this returns, so a lock right after start is seen.
    g_autoptr(GVariant) id =
        g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                    "GetId", nullptr, G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE,
                                    callTimeoutMilliseconds, nullptr, nullptr);
    return session;
  }

  void unsubscribe() {
    GDBusConnection* connection = bus.ensure();
    for (guint id : subscriptions) {
      if (connection) g_dbus_connection_signal_unsubscribe(connection, id);
    }
    subscriptions.clear();
  }

  static void onSignal(GDBusConnection*, const char*, const char*, const char* interface, const char* member,
                       GVariant* parameters, gpointer data) {
    auto* self = static_cast<Listener*>(data);
    const std::string name = member;
    if (name == "PrepareForSleep" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) {
      gboolean sleeping = FALSE;
      g_variant_get(parameters, "(b)", &sleeping);
      self->workspace->postFromAnyThread(sleeping ? WorkspaceNotification::willSleep : WorkspaceNotification::didWake,
                                         {});
    } else if (name == "Lock" && std::string(interface) == sessionInterface) {
      self->distributed->postFromAnyThread(WorkspaceNotification::screenLocked, {});
    } else if (name == "Unlock" && std::string(interface) == sessionInterface) {
      self->distributed->postFromAnyThread(WorkspaceNotification::screenUnlocked, {});
    } else if (name == "PropertiesChanged" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)"))) {
      self->propertiesChanged(parameters);
    }
  }

  void propertiesChanged(GVariant* parameters) {
    g_autoptr(GVariant) changed = g_variant_get_child_value(parameters, 1);
    gboolean value = FALSE;
    if (g_variant_lookup(changed, "LockedHint", "b", &value)) {
      distributed->postFromAnyThread(value ? WorkspaceNotification::screenLocked : WorkspaceNotification::screenUnlocked,
                                     {});
    }
    if (g_variant_lookup(changed, "Active", "b", &value)) {
      workspace->postFromAnyThread(
          value ? WorkspaceNotification::sessionBecameActive : WorkspaceNotification::sessionResignedActive, {});
    }
  }
};

LogindWatcher::LogindWatcher(std::string busAddress, std::shared_ptr<ActivityNotificationCenter> workspace,
                             std::shared_ptr<ActivityNotificationCenter> distributed)
    : busAddress_(busAddress.empty() ? DbusConnection::addressOf(DbusConnection::Bus::system) : std::move(busAddress)),
      listener_(std::make_unique<Listener>(busAddress_, std::move(workspace), std::move(distributed))) {
  context_ = g_main_context_new();
  loop_ = g_main_loop_new(context_, FALSE);
  std::promise<std::string> subscribed;
  auto session = subscribed.get_future();
  thread_ = std::thread([this, &subscribed] {
    g_main_context_push_thread_default(context_);
    // Signals are dispatched to the context that was the thread default when they
    // were subscribed: this thread's.
    subscribed.set_value(listener_->subscribe());
    g_main_loop_run(loop_);
    listener_->unsubscribe();
    g_main_context_pop_thread_default(context_);
  });
  sessionPath_ = session.get();
}

LogindWatcher::~LogindWatcher() {
  // Through a source of the loop's own context, so that the quit cannot come before the
  // loop has begun to run and be lost.
  GSource* quit = g_idle_source_new();
  g_source_set_callback(
      quit,
      [](gpointer loop) {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      loop_, nullptr);
  g_source_attach(quit, context_);
  g_source_unref(quit);
  thread_.join();
  listener_.reset();
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
}

}  // namespace tovarin
