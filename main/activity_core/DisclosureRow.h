#pragma once

#include <string>

namespace tovarin {

// One line of the privacy disclosure: what kind of information, whether and how it is
// stored, and why (the note may be empty).
struct DisclosureRow {
  std::string item;
  std::string stored;
  std::string note;

  bool operator==(const DisclosureRow&) const = default;
};

}  // namespace tovarin
