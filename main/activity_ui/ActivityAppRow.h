#pragma once

#include <optional>
#include <string>

#include "main/activity_core/ExclusionCategory.h"

namespace tovarin {

// One application in the settings window's list.
struct ActivityAppRow {
  std::string id;  // the desktop-file id, as capture reports it or the settings hold it
  std::string name;
  bool included = false;  // the settings list it, in any letter case
  std::optional<ExclusionCategory> exclusion;
  bool isBrowser = false;
  bool supportsDomain = false;  // the page's host can be read in this browser here
  bool operator==(const ActivityAppRow&) const = default;
};

}  // namespace tovarin
