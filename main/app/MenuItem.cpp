#include "main/app/MenuItem.h"

#include <cctype>

namespace tovarin {
namespace {

// Key names of the accelerator syntax for the punctuation the menus use.
std::string keyName(char key) {
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

}  // namespace

std::string menuAccelerator(const MenuShortcut& shortcut) {
  if (shortcut.key.size() != 1) return {};
  const char key = shortcut.key[0];
  const bool upper = std::isupper(static_cast<unsigned char>(key)) != 0;
  std::string text = "<Control>";
  if (shortcut.shift || upper) text += "<Shift>";
  if (shortcut.alt) text += "<Alt>";
  return text + keyName(static_cast<char>(std::tolower(static_cast<unsigned char>(key))));
}

}  // namespace tovarin
