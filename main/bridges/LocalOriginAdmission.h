#pragma once

#include <string>

#include "base/LogThrottle.h"
#include "base/MainLoop.h"
#include "main/page/LocalServer.h"

namespace tovarin {

// Who may ask a bridge that acts in the user's name (text recognition, reminders):
// only frames of the local server's origin, so that an embedded foreign page cannot
// schedule notifications or feed pictures. A refusal is logged at most once a second
// per handler: a frame can post thousands. Main loop only.
class LocalOriginAdmission final {
 public:
  LocalOriginAdmission(MainLoop& loop, LocalServer server) : loop_(loop), server_(std::move(server)) {}

  [[nodiscard]] bool admits(const std::string& name, const MessageSource& source);

 private:
  MainLoop& loop_;
  const LocalServer server_;
  LogThrottle refusalLog_;
};

}  // namespace tovarin
