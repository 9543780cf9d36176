#include "platform/gtk/MenuGtkBar.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <map>

#include "platform/gtk/MenuGtkDispatch.h"

namespace tovarin {
namespace {

struct ActionContext {
  MenuGtkDispatch* dispatch;
  MenuCommand command;
};

const GVariantType* parameterTypeOf(MenuCommand command) {
  switch (MenuCommands::argumentKind(command)) {
    case MenuArgumentKind::integer: return G_VARIANT_TYPE_INT64;
    case MenuArgumentKind::number: return G_VARIANT_TYPE_DOUBLE;
    case MenuArgumentKind::text: return G_VARIANT_TYPE_STRING;
    case MenuArgumentKind::none: return nullptr;
  }
  return nullptr;
}

void onActionActivated(GSimpleAction*, GVariant* parameter, gpointer data) {
  auto* context = static_cast<ActionContext*>(data);
  context->dispatch->activate(context->command, MenuGtkBar::argumentOf(parameter));
}

void freeContext(gpointer data, GClosure*) { delete static_cast<ActionContext*>(data); }

std::string detailedName(const MenuItem& item) {
  const std::string name = "app." + std::string(MenuCommands::actionName(item.command));
  GVariant* target = MenuGtkBar::targetOf(item.argument);
  if (!target) return name;
  g_variant_ref_sink(target);
  g_autofree char* detailed = g_action_print_detailed_name(name.c_str(), target);
  g_variant_unref(target);
  return detailed;
}

// Separators become section boundaries, the model's own way of drawing them; a menu
// without separators (the menubar itself) holds its items directly.
GMenu* buildMenu(const std::vector<MenuItem>& items) {
  GMenu* menu = g_menu_new();
  const bool sectioned = std::any_of(items.begin(), items.end(),
                                     [](const MenuItem& item) { return item.kind == MenuItem::Kind::separator; });
  GMenu* section = sectioned ? g_menu_new() : g_object_ref(menu);
  auto closeSection = [&] {
    if (!sectioned) return;
    if (g_menu_model_get_n_items(G_MENU_MODEL(section)) > 0) {
      g_menu_append_section(menu, nullptr, G_MENU_MODEL(section));
    }
    g_object_unref(section);
    section = g_menu_new();
  };
  for (const auto& item : items) {
    switch (item.kind) {
      case MenuItem::Kind::separator:
        closeSection();
        break;
      case MenuItem::Kind::submenu: {
        GMenu* submenu = buildMenu(item.children);
        g_menu_append_submenu(section, item.title.c_str(), G_MENU_MODEL(submenu));
        g_object_unref(submenu);
        break;
      }
      case MenuItem::Kind::command: {
        GMenuItem* entry = g_menu_item_new(item.title.c_str(), nullptr);
        if (item.command != MenuCommand::none) {
          const std::string action = "app." + std::string(MenuCommands::actionName(item.command));
          g_menu_item_set_action_and_target_value(entry, action.c_str(), MenuGtkBar::targetOf(item.argument));
        }
        g_menu_append_item(section, entry);
        g_object_unref(entry);
        break;
      }
    }
  }
  closeSection();
  g_object_unref(section);
  return menu;
}

}  // namespace

MenuGtkBar::MenuGtkBar(_GtkApplication* application, MenuGtkDispatch& dispatch)
    : application_(application), dispatch_(dispatch) {}

MenuGtkBar::~MenuGtkBar() {
  // The actions point at the dispatch, which may end with this menubar.
  if (actionsRegistered_) {
    for (MenuCommand command : MenuCommands::all()) {
      g_action_map_remove_action(G_ACTION_MAP(application_), std::string(MenuCommands::actionName(command)).c_str());
    }
  }
  if (model_) g_object_unref(model_);
}

GVariant* MenuGtkBar::targetOf(const MenuArgument& argument) {
  if (const auto* whole = std::get_if<int64_t>(&argument)) return g_variant_new_int64(*whole);
  if (const auto* number = std::get_if<double>(&argument)) return g_variant_new_double(*number);
  if (const auto* text = std::get_if<std::string>(&argument)) return g_variant_new_string(text->c_str());
  return nullptr;
}

MenuArgument MenuGtkBar::argumentOf(GVariant* parameter) {
  if (!parameter) return {};
  if (g_variant_is_of_type(parameter, G_VARIANT_TYPE_INT64)) return int64_t{g_variant_get_int64(parameter)};
  if (g_variant_is_of_type(parameter, G_VARIANT_TYPE_DOUBLE)) return g_variant_get_double(parameter);
  if (g_variant_is_of_type(parameter, G_VARIANT_TYPE_STRING)) {
    return std::string(g_variant_get_string(parameter, nullptr));
  }
  return {};
}

void MenuGtkBar::registerActions() {
  if (actionsRegistered_) return;
  actionsRegistered_ = true;
  for (MenuCommand command : MenuCommands::all()) {
    const std::string name(MenuCommands::actionName(command));
    GSimpleAction* action = g_simple_action_new(name.c_str(), parameterTypeOf(command));
    g_signal_connect_data(action, "activate", G_CALLBACK(onActionActivated), new ActionContext{&dispatch_, command},
                          freeContext, GConnectFlags(0));
    g_action_map_add_action(G_ACTION_MAP(application_), G_ACTION(action));
    g_object_unref(action);
  }
}

void MenuGtkBar::addAccelerators(const std::vector<MenuItem>& items) {
  for (const auto& item : items) {
    if (item.kind == MenuItem::Kind::submenu) addAccelerators(item.children);
    if (item.kind != MenuItem::Kind::command || item.command == MenuCommand::none) continue;
    const std::string accelerator = menuAccelerator(item.shortcut);
    if (accelerator.empty()) continue;
    const char* accels[] = {accelerator.c_str(), nullptr};
    gtk_application_set_accels_for_action(application_, detailedName(item).c_str(), accels);
  }
}

void MenuGtkBar::install(const std::vector<MenuItem>& menus) {
  registerActions();
  addAccelerators(menus);
  GMenu* model = buildMenu(menus);
  gtk_application_set_menubar(application_, G_MENU_MODEL(model));
  if (model_) g_object_unref(model_);
  model_ = model;
  refreshEnabled();
}

void MenuGtkBar::refreshEnabled() {
  for (MenuCommand command : MenuCommands::all()) {
    const std::string name(MenuCommands::actionName(command));
    GAction* action = g_action_map_lookup_action(G_ACTION_MAP(application_), name.c_str());
    if (action) g_simple_action_set_enabled(G_SIMPLE_ACTION(action), dispatch_.isEnabled(command));
  }
}

}  // namespace tovarin
