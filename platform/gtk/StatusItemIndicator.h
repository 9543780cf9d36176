#pragma once

#include <string>
#include <vector>

#include "main/desktop/MenuItem.h"

struct _GtkWidget;

namespace tovarin {

class MenuGtkDispatch;

// The status item: a desktop indicator (StatusNotifierItem; a tray icon where the
// desktop only has a tray) with its menu, which is replaced whole on every change.
// Main thread only.
class StatusItemIndicator final {
 public:
  struct Icon {
    std::string directory;  // the icon's folder; empty for a themed icon name
    std::string name;       // the file name without ".png", or a themed icon name
  };

  StatusItemIndicator(std::string id, Icon icon, const std::string& description, MenuGtkDispatch& dispatch);
  ~StatusItemIndicator();
  StatusItemIndicator(const StatusItemIndicator&) = delete;
  StatusItemIndicator& operator=(const StatusItemIndicator&) = delete;

  void setMenu(const std::vector<MenuItem>& items);
  // The menu shown now (a GtkMenu).
  _GtkWidget* menu() const { return menu_; }
  const Icon& icon() const { return icon_; }

 private:
  const Icon icon_;
  MenuGtkDispatch& dispatch_;
  void* indicator_ = nullptr;  // AppIndicator, when the library is there
  _GtkWidget* menu_ = nullptr;
};

}  // namespace tovarin
