#pragma once

#include <optional>
#include <string>

namespace tovarin {

// An application the desktop has shown in front during this run, by its id and, where
// known, its name.
struct SeenApplication {
  std::string id;
  std::optional<std::string> name;

  bool operator==(const SeenApplication&) const = default;
};

}  // namespace tovarin
