#pragma once

#include <memory>

#include "main/app/AppActivity.h"
#include "main/app/AppChangeWatcher.h"
#include "main/app/AppMainWindow.h"
#include "main/app/AppPresence.h"
#include "main/app/AppStickyWindow.h"
#include "main/server/ServerSupervisor.h"

namespace tovarin {

// Makes the long-lived parts of the application; the delegate calls each once, in
// its launch order, on the main loop. The program's maker builds the real controllers;
// tests hand in recording ones.
class AppParts {
 public:
  virtual ~AppParts() = default;
  // The activity record, made first at launch; none where the program has none.
  virtual std::shared_ptr<AppActivity> makeActivity() { return nullptr; }
  virtual std::shared_ptr<ServerSupervisor> makeServer() = 0;
  virtual std::shared_ptr<AppChangeWatcher> makeWatcher() = 0;
  virtual std::shared_ptr<AppPresence> makePresence(double intervalSeconds) = 0;
  virtual std::shared_ptr<AppMainWindow> makeMainWindow(std::shared_ptr<ServerSupervisor> server) = 0;
  virtual std::shared_ptr<AppStickyWindow> makeStickyWindow(std::shared_ptr<ServerSupervisor> server) = 0;
  // Points the voice engine's cloud route at the local server and reads the preference.
  virtual void configureVoice() {}
  // The program is ending: both windows stop listening and speaking.
  virtual void silenceVoice() {}
};

}  // namespace tovarin
