#include "main/app/MenuCommand.h"

#include <array>
#include <utility>

namespace tovarin::MenuCommands {
namespace {

constexpr std::array<std::pair<MenuCommand, std::string_view>, 38> kNames = {{
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

}  // namespace

std::string_view actionName(MenuCommand command) {
  for (const auto& [each, name] : kNames) {
    if (each == command) return name;
  }
  return {};
}

std::optional<MenuCommand> fromActionName(std::string_view name) {
  for (const auto& [each, text] : kNames) {
    if (text == name) return each;
  }
  return std::nullopt;
}

bool isDesktopCommand(MenuCommand command) {
  return command >= MenuCommand::hideApplication;
}

MenuArgumentKind argumentKind(MenuCommand command) {
  switch (command) {
    case MenuCommand::switchView:
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

const std::vector<MenuCommand>& all() {
  static const std::vector<MenuCommand> commands = [] {
    std::vector<MenuCommand> list;
    for (const auto& entry : kNames) list.push_back(entry.first);
    return list;
  }();
  return commands;
}

}  // namespace tovarin::MenuCommands
