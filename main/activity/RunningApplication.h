#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tovarin {

// The application that owns the focused window, as the desktop describes it.
// `bundleId` is the desktop-file id without ".desktop"; absent when nothing about the
// window or its process names an installed application.
struct RunningApplication {
  std::int32_t processId = 0;
  std::optional<std::string> bundleId;
  std::optional<std::string> localizedName;
  // The desktop's handle of the focused window (an X window id); 0 when unknown.
  std::uint64_t window = 0;

  bool operator==(const RunningApplication&) const = default;
};

}  // namespace tovarin
