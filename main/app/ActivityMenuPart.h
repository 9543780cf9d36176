#pragma once

#include <memory>

#include "main/activity_ui/ActivityController.h"
#include "main/app/AppActivity.h"

namespace tovarin {

// The activity controller as the delegate sees it: its submenu as menu items, whose
// commands come back here. Main loop only.
class ActivityMenuPart final : public AppActivity {
 public:
  explicit ActivityMenuPart(std::shared_ptr<ActivityController> controller) : controller_(std::move(controller)) {}

  void bootstrap() override { controller_->bootstrap(); }
  void shutdown() override { controller_->shutdown(); }
  [[nodiscard]] MenuItem statusMenuItem() override;
  void perform(MenuCommand command, const MenuArgument& argument) override;
  void setOnChange(std::function<void()> onChange) override { controller_->setOnPublish(std::move(onChange)); }

  // The submenu's entries as menu items.
  [[nodiscard]] static MenuItem itemFor(const std::string& title, const std::vector<ActivitySubmenu::Entry>& entries);

 private:
  const std::shared_ptr<ActivityController> controller_;
};

}  // namespace tovarin
