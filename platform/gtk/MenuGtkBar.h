#pragma once

#include <string>
#include <vector>

#include "main/desktop/MenuItem.h"

struct _GtkApplication;
struct _GMenu;
struct _GVariant;

namespace tovarin {

class MenuGtkDispatch;

// The application's menubar: every command becomes an application action named by
// MenuCommands::actionName ("app.toggle-sticky"; a desktop can trigger these from
// outside the program), each shortcut an accelerator of its action, and the menus a
// menu model that the application's windows show. Main thread only.
class MenuGtkBar final {
 public:
  MenuGtkBar(_GtkApplication* application, MenuGtkDispatch& dispatch);
  ~MenuGtkBar();
  MenuGtkBar(const MenuGtkBar&) = delete;
  MenuGtkBar& operator=(const MenuGtkBar&) = delete;

  // Registers the actions (once) and installs the menus as the application's menubar.
  void install(const std::vector<MenuItem>& menus);
  // Asks the dispatch again which actions are enabled.
  void refreshEnabled();

  _GMenu* model() const { return model_; }

  // The GVariant an item's argument becomes as its action's target; null for none.
  static _GVariant* targetOf(const MenuArgument& argument);
  static MenuArgument argumentOf(_GVariant* parameter);

 private:
  void registerActions();
  void addAccelerators(const std::vector<MenuItem>& items);

  _GtkApplication* application_;
  MenuGtkDispatch& dispatch_;
  _GMenu* model_ = nullptr;
  bool actionsRegistered_ = false;
};

}  // namespace tovarin
