#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "main/activity_ui/ActivityUiDesktop.h"

namespace tovarin {

// The controller's windows as the test sees them: shows counted, the closing and the
// app choice left for the test to finish. Main thread.
class FakeActivityUiDesktop final : public ActivityUiDesktop {
 public:
  void chooseApplications(std::function<void(std::optional<std::vector<ChosenApp>>)> completion) override {
    pendingChoice = std::move(completion);
  }
  void showSettingsWindow(std::function<void()> onClosed) override {
    ++windowShows;
    onWindowClosed = std::move(onClosed);
  }

  int windowShows = 0;
  std::function<void(std::optional<std::vector<ChosenApp>>)> pendingChoice;
  std::function<void()> onWindowClosed;
};

}  // namespace tovarin
