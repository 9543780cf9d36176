#pragma once

#include <optional>
#include <string>

namespace tovarin {

// One query of the local server: an inclusive range of local days in the form
// YYYY-MM-DD and two optional filters (empty counts as none).
struct ActivityQueryArgs {
  std::string from;
  std::string to;
  std::optional<std::string> app;
  std::optional<std::string> text;

  bool operator==(const ActivityQueryArgs&) const = default;
};

}  // namespace tovarin
