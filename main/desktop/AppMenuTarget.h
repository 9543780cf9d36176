#pragma once

#include "main/desktop/MenuItem.h"

namespace tovarin {

// Carries out the menus' commands and says which items are enabled. The platform's
// menus call it on the main loop, with the argument their item carries.
class AppMenuTarget {
 public:
  virtual ~AppMenuTarget() = default;
  virtual void perform(MenuCommand command, const MenuArgument& argument) = 0;
  [[nodiscard]] virtual bool isEnabled(MenuCommand command) const = 0;
};

}  // namespace tovarin
