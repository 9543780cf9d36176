#pragma once

#include <cctype>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "main/desktop/MenuCommand.h"

namespace tovarin {

// The key that triggers an item together with the primary modifier (Control here).
// An upper-case letter means Shift as well, as it is written in the menu tables.
struct MenuShortcut {
  std::string key;  // one character as written ("n", "N", ",", "1"); empty for none
  bool alt = false;
  bool shift = false;

  bool empty() const { return key.empty(); }
  bool operator==(const MenuShortcut&) const = default;
};

// The value an item hands to its command: the level or scope number, the opacity, the
// view name. Wrong kinds are possible (the command then falls back), so it is a variant.
using MenuArgument = std::variant<std::monostate, int64_t, double, std::string>;

// One entry of a menu. Pure value, built anew for every showing that can change.
struct MenuItem {
  enum class Kind { command, separator, submenu };

  Kind kind = Kind::command;
  std::string title;
  MenuCommand command = MenuCommand::none;
  MenuArgument argument;
  MenuShortcut shortcut;
  bool checked = false;
  bool enabled = true;
  std::vector<MenuItem> children;  // only for Kind::submenu

  static MenuItem action(std::string title, MenuCommand command, MenuShortcut shortcut = {},
                         MenuArgument argument = {}) {
    MenuItem item;
    item.title = std::move(title);
    item.command = command;
    item.shortcut = std::move(shortcut);
    item.argument = std::move(argument);
    return item;
  }
  static MenuItem separator() {
    MenuItem item;
    item.kind = Kind::separator;
    return item;
  }
  static MenuItem submenu(std::string title, std::vector<MenuItem> children) {
    MenuItem item;
    item.kind = Kind::submenu;
    item.title = std::move(title);
    item.children = std::move(children);
    return item;
  }

  bool operator==(const MenuItem&) const = default;
};

// The accelerator text of a shortcut for the desktop's accelerator parser:
// "<Control>n", "<Control><Shift>n", "<Control><Alt>1", "<Control>comma". Empty for none.
[[nodiscard]] std::string menuAccelerator(const MenuShortcut& shortcut);

namespace menu_detail {

// Key names of the accelerator syntax for the punctuation the menus use.
inline std::string keyName(char key) {
  switch (key) {
    case ',': return "comma";
    case '.': return "period";
    case '/': return "slash";
    case ';': return "semicolon";
    case '-': return "minus";
    case '=': return "equal";
    default: return std::string(1, key);
  }
}

}  // namespace menu_detail

inline std::string menuAccelerator(const MenuShortcut& shortcut) {
  if (shortcut.key.size() != 1) return {};
  const char key = shortcut.key[0];
  const bool upper = std::isupper(static_cast<unsigned char>(key)) != 0;
  std::string text = "<Control>";
  if (shortcut.shift || upper) text += "<Shift>";
  if (shortcut.alt) text += "<Alt>";
  return text + menu_detail::keyName(static_cast<char>(std::tolower(static_cast<unsigned char>(key))));
}

}  // namespace tovarin
