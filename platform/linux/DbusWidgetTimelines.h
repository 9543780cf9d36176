#pragma once

#include <string>

#include "main/changes/WidgetTimelines.h"
#include "platform/linux/DbusConnection.h"

namespace tovarin {

// Reloads the widget's timelines by broadcasting WidgetReloadSignal on the session
// bus. With no session bus it does nothing and says so in the log once. Called from
// one queue at a time (the change watcher's).
class DbusWidgetTimelines final : public WidgetTimelines {
 public:
  // Empty: the session bus. Tests pass the address of a bus of their own.
  explicit DbusWidgetTimelines(std::string busAddress = {});

  void reloadAllTimelines() override;

 private:
  DbusConnection bus_;
  bool loggedUnavailable_ = false;
};

}  // namespace tovarin
