#pragma once

#include <memory>

#include "main/desktop/AppMenuTarget.h"
#include "main/desktop/MenuItem.h"

struct _GtkApplication;

namespace tovarin {

// Carries out a menu command chosen in any of the program's menus: the delegate's
// commands go to the target (held weakly), the desktop's own window and editing
// commands are done here on the application's windows. Main thread only.
class MenuGtkDispatch final {
 public:
  explicit MenuGtkDispatch(_GtkApplication* application);

  void setTarget(std::weak_ptr<AppMenuTarget> target);
  void activate(MenuCommand command, const MenuArgument& argument);
  // Whether the item can be chosen now. A desktop command without an equivalent here
  // (hiding the other applications) is never enabled.
  [[nodiscard]] bool isEnabled(MenuCommand command) const;

 private:
  void performDesktopCommand(MenuCommand command);

  _GtkApplication* application_;
  std::weak_ptr<AppMenuTarget> target_;
};

}  // namespace tovarin
