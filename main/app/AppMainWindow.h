#pragma once

#include <functional>
#include <map>
#include <string>

#include "main/server/StartupNotice.h"

namespace tovarin {

// What the application delegate needs of the main window. Main loop only.
class AppMainWindow {
 public:
  virtual ~AppMainWindow() = default;
  // Checks the server, brings the window onto a screen and to the front, activates.
  virtual void show() = 0;
  // Launch only: makes the window key and orders it front directly, without the
  // health check that show() runs.
  virtual void orderFrontAtLaunch() = 0;
  virtual void load(bool force) = 0;
  // Runs `then` once, when the page load under way has finished or failed (at once
  // when none is under way).
  virtual void afterLoadSettles(std::function<void()> then) = 0;
  virtual void reload() = 0;
  virtual void showOffline(const StartupNotice& notice) = 0;
  // A named page command, retried while the page is not ready; no completion.
  virtual void runCommand(const std::string& name, int retries) = 0;
  virtual void navigate(const std::map<std::string, std::string>& target, int retries) = 0;
  virtual void openConversation() = 0;
  virtual void importMaterials() = 0;
};

}  // namespace tovarin
