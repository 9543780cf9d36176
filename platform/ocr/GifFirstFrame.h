#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tovarin {

// What a GIF costs to decode, read from its blocks without decoding a pixel: the
// logical screen and the first frame's size. Only the first frame is recognised, as a
// photo viewer shows it; the frames after it may be many, huge or damaged, and are
// never decoded.
class GifFirstFrame final {
 public:
  // By the signature, "GIF87a" or "GIF89a".
  [[nodiscard]] static bool isGif(std::span<const uint8_t> bytes);
  // Empty when the blocks up to the first frame's descriptor are malformed or missing.
  [[nodiscard]] static std::optional<GifFirstFrame> read(std::span<const uint8_t> bytes);

  uint16_t screenWidth = 0;
  uint16_t screenHeight = 0;
  uint16_t width = 0;
  uint16_t height = 0;

  // The file up to the end of the first frame, closed by a trailer: a GIF of that frame
  // alone. Empty when the frame's data is cut short.
  [[nodiscard]] std::vector<uint8_t> alone(std::span<const uint8_t> bytes) const;

 private:
  size_t end_ = 0;  // just past the first frame's data; 0 when it runs past the bytes
};

}  // namespace tovarin
