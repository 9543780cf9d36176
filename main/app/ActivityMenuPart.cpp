#include "main/app/ActivityMenuPart.h"

#include <string>
#include <variant>

namespace tovarin {

MenuItem ActivityMenuPart::itemFor(const std::string& title, const std::vector<ActivitySubmenu::Entry>& entries) {
  std::vector<MenuItem> children;
  for (const auto& entry : entries) {
    if (entry.separator) {
      children.push_back(MenuItem::separator());
      continue;
    }
    MenuItem item;
    switch (entry.action) {
      case ActivitySubmenu::Action::none: item = MenuItem::action(entry.title, MenuCommand::none); break;
      case ActivitySubmenu::Action::togglePause:
        item = MenuItem::action(entry.title, MenuCommand::activityTogglePause);
        break;
      case ActivitySubmenu::Action::clear:
        item = MenuItem::action(entry.title, MenuCommand::activityClear, {},
                                std::string(entry.range ? rawValue(*entry.range) : ""));
        break;
      case ActivitySubmenu::Action::openSettings:
        item = MenuItem::action(entry.title, MenuCommand::activitySettings);
        break;
    }
    item.enabled = entry.enabled;
    children.push_back(std::move(item));
  }
  return MenuItem::submenu(title, std::move(children));
}

MenuItem ActivityMenuPart::statusMenuItem() { return itemFor(controller_->menuTitle(), controller_->submenu()); }

void ActivityMenuPart::perform(MenuCommand command, const MenuArgument& argument) {
  switch (command) {
    case MenuCommand::activityTogglePause:
      controller_->performSubmenu(ActivitySubmenu::Action::togglePause, std::nullopt);
      break;
    case MenuCommand::activityClear: {
      // Anything but a known range's name does nothing.
      const auto* raw = std::get_if<std::string>(&argument);
      const auto range = raw ? clearRangeFromRaw(*raw) : std::nullopt;
      if (range) controller_->performSubmenu(ActivitySubmenu::Action::clear, range);
      break;
    }
    case MenuCommand::activitySettings:
      controller_->performSubmenu(ActivitySubmenu::Action::openSettings, std::nullopt);
      break;
    default: break;
  }
}

}  // namespace tovarin
