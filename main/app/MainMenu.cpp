#include "main/app/MainMenu.h"

namespace tovarin::MainMenu {
namespace {

using C = MenuCommand;

MenuShortcut key(std::string k) { return MenuShortcut{std::move(k)}; }
MenuShortcut altKey(std::string k) { return MenuShortcut{std::move(k), true, false}; }
MenuShortcut shiftKey(std::string k) { return MenuShortcut{std::move(k), false, true}; }

std::vector<MenuItem> applicationMenu(const std::string& productName) {
  // The desktop has no services menu, so the item that would hold it and its
  // separator are left out.
  return {
      MenuItem::action("关于 " + productName, C::showAbout),
      MenuItem::separator(),
      MenuItem::action("设置…", C::openSettings, key(",")),
      MenuItem::action("配置 AI 助手…", C::openAiSettings),
      MenuItem::action("KELM 账户中心…", C::openKelmCenter),
      MenuItem::separator(),
      MenuItem::action("隐藏 " + productName, C::hideApplication, key("h")),
      MenuItem::action("隐藏其他", C::hideOtherApplications, altKey("h")),
      MenuItem::action("显示全部", C::unhideAllApplications),
      MenuItem::separator(),
      MenuItem::action("退出 " + productName, C::quit, key("q")),
  };
}

std::vector<MenuItem> fileMenu() {
  return {
      MenuItem::action("新建日程", C::newEvent, key("n")),
      MenuItem::action("快速添加 / 问 AI", C::quickAdd, key("N")),
      MenuItem::action("整理材料…", C::importMaterials, key("o")),
      MenuItem::separator(),
      MenuItem::action("关闭窗口", C::closeWindow, key("w")),
  };
}

std::vector<MenuItem> editMenu() {
  return {
      MenuItem::action("撤销", C::undo, key("z")),
      MenuItem::action("重做", C::redo, shiftKey("z")),
      MenuItem::separator(),
      MenuItem::action("剪切", C::cut, key("x")),
      MenuItem::action("拷贝", C::copy, key("c")),
      MenuItem::action("粘贴", C::paste, key("v")),
      MenuItem::action("删除", C::deleteSelection),
      MenuItem::action("全选", C::selectAll, key("a")),
  };
}

std::vector<MenuItem> viewMenu() {
  std::vector<MenuItem> items = {
      MenuItem::action("Hub", C::openTasks, key("1")),
      MenuItem::action("对话", C::openConversation, key("2")),
      MenuItem::action("事项", C::openMatters, key("3")),
      MenuItem::action("日历", C::openCalendar, key("4")),
      MenuItem::separator(),
  };
  int digit = 1;
  for (const auto& [title, view] : viewSwitches) {
    items.push_back(MenuItem::action(std::string(title), C::switchView, altKey(std::to_string(digit++)),
                                     std::string(view)));
  }
  items.push_back(MenuItem::separator());
  items.push_back(MenuItem::action("今天", C::goToday, key("t")));
  items.push_back(MenuItem::action("搜索", C::focusSearch, key("f")));
  items.push_back(MenuItem::action("命令面板", C::openPalette, key("k")));
  items.push_back(MenuItem::separator());
  items.push_back(MenuItem::action("重新连接本机服务", C::reloadApp, key("r")));
  return items;
}

std::vector<MenuItem> windowMenu() {
  return {
      MenuItem::action("最小化", C::minimize, key("m")),
      MenuItem::action("缩放", C::zoom),
      MenuItem::separator(),
      MenuItem::action("主窗口", C::showMain, key("0")),
      MenuItem::action("浮窗便利贴", C::toggleSticky, key("s")),
      MenuItem::separator(),
      MenuItem::action("前置全部窗口", C::arrangeInFront),
  };
}

}  // namespace

std::vector<MenuItem> build(const std::string& productName) {
  return {
      MenuItem::submenu(productName, applicationMenu(productName)),
      MenuItem::submenu("文件", fileMenu()),
      MenuItem::submenu("编辑", editMenu()),
      MenuItem::submenu("显示", viewMenu()),
      MenuItem::submenu("窗口", windowMenu()),
  };
}

}  // namespace tovarin::MainMenu
