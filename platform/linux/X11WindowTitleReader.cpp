#include "platform/linux/X11WindowTitleReader.h"

#include <xcb/xcb.h>

#include "base/Text.h"

namespace tovarin {
namespace {

constexpr std::uint32_t maxTitleBytes = 16 * 1024;

std::string latin1ToUtf8(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace

X11WindowTitleReader::X11WindowTitleReader(std::string displayName) : displayName_(std::move(displayName)) {}

std::optional<std::string> X11WindowTitleReader::title(std::uint32_t window) {
  if (window == 0) return std::nullopt;
  if (!x_ || !x_->ok()) x_ = std::make_unique<XcbConnection>(displayName_);
  if (!x_->ok()) return std::nullopt;
  const std::uint32_t utf8 = x_->atom("UTF8_STRING");
  if (auto name = x_->property(window, x_->atom("_NET_WM_NAME"), maxTitleBytes); name && name->type == utf8) {
    if (text::isValidUtf8(name->bytes)) return name->bytes;
  }
  auto name = x_->property(window, XCB_ATOM_WM_NAME, maxTitleBytes);
  if (!name) return std::nullopt;
  if (name->type == XCB_ATOM_STRING) return latin1ToUtf8(name->bytes);
  if (name->type == utf8 && text::isValidUtf8(name->bytes)) return name->bytes;
  // COMPOUND_TEXT without escape sequences is Latin-1; with them it switches character
  // sets, which is not read here.
  if (name->type == x_->atom("COMPOUND_TEXT") && name->bytes.find('\x1b') == std::string::npos) {
    return latin1ToUtf8(name->bytes);
  }
  return std::nullopt;
}

}  // namespace tovarin
