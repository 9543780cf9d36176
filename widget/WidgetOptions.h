#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tokens/TovarinColorToken.h"
#include "widget/WidgetFamily.h"

namespace tovarin {

// The widget program's command line:
//   --family small|medium|large   the size (default medium)
//   --info PATH                   the Info.json that names the server's port
//   --scheme light|dark           the appearance (default: the desktop's)
//   --position X,Y                where the window stands (default: the window manager's choice)
//   --render PNG                  draw one picture to a file and exit, without a display
//   --preview                     with --render: the sample data, no network
//   --scale N                     with --render: pixels per logical pixel (1...4)
struct WidgetOptions {
  WidgetFamily family = WidgetFamily::medium;
  std::optional<std::string> infoPath;
  std::optional<TovarinColorToken::Scheme> scheme;
  std::optional<std::pair<int, int>> position;
  std::optional<std::string> renderPath;
  bool preview = false;
  double scale = 1;

  // nullopt with `error` set for anything it does not understand.
  [[nodiscard]] static std::optional<WidgetOptions> parse(const std::vector<std::string>& arguments,
                                                          std::string& error);
};

}  // namespace tovarin
