#pragma once

#include <optional>
#include <string>

#include "platform/linux/DbusConnection.h"

namespace tovarin {

// The login session's facts from systemd-logind over the system bus. Each answer is a
// blocking call with a short timeout: use it off the main loop, from one thread at a
// time. Without logind (no bus, no session, another init) it answers nullopt.
class LogindSession final {
 public:
  static constexpr int callTimeoutMilliseconds = 1000;

  // Empty: the system bus. Tests pass the address of a bus of their own.
  explicit LogindSession(std::string busAddress = {});

  // The session's "LockedHint": whether its screen is locked.
  [[nodiscard]] std::optional<bool> lockedHint();

 private:
  DbusConnection bus_;
};

}  // namespace tovarin
