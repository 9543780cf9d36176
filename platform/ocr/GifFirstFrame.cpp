#include "platform/ocr/GifFirstFrame.h"

#include <string_view>

namespace tovarin {
namespace {

constexpr uint8_t extensionIntroducer = 0x21;
constexpr uint8_t imageSeparator = 0x2C;
constexpr uint8_t trailer = 0x3B;
constexpr size_t headerBytes = 6;  // signature and version

// Reads forward through the bytes; every step says whether the bytes went that far.
class Cursor {
 public:
  explicit Cursor(std::span<const uint8_t> bytes, size_t position) : bytes_(bytes), position_(position) {}

  bool skip(size_t count) {
    if (bytes_.size() - position_ < count) return false;
    position_ += count;
    return true;
  }
  bool byte(uint8_t& out) {
    if (position_ >= bytes_.size()) return false;
    out = bytes_[position_++];
    return true;
  }
  bool littleEndian16(uint16_t& out) {
    uint8_t low = 0, high = 0;
    if (!byte(low) || !byte(high)) return false;
    out = static_cast<uint16_t>(low | high << 8);
    return true;
  }
  // Data sub-blocks, each a length byte and that many bytes, up to the empty one.
  bool skipSubBlocks() {
    for (uint8_t length = 0;;) {
      if (!byte(length)) return false;
      if (length == 0) return true;
      if (!skip(length)) return false;
    }
  }
  size_t position() const { return position_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t position_;
};

// A colour table follows a descriptor whose flags have the top bit set; the low three
// bits give its size.
size_t colorTableBytes(uint8_t flags) { return (flags & 0x80) ? size_t{3} << ((flags & 0x07) + 1) : 0; }

}  // namespace

bool GifFirstFrame::isGif(std::span<const uint8_t> bytes) {
  if (bytes.size() < headerBytes) return false;
  const std::string_view header(reinterpret_cast<const char*>(bytes.data()), headerBytes);
  return header == "GIF87a" || header == "GIF89a";
}

std::optional<GifFirstFrame> GifFirstFrame::read(std::span<const uint8_t> bytes) {
  if (!isGif(bytes)) return std::nullopt;
  GifFirstFrame gif;
  Cursor cursor(bytes, headerBytes);
  uint8_t flags = 0;
  if (!cursor.littleEndian16(gif.screenWidth) || !cursor.littleEndian16(gif.screenHeight) || !cursor.byte(flags) ||
      !cursor.skip(2) || !cursor.skip(colorTableBytes(flags))) {
    return std::nullopt;
  }
  for (uint8_t introducer = 0; cursor.byte(introducer);) {
    if (introducer == extensionIntroducer) {
      if (!cursor.skip(1) || !cursor.skipSubBlocks()) return std::nullopt;
      continue;
    }
    // The trailer before any frame, or a byte that starts no block.
    if (introducer != imageSeparator) return std::nullopt;
    if (!cursor.skip(4) || !cursor.littleEndian16(gif.width) || !cursor.littleEndian16(gif.height) ||
        !cursor.byte(flags)) {
      return std::nullopt;
    }
    // A frame whose data is cut short still has its size; it is never decoded.
    if (cursor.skip(colorTableBytes(flags)) && cursor.skip(1) && cursor.skipSubBlocks()) gif.end_ = cursor.position();
    return gif;
  }
  return std::nullopt;
}

std::vector<uint8_t> GifFirstFrame::alone(std::span<const uint8_t> bytes) const {
  if (end_ == 0 || end_ > bytes.size()) return {};
  std::vector<uint8_t> out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(end_));
  out.push_back(trailer);
  return out;
}

}  // namespace tovarin
