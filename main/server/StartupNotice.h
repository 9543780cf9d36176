#pragma once

#include <string>
#include <string_view>

#include "main/server/ServerStartupFailure.h"

namespace tovarin {

// What the offline page tells the user about a failed or slow start. Pure value.
struct StartupNotice {
  // The sentence the offline page adds when the notice follows a retry that failed.
  static constexpr std::string_view retriedNote = "刚才又试了一次，仍然没有接上。";

  ServerStartupFailure cause = ServerStartupFailure::startingSlowly;
  std::string headline;     // the page's title line
  std::string summary;      // what happened and what to do
  std::string shortReason;  // a few words naming the cause (the compact page shows it)
  std::string detail;       // the diagnosis with its numbers and the trigger line
  bool retried = false;

  bool operator==(const StartupNotice&) const = default;
};

}  // namespace tovarin
