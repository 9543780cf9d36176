#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tovarin {

// What the activity controller's own windows need from the desktop: a chooser of
// applications and the settings window. Main loop only.
class ActivityUiDesktop {
 public:
  // An application the user picked to be recorded.
  struct ChosenApp {
    std::optional<std::string> id;  // none for a file that names no application
    std::string displayName;
  };

  virtual ~ActivityUiDesktop() = default;
  // Lets the user pick applications; none when cancelled.
  virtual void chooseApplications(std::function<void(std::optional<std::vector<ChosenApp>>)> completion) = 0;
  // Creates the settings window on the first call, then brings it forward; closing it
  // calls onClosed.
  virtual void showSettingsWindow(std::function<void()> onClosed) = 0;
};

}  // namespace tovarin
