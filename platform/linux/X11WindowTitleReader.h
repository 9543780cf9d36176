#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/linux/XcbConnection.h"

namespace tovarin {

// Reads a window's title: _NET_WM_NAME (UTF-8), else WM_NAME (Latin-1, or UTF-8 where
// the owner says so). Opens its own X connection on first use and again after it
// broke. Used from one thread at a time (the activity read queue).
class X11WindowTitleReader final {
 public:
  explicit X11WindowTitleReader(std::string displayName);

  // Nothing when the window is gone, has no title, or its title is not text we can read.
  [[nodiscard]] std::optional<std::string> title(std::uint32_t window);

 private:
  const std::string displayName_;
  std::unique_ptr<XcbConnection> x_;
};

}  // namespace tovarin
