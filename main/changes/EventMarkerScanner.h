#pragma once

#include <string>
#include <string_view>

namespace tovarin {

// Finds the "event:" marker of a Server-Sent-Events stream in raw body bytes as they
// arrive. The bytes are never decoded: a chunk may end inside a multi-byte character,
// and the marker itself may be split between two chunks; neither loses the change.
// A value with no thread of its own.
class EventMarkerScanner final {
 public:
  static constexpr std::string_view marker = "event:";

  // True when a marker ends inside this chunk (a chunk with several counts once).
  [[nodiscard]] bool feed(std::string_view chunk);
  // A new stream starts: bytes of the old one must not join the new one's.
  void reset() { carry_.clear(); }

 private:
  std::string carry_;  // the last marker.size() - 1 bytes seen, at most
};

}  // namespace tovarin
