#include "platform/gtk/StatusItemIndicator.h"

#include <gtk/gtk.h>
#ifdef TOVARIN_HAVE_APPINDICATOR
#include <libayatana-appindicator/app-indicator.h>
#endif

#include "base/Log.h"
#include "platform/gtk/MenuGtkDispatch.h"

#ifdef TOVARIN_HAVE_APPINDICATOR
// An indicator whose tray icon, where the desktop has only an XEmbed tray, is made here
// rather than by the library: the library names its icon with gtk_status_icon_set_name()
// once the icon is already embedded, which hides, unrealizes and realizes it again and
// leaves GDK's freeze/thaw count of its window unbalanced (a Gdk-CRITICAL). This icon
// keeps the program's own name.
struct TovarinIndicator {
  AppIndicator parent;
};
struct TovarinIndicatorClass {
  AppIndicatorClass parent_class;
};

G_DEFINE_TYPE(TovarinIndicator, tovarin_indicator, APP_INDICATOR_TYPE)

namespace {

G_GNUC_BEGIN_IGNORE_DEPRECATIONS

// The mark while the indicator is active; nothing while it is passive. The program sets
// both once at the start; a later change is followed all the same.
void showIndicatorState(AppIndicator* indicator, GtkStatusIcon* icon) {
  if (const gchar* name = app_indicator_get_icon(indicator)) {
    const gchar* directory = app_indicator_get_icon_theme_path(indicator);
    const std::string file = directory ? std::string(directory) + "/" + name + ".png" : std::string();
    if (!file.empty() && g_file_test(file.c_str(), G_FILE_TEST_IS_REGULAR)) {
      gtk_status_icon_set_from_file(icon, file.c_str());
    } else {
      gtk_status_icon_set_from_icon_name(icon, name);
    }
  }
  gtk_status_icon_set_visible(icon, app_indicator_get_status(indicator) != APP_INDICATOR_STATUS_PASSIVE);
}

void onIconChanged(AppIndicator* indicator, gpointer icon) { showIndicatorState(indicator, GTK_STATUS_ICON(icon)); }
void onStatusChanged(AppIndicator* indicator, const gchar*, gpointer icon) {
  showIndicatorState(indicator, GTK_STATUS_ICON(icon));
}

void popUpMenu(GtkStatusIcon* icon, AppIndicator* indicator, guint button, guint32 time) {
  GtkMenu* menu = app_indicator_get_menu(indicator);
  if (menu) gtk_menu_popup(menu, nullptr, nullptr, gtk_status_icon_position_menu, icon, button, time);
}
void onTrayActivate(GtkStatusIcon* icon, gpointer indicator) {
  popUpMenu(icon, APP_INDICATOR(indicator), 1, gtk_get_current_event_time());
}
void onTrayPopupMenu(GtkStatusIcon* icon, guint button, guint time, gpointer indicator) {
  popUpMenu(icon, APP_INDICATOR(indicator), button, time);
}

GtkStatusIcon* makeTrayIcon(AppIndicator* indicator) {
  GtkStatusIcon* icon = gtk_status_icon_new();
  if (const gchar* title = app_indicator_get_title(indicator)) gtk_status_icon_set_title(icon, title);
  showIndicatorState(indicator, icon);
  g_signal_connect(indicator, "new-icon", G_CALLBACK(onIconChanged), icon);
  g_signal_connect(indicator, "new-status", G_CALLBACK(onStatusChanged), icon);
  g_signal_connect(icon, "activate", G_CALLBACK(onTrayActivate), indicator);
  g_signal_connect(icon, "popup-menu", G_CALLBACK(onTrayPopupMenu), indicator);
  return icon;
}

// A StatusNotifierWatcher came after all: the indicator shows itself there.
void dropTrayIcon(AppIndicator* indicator, GtkStatusIcon* icon) {
  g_signal_handlers_disconnect_by_data(indicator, icon);
  gtk_status_icon_set_visible(icon, FALSE);
  g_object_unref(icon);
}

G_GNUC_END_IGNORE_DEPRECATIONS

}  // namespace

static void tovarin_indicator_class_init(TovarinIndicatorClass* type) {
  type->parent_class.fallback = makeTrayIcon;
  type->parent_class.unfallback = dropTrayIcon;
}
static void tovarin_indicator_init(TovarinIndicator*) {}
#endif

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
  // What app_indicator_new_with_path() sets, on the indicator with our own tray icon.
  auto* indicator = APP_INDICATOR(g_object_new(
      tovarin_indicator_get_type(), "id", id.c_str(), "category", "ApplicationStatus", "icon-name", icon_.name.c_str(),
      "icon-theme-path", icon_.directory.empty() ? nullptr : icon_.directory.c_str(), nullptr));
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
