#include "platform/gtk/StatusItemIndicator.h"

#include <gtk/gtk.h>
#ifdef TOVARIN_HAVE_APPINDICATOR
#include <libayatana-appindicator/app-indicator.h>
#endif

#include "base/Log.h"
#include "platform/gtk/MenuGtkDispatch.h"

namespace tovarin {
namespace {

struct ItemContext {
  MenuGtkDispatch* dispatch;
  MenuCommand command;
  MenuArgument argument;
};

void onItemActivated(GtkMenuItem*, gpointer data) {
  auto* context = static_cast<ItemContext*>(data);
  context->dispatch->activate(context->command, context->argument);
}

void freeContext(gpointer data, GClosure*) { delete static_cast<ItemContext*>(data); }

void showShortcut(GtkWidget* item, const MenuShortcut& shortcut) {
  const std::string accelerator = menuAccelerator(shortcut);
  if (accelerator.empty()) return;
  guint key = 0;
  GdkModifierType modifiers = GdkModifierType(0);
  gtk_accelerator_parse(accelerator.c_str(), &key, &modifiers);
  GtkWidget* label = gtk_bin_get_child(GTK_BIN(item));
  if (key != 0 && GTK_IS_ACCEL_LABEL(label)) gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), key, modifiers);
}

GtkWidget* buildMenu(const std::vector<MenuItem>& items, MenuGtkDispatch& dispatch) {
  GtkWidget* menu = gtk_menu_new();
  for (const auto& item : items) {
    GtkWidget* widget = nullptr;
    switch (item.kind) {
      case MenuItem::Kind::separator:
        widget = gtk_separator_menu_item_new();
        break;
      case MenuItem::Kind::submenu:
        widget = gtk_menu_item_new_with_label(item.title.c_str());
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget), buildMenu(item.children, dispatch));
        break;
      case MenuItem::Kind::command:
        // The choices of a submenu (level, scope, opacity) carry their check mark.
        if (MenuCommands::argumentKind(item.command) != MenuArgumentKind::none) {
          widget = gtk_check_menu_item_new_with_label(item.title.c_str());
          gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(widget), TRUE);
          gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), item.checked);
        } else {
          widget = gtk_menu_item_new_with_label(item.title.c_str());
        }
        showShortcut(widget, item.shortcut);
        gtk_widget_set_sensitive(widget, item.enabled && dispatch.isEnabled(item.command));
        if (item.command != MenuCommand::none) {
          g_signal_connect_data(widget, "activate", G_CALLBACK(onItemActivated),
                                new ItemContext{&dispatch, item.command, item.argument}, freeContext,
                                GConnectFlags(0));
        }
        break;
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), widget);
  }
  gtk_widget_show_all(menu);
  return menu;
}

gboolean destroyLater(gpointer data) {
  GtkWidget* menu = GTK_WIDGET(data);
  gtk_widget_destroy(menu);
  g_object_unref(menu);
  return G_SOURCE_REMOVE;
}

}  // namespace

StatusItemIndicator::StatusItemIndicator(std::string id, Icon icon, const std::string& description,
                                         MenuGtkDispatch& dispatch)
    : icon_(std::move(icon)), dispatch_(dispatch) {
#ifdef TOVARIN_HAVE_APPINDICATOR
  AppIndicator* indicator =
      icon_.directory.empty()
          ? app_indicator_new(id.c_str(), icon_.name.c_str(), APP_INDICATOR_CATEGORY_APPLICATION_STATUS)
          : app_indicator_new_with_path(id.c_str(), icon_.name.c_str(), APP_INDICATOR_CATEGORY_APPLICATION_STATUS,
                                        icon_.directory.c_str());
  app_indicator_set_icon_full(indicator, icon_.name.c_str(), description.c_str());
  app_indicator_set_title(indicator, description.c_str());
  app_indicator_set_status(indicator, APP_INDICATOR_STATUS_ACTIVE);
  indicator_ = indicator;
#else
  (void)id;
  (void)description;
  log("status item unavailable: built without the indicator library");
#endif
}

StatusItemIndicator::~StatusItemIndicator() {
#ifdef TOVARIN_HAVE_APPINDICATOR
  if (indicator_) g_object_unref(indicator_);
#endif
  if (menu_) {
    gtk_widget_destroy(menu_);
    g_object_unref(menu_);
  }
}

void StatusItemIndicator::setMenu(const std::vector<MenuItem>& items) {
  GtkWidget* menu = buildMenu(items, dispatch_);
  g_object_ref_sink(menu);
#ifdef TOVARIN_HAVE_APPINDICATOR
  if (indicator_) app_indicator_set_menu(static_cast<AppIndicator*>(indicator_), GTK_MENU(menu));
#endif
  // The old menu may be the one whose item is being chosen right now (a level change
  // rebuilds the menu from inside its own activation): it goes once that has returned.
  if (menu_) g_idle_add(destroyLater, menu_);
  menu_ = menu;
}

}  // namespace tovarin
