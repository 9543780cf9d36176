#include "widget/WidgetText.h"

#include <algorithm>

#include "base/Text.h"

namespace tovarin::WidgetText {

namespace {
bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}
}  // namespace

std::string prefix(std::string_view text, std::size_t count) {
  if (isAscii(text)) return std::string(text.substr(0, std::min(count, text.size())));
  return text::graphemePrefix(text, count);
}

std::string suffix(std::string_view text, std::size_t count) {
  if (isAscii(text)) return std::string(text.substr(text.size() - std::min(count, text.size())));
  std::size_t total = text::graphemeCount(text);
  if (total <= count) return text::graphemePrefix(text, total);
  std::size_t skipped = text::graphemePrefix(text, total - count).size();
  return text::graphemePrefix(text.substr(skipped), count);
}

}  // namespace tovarin::WidgetText
