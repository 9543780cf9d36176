#pragma once

#include <string>

#include "main/presence/PresenceProbe.h"
#include "platform/linux/LogindSession.h"
#include "platform/linux/XScreenSaverIdle.h"

namespace tovarin {

// Presence on a Linux desktop: idle time from the X screen saver extension, the screen
// lock from logind. Called from the presence queue only.
class LinuxPresenceProbe final : public PresenceProbe {
 public:
  LinuxPresenceProbe(std::string displayName = {}, std::string systemBusAddress = {});

  std::optional<double> idleSeconds() override { return idle_.idleSeconds(); }
  std::optional<bool> screenLocked() override { return session_.lockedHint(); }

 private:
  XScreenSaverIdle idle_;
  LogindSession session_;
};

}  // namespace tovarin
