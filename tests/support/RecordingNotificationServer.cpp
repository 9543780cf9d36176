#include "tests/support/RecordingNotificationServer.h"

#include <chrono>

#include <gio/gio.h>

namespace tovarin {
namespace {

constexpr const char* introspection = R"(<node>
  <interface name="org.freedesktop.Notifications">
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/><arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
    <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
    <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
  </interface>
</node>)";

}  // namespace

RecordingNotificationServer::RecordingNotificationServer(const std::string& address) {
  context_ = g_main_context_new();
  loop_ = g_main_loop_new(context_, FALSE);
  thread_ = std::thread([this, address] { run(address); });
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(10), [&] { return started_; });
}

RecordingNotificationServer::~RecordingNotificationServer() {
  g_main_loop_quit(loop_);
  if (thread_.joinable()) thread_.join();
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
}

void RecordingNotificationServer::run(std::string address) {
  g_main_context_push_thread_default(context_);
  GError* error = nullptr;
  connection_ = g_dbus_connection_new_for_address_sync(
      address.c_str(),
      GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  bool owned = false;
  guint registration = 0;
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(introspection, nullptr);
  if (connection_) {
    static const GDBusInterfaceVTable vtable = {
        [](GDBusConnection* c, const gchar* sender, const gchar* path, const gchar* iface, const gchar* method,
           GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
          onCall(c, sender, path, iface, method, parameters, invocation, data);
        },
        nullptr, nullptr, {}};
    registration = g_dbus_connection_register_object(connection_, "/org/freedesktop/Notifications", node->interfaces[0],
                                                     &vtable, this, nullptr, nullptr);
    GVariant* reply = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.freedesktop.Notifications", 4u /* do not queue */), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (reply) {
      guint32 result = 0;
      g_variant_get(reply, "(u)", &result);
      owned = result == 1;  // primary owner
      g_variant_unref(reply);
    }
  }
  if (error) g_error_free(error);
  {
    std::lock_guard lock(mutex_);
    started_ = true;
    ready_ = owned && registration != 0;
  }
  changed_.notify_all();
  if (connection_) g_main_loop_run(loop_);
  if (registration) g_dbus_connection_unregister_object(connection_, registration);
  if (connection_) {
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
  }
  g_dbus_node_info_unref(node);
  g_main_context_pop_thread_default(context_);
}

void RecordingNotificationServer::onCall(GDBusConnection*, const char* sender, const char*, const char*, const char* method,
                                         GVariant* parameters, GDBusMethodInvocation* invocation, void* data) {
  auto* self = static_cast<RecordingNotificationServer*>(data);
  const std::string name = method;
  if (name == "GetCapabilities") {
    const gchar* capabilities[] = {"actions", "body", nullptr};
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(^as)", capabilities));
  } else if (name == "GetServerInformation") {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(ssss)", "recording", "tests", "1", "1.2"));
  } else if (name == "CloseNotification") {
    guint32 id = 0;
    g_variant_get(parameters, "(u)", &id);
    {
      std::lock_guard lock(self->mutex_);
      self->closed_.push_back(id);
    }
    self->changed_.notify_all();
    g_dbus_method_invocation_return_value(invocation, nullptr);
  } else if (name == "Notify") {
    const gchar *appName = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
    guint32 replaces = 0;
    gint32 timeout = 0;
    GVariantIter* actions = nullptr;
    GVariant* hints = nullptr;
    g_variant_get(parameters, "(&su&s&s&sas@a{sv}i)", &appName, &replaces, &icon, &summary, &body, &actions, &hints, &timeout);
    Notification notification{0, appName, replaces, summary, body, {}, sender ? sender : ""};
    const gchar* action = nullptr;
    while (g_variant_iter_next(actions, "&s", &action)) notification.actions.emplace_back(action);
    g_variant_iter_free(actions);
    g_variant_unref(hints);
    {
      std::lock_guard lock(self->mutex_);
      notification.id = replaces != 0 ? replaces : self->nextId_++;
      self->notifications_.push_back(notification);
    }
    self->changed_.notify_all();
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", notification.id));
  } else {
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod", method);
  }
}

bool RecordingNotificationServer::ready() const {
  std::lock_guard lock(mutex_);
  return ready_;
}

std::vector<RecordingNotificationServer::Notification> RecordingNotificationServer::notifications() const {
  std::lock_guard lock(mutex_);
  return notifications_;
}

std::vector<uint32_t> RecordingNotificationServer::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

bool RecordingNotificationServer::waitForNotifications(size_t count, double seconds) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return notifications_.size() >= count; });
}

bool RecordingNotificationServer::invokeAction(uint32_t id, const std::string& action) {
  std::string destination;
  {
    std::lock_guard lock(mutex_);
    for (const auto& notification : notifications_) {
      if (notification.id == id) destination = notification.sender;
    }
  }
  if (destination.empty() || !connection_) return false;
  return g_dbus_connection_emit_signal(connection_, nullptr, "/org/freedesktop/Notifications",
                                       "org.freedesktop.Notifications", "ActionInvoked",
                                       g_variant_new("(us)", id, action.c_str()), nullptr) != FALSE;
}

}  // namespace tovarin
