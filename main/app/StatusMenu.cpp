#include "main/app/StatusMenu.h"

#include <cmath>

namespace tovarin::StatusMenu {
namespace {

using C = MenuCommand;

std::vector<MenuItem> choiceItems(const std::vector<Choice>& choices, MenuCommand command) {
  std::vector<MenuItem> items;
  for (const auto& choice : choices) {
    MenuItem item = MenuItem::action(choice.title, command, {}, choice.tag);
    item.checked = choice.current;
    items.push_back(std::move(item));
  }
  return items;
}

MenuItem levelSubmenu(const State& state) {
  std::vector<MenuItem> items = choiceItems(state.levels, C::setStickyLevel);
  items.push_back(MenuItem::separator());
  MenuItem raise = MenuItem::action("上移一层", C::raiseSticky);
  raise.enabled = state.canRaise;
  MenuItem lower = MenuItem::action("下移一层", C::lowerSticky);
  lower.enabled = state.canLower;
  items.push_back(std::move(raise));
  items.push_back(std::move(lower));
  return MenuItem::submenu("浮窗层级", std::move(items));
}

MenuItem opacitySubmenu(double opacity) {
  std::vector<MenuItem> items;
  for (double step : opacitySteps) {
    MenuItem item = MenuItem::action(opacityTitle(step), C::setStickyOpacity, {}, step);
    item.checked = opacityMatches(step, opacity);
    items.push_back(std::move(item));
  }
  return MenuItem::submenu("浮窗不透明度", std::move(items));
}

}  // namespace

std::string opacityTitle(double step) {
  return std::to_string(static_cast<int64_t>(step * 100)) + "%";
}

bool opacityMatches(double step, double opacity) {
  return std::fabs(step - opacity) < 0.01;
}

std::vector<MenuItem> build(const State& state) {
  std::vector<MenuItem> items = {
      MenuItem::action("打开" + state.productName, C::showMain),
      MenuItem::action("打开对话", C::openConversation),
      MenuItem::action("打开 Hub", C::openTasks),
      MenuItem::action("整理材料…", C::importMaterials),
      MenuItem::action(state.stickyVisible ? "隐藏浮窗便利贴" : "显示浮窗便利贴", C::toggleSticky),
      MenuItem::separator(),
      levelSubmenu(state),
      MenuItem::submenu("浮窗显示范围", choiceItems(state.scopes, C::setStickySpaceScope)),
      opacitySubmenu(state.opacity),
      MenuItem::separator(),
  };
  if (state.activityItem) {
    items.push_back(*state.activityItem);
    items.push_back(MenuItem::separator());
  }
  items.push_back(MenuItem::action("快速添加 / 问 AI", C::quickAdd));
  items.push_back(MenuItem::action("配置 AI 助手…", C::openAiSettings));
  items.push_back(MenuItem::separator());
  items.push_back(MenuItem::action("退出", C::quit, MenuShortcut{"q"}));
  return items;
}

}  // namespace tovarin::StatusMenu
