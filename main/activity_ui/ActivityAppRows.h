#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "main/activity/SeenApplication.h"
#include "main/activity_ui/ActivityAppRow.h"

namespace tovarin {

// Builds the settings window's application list from the running applications and
// the ticked ids. Pure; any thread.
namespace ActivityAppRows {

using Running = SeenApplication;

struct Sources {
  // The installed application's name for an id; none when nothing is installed under it.
  std::function<std::optional<std::string>(const std::string& id)> installedName;
  std::function<bool(const std::string& id)> supportsDomain;
};

// Running apps (this program left out), then ticked ids not running under their
// installed names (or the bare id); ticked rows first, each group by name as people
// sort file names, numbers by value.
[[nodiscard]] std::vector<ActivityAppRow> build(const std::vector<Running>& running,
                                                const std::vector<std::string>& included, const Sources& sources);

// -1, 0 or 1: the order of two names, locale-aware, digits compared as numbers.
[[nodiscard]] int compareNames(const std::string& left, const std::string& right);

}  // namespace ActivityAppRows
}  // namespace tovarin
