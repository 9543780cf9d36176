#pragma once

#include <functional>

#include "main/desktop/MenuCommand.h"
#include "main/desktop/MenuItem.h"

namespace tovarin {

// What the application delegate needs of the activity record. Main loop only.
class AppActivity {
 public:
  virtual ~AppActivity() = default;
  // Before the server controller exists, so the server child gets the bridge.
  virtual void bootstrap() = 0;
  // First at termination; returns when the record is closed.
  virtual void shutdown() = 0;
  // The status menu's item with its submenu, titled for the moment.
  [[nodiscard]] virtual MenuItem statusMenuItem() = 0;
  virtual void perform(MenuCommand command, const MenuArgument& argument) = 0;
  // Called whenever the item's title or entries may have changed.
  virtual void setOnChange(std::function<void()> onChange) = 0;
};

}  // namespace tovarin
