#include "platform/gtk/MenuGtkDispatch.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <utility>

namespace tovarin {
namespace {

// The web view's own editing command for a menu's editing command.
const char* editingCommandOf(MenuCommand command) {
  switch (command) {
    case MenuCommand::undo: return WEBKIT_EDITING_COMMAND_UNDO;
    case MenuCommand::redo: return WEBKIT_EDITING_COMMAND_REDO;
    case MenuCommand::cut: return WEBKIT_EDITING_COMMAND_CUT;
    case MenuCommand::copy: return WEBKIT_EDITING_COMMAND_COPY;
    case MenuCommand::paste: return WEBKIT_EDITING_COMMAND_PASTE;
    case MenuCommand::deleteSelection: return "Delete";
    case MenuCommand::selectAll: return WEBKIT_EDITING_COMMAND_SELECT_ALL;
    default: return nullptr;
  }
}

// The focused web view of the window, searching the focus chain's widget and its parents.
WebKitWebView* focusedWebView(GtkWindow* window) {
  for (GtkWidget* widget = window ? gtk_window_get_focus(window) : nullptr; widget;
       widget = gtk_widget_get_parent(widget)) {
    if (WEBKIT_IS_WEB_VIEW(widget)) return WEBKIT_WEB_VIEW(widget);
  }
  return nullptr;
}

template <class Each>
void forEachVisibleWindow(GtkApplication* application, Each each) {
  // Copied first: presenting or hiding may reorder the application's list.
  GList* windows = g_list_copy(gtk_application_get_windows(application));
  for (GList* l = windows; l; l = l->next) {
    GtkWindow* window = GTK_WINDOW(l->data);
    if (gtk_widget_get_visible(GTK_WIDGET(window))) each(window);
  }
  g_list_free(windows);
}

}  // namespace

MenuGtkDispatch::MenuGtkDispatch(_GtkApplication* application) : application_(application) {}

void MenuGtkDispatch::setTarget(std::weak_ptr<AppMenuTarget> target) { target_ = std::move(target); }

bool MenuGtkDispatch::isEnabled(MenuCommand command) const {
  if (command == MenuCommand::hideOtherApplications) return false;
  if (MenuCommands::isDesktopCommand(command)) return true;
  auto target = target_.lock();
  return target && target->isEnabled(command);
}

void MenuGtkDispatch::activate(MenuCommand command, const MenuArgument& argument) {
  if (MenuCommands::isDesktopCommand(command)) {
    performDesktopCommand(command);
    return;
  }
  if (auto target = target_.lock()) {
    if (target->isEnabled(command)) target->perform(command, argument);
  }
}

void MenuGtkDispatch::performDesktopCommand(MenuCommand command) {
  GtkApplication* application = application_;
  GtkWindow* active = gtk_application_get_active_window(application);
  if (const char* editing = editingCommandOf(command)) {
    if (WebKitWebView* view = focusedWebView(active)) webkit_web_view_execute_editing_command(view, editing);
    return;
  }
  switch (command) {
    case MenuCommand::quit:
      g_application_quit(G_APPLICATION(application));
      break;
    case MenuCommand::closeWindow:
      // The window's own close path: its owner decides (the program's windows hide).
      if (active) gtk_window_close(active);
      break;
    case MenuCommand::minimize:
      if (active) gtk_window_iconify(active);
      break;
    case MenuCommand::zoom:
      if (active) {
        if (gtk_window_is_maximized(active)) {
          gtk_window_unmaximize(active);
        } else {
          gtk_window_maximize(active);
        }
      }
      break;
    case MenuCommand::hideApplication:
      forEachVisibleWindow(application, [](GtkWindow* window) { gtk_window_iconify(window); });
      break;
    case MenuCommand::unhideAllApplications:
    case MenuCommand::arrangeInFront:
      forEachVisibleWindow(application, [](GtkWindow* window) {
        gtk_window_deiconify(window);
        gtk_window_present(window);
      });
      break;
    default:
      break;
  }
}

}  // namespace tovarin
