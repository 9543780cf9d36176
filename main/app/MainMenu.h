#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "main/desktop/MenuItem.h"

namespace tovarin {

// The application's menubar, built once at launch. Pure; any thread.
namespace MainMenu {

// The View menu's calendar switches: menu title and the view name the page command
// "view." + name selects, in menu order.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 5> viewSwitches = {{
    {"月", "month"},
    {"周", "week"},
    {"日", "day"},
    {"日程", "agenda"},
    {"年", "year"},
}};

// The five menus in menubar order: the application menu (titled with the product name,
// since a desktop menubar shows no implicit application title), "文件", "编辑", "显示"
// and "窗口". Each is a submenu item.
[[nodiscard]] std::vector<MenuItem> build(const std::string& productName);

}  // namespace MainMenu
}  // namespace tovarin
