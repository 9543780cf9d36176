#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main/page/AlertPanel.h"
#include "main/page/OpenPanel.h"
#include "main/page/SavePanel.h"

namespace tovarin {

class Window;

// Runs a prepared panel for a window and reports its result. Main thread only. Each
// completion is called exactly once, on the main thread; the window may be null
// (gone or never made), and then the panel stands on its own.
class PanelPresenter {
 public:
  virtual ~PanelPresenter() = default;
  virtual void runAlert(AlertPanel panel, std::shared_ptr<Window> window,
                        std::function<void(AlertResult)> completion) = 0;
  // The chosen paths, or none when the user cancelled.
  virtual void runOpenPanel(OpenPanel panel, std::shared_ptr<Window> window,
                            std::function<void(std::optional<std::vector<std::string>>)> completion) = 0;
  // The chosen path, or none when the user cancelled.
  virtual void runSavePanel(SavePanel panel, std::shared_ptr<Window> window,
                            std::function<void(std::optional<std::string>)> completion) = 0;
};

}  // namespace tovarin
