#include "platform/gtk/GtkSystemNotifier.h"

#include <gio/gio.h>

namespace tovarin {
namespace {

// Notification ids are the page's reminder ids; GLib keeps them apart from other
// notifications of the program by a prefix of our own.
std::string notificationId(const std::string& id) { return "reminder:" + id; }

}  // namespace

GtkSystemNotifier::GtkSystemNotifier(GApplication* application) : application_(application) {
  if (!application_) return;
  g_object_ref(application_);
  openAction_ = g_simple_action_new(openActionName, G_VARIANT_TYPE_STRING);
  activateHandler_ = g_signal_connect(openAction_, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant* parameter, gpointer data) {
    auto* self = static_cast<GtkSystemNotifier*>(data);
    if (!parameter || !g_variant_is_of_type(parameter, G_VARIANT_TYPE_STRING) || !self->handler_) return;
    self->handler_(g_variant_get_string(parameter, nullptr));
  }), this);
  g_action_map_add_action(G_ACTION_MAP(application_), G_ACTION(openAction_));
}

GtkSystemNotifier::~GtkSystemNotifier() {
  if (!application_) return;
  g_action_map_remove_action(G_ACTION_MAP(application_), openActionName);
  g_signal_handler_disconnect(openAction_, activateHandler_);
  g_object_unref(openAction_);
  g_object_unref(application_);
}

bool GtkSystemNotifier::available() const {
  return application_ && g_application_get_application_id(application_) &&
         g_application_get_is_registered(application_) && g_application_get_dbus_connection(application_);
}

void GtkSystemNotifier::show(const std::string& id, const std::string& title, const std::string& body) {
  if (!available()) return;
  GNotification* notification = g_notification_new(title.c_str());
  if (!body.empty()) g_notification_set_body(notification, body.c_str());
  g_notification_set_default_action_and_target_value(
      notification, (std::string("app.") + openActionName).c_str(), g_variant_new_string(id.c_str()));
  g_application_send_notification(application_, notificationId(id).c_str(), notification);
  g_object_unref(notification);
}

void GtkSystemNotifier::withdraw(const std::string& id) {
  if (!available()) return;
  g_application_withdraw_notification(application_, notificationId(id).c_str());
}

}  // namespace tovarin
