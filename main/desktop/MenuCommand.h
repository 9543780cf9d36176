#pragma once

#include <array>
#include <optional>
#include <utility>
#include <string_view>
#include <vector>

namespace tovarin {

// Everything a menu item of the application can do. The first group is carried out by
// the application delegate; the second group are the desktop's own window and editing
// commands, which the platform layer carries out on the focused window.
enum class MenuCommand {
  none,  // an item that only holds a submenu, or only shows text
  showMain,
  reloadApp,
  openConversation,
  importMaterials,
  openTasks,
  openMatters,
  openCalendar,
  newEvent,
  quickAdd,
  goToday,
  focusSearch,
  openPalette,
  openSettings,
  openAiSettings,
  openKelmCenter,
  switchView,
  toggleSticky,
  setStickyLevel,
  raiseSticky,
  lowerSticky,
  setStickySpaceScope,
  setStickyOpacity,
  showAbout,
  activityTogglePause,
  activityClear,  // the range's raw value as text
  activitySettings,
  // The desktop's own commands.
  hideApplication,
  hideOtherApplications,
  unhideAllApplications,
  quit,
  closeWindow,
  undo,
  redo,
  cut,
  copy,
  paste,
  deleteSelection,
  selectAll,
  minimize,
  zoom,
  arrangeInFront,
};

// What kind of value a command reads from its item.
enum class MenuArgumentKind { none, integer, number, text };

namespace MenuCommands {

// The stable action name ("toggle-sticky"): the platform registers each command under
// it, so a desktop can also trigger the command from outside the program.
[[nodiscard]] std::string_view actionName(MenuCommand command);
[[nodiscard]] std::optional<MenuCommand> fromActionName(std::string_view name);
// True for the desktop's own commands, which the delegate does not carry out.
[[nodiscard]] bool isDesktopCommand(MenuCommand command);
[[nodiscard]] MenuArgumentKind argumentKind(MenuCommand command);

// Every command except none, in declaration order.
[[nodiscard]] const std::vector<MenuCommand>& all();

// The platform layer shares this vocabulary, so it lives in the header alone.
inline constexpr std::array<std::pair<MenuCommand, std::string_view>, 41> kActionNames = {{
    {MenuCommand::showMain, "show-main"},
    {MenuCommand::reloadApp, "reload-app"},
    {MenuCommand::openConversation, "open-conversation"},
    {MenuCommand::importMaterials, "import-materials"},
    {MenuCommand::openTasks, "open-tasks"},
    {MenuCommand::openMatters, "open-matters"},
    {MenuCommand::openCalendar, "open-calendar"},
    {MenuCommand::newEvent, "new-event"},
    {MenuCommand::quickAdd, "quick-add"},
    {MenuCommand::goToday, "go-today"},
    {MenuCommand::focusSearch, "focus-search"},
    {MenuCommand::openPalette, "open-palette"},
    {MenuCommand::openSettings, "open-settings"},
    {MenuCommand::openAiSettings, "open-ai-settings"},
    {MenuCommand::openKelmCenter, "open-kelm-center"},
    {MenuCommand::switchView, "switch-view"},
    {MenuCommand::toggleSticky, "toggle-sticky"},
    {MenuCommand::setStickyLevel, "set-sticky-level"},
    {MenuCommand::raiseSticky, "raise-sticky"},
    {MenuCommand::lowerSticky, "lower-sticky"},
    {MenuCommand::setStickySpaceScope, "set-sticky-space-scope"},
    {MenuCommand::setStickyOpacity, "set-sticky-opacity"},
    {MenuCommand::showAbout, "show-about"},
    {MenuCommand::activityTogglePause, "activity-toggle-pause"},
    {MenuCommand::activityClear, "activity-clear"},
    {MenuCommand::activitySettings, "activity-settings"},
    {MenuCommand::hideApplication, "hide"},
    {MenuCommand::hideOtherApplications, "hide-others"},
    {MenuCommand::unhideAllApplications, "unhide-all"},
    {MenuCommand::quit, "quit"},
    {MenuCommand::closeWindow, "close-window"},
    {MenuCommand::undo, "undo"},
    {MenuCommand::redo, "redo"},
    {MenuCommand::cut, "cut"},
    {MenuCommand::copy, "copy"},
    {MenuCommand::paste, "paste"},
    {MenuCommand::deleteSelection, "delete"},
    {MenuCommand::selectAll, "select-all"},
    {MenuCommand::minimize, "minimize"},
    {MenuCommand::zoom, "zoom"},
    {MenuCommand::arrangeInFront, "arrange-in-front"},
}};

inline std::string_view actionName(MenuCommand command) {
  for (const auto& [each, name] : kActionNames) {
    if (each == command) return name;
  }
  return {};
}

inline std::optional<MenuCommand> fromActionName(std::string_view name) {
  for (const auto& [each, text] : kActionNames) {
    if (text == name) return each;
  }
  return std::nullopt;
}

inline bool isDesktopCommand(MenuCommand command) {
  return command >= MenuCommand::hideApplication;
}

inline MenuArgumentKind argumentKind(MenuCommand command) {
  switch (command) {
    case MenuCommand::switchView:
    case MenuCommand::activityClear:
      return MenuArgumentKind::text;
    case MenuCommand::setStickyLevel:
    case MenuCommand::setStickySpaceScope:
      return MenuArgumentKind::integer;
    case MenuCommand::setStickyOpacity:
      return MenuArgumentKind::number;
    default:
      return MenuArgumentKind::none;
  }
}

inline const std::vector<MenuCommand>& all() {
  static const std::vector<MenuCommand> commands = [] {
    std::vector<MenuCommand> list;
    for (const auto& entry : kActionNames) list.push_back(entry.first);
    return list;
  }();
  return commands;
}

}  // namespace MenuCommands
}  // namespace tovarin
