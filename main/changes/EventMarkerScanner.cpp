#include "main/changes/EventMarkerScanner.h"

namespace tovarin {

bool EventMarkerScanner::feed(std::string_view chunk) {
  constexpr size_t keep = marker.size() - 1;
  // Only the seam needs joining: the carried bytes plus the chunk's first few bytes.
  std::string seam = carry_;
  seam.append(chunk.substr(0, keep));
  const bool found = seam.find(marker) != std::string::npos || chunk.find(marker) != std::string_view::npos;

  if (chunk.size() >= keep) {
    carry_.assign(chunk.substr(chunk.size() - keep));
  } else {
    carry_.append(chunk);
    if (carry_.size() > keep) carry_.erase(0, carry_.size() - keep);
  }
  return found;
}

}  // namespace tovarin
