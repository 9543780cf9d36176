#pragma once

#include <optional>
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

}  // namespace MenuCommands
}  // namespace tovarin
