#include "base/Base64.h"

#include <array>
#include <cstdint>

namespace tovarin::Base64 {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> makeTable() {
  std::array<int8_t, 256> table{};
  table.fill(-1);
  for (size_t i = 0; i < kAlphabet.size(); ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
  return table;
}
constexpr auto kTable = makeTable();

}  // namespace

std::optional<std::string> decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    size_t padding = 0;
    uint32_t group = 0;
    for (size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      int8_t value = kTable[static_cast<uint8_t>(c)];
      if (c == '=' && last && j >= 2) {
        ++padding;
        value = 0;
      } else if (value < 0 || padding > 0) {
        return std::nullopt;
      }
      group = group << 6 | static_cast<uint32_t>(value);
    }
    // The bits under the padding must be zero, or two texts would give one result.
    if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) return std::nullopt;
    out.push_back(static_cast<char>(group >> 16));
    if (padding < 2) out.push_back(static_cast<char>(group >> 8 & 0xFF));
    if (padding < 1) out.push_back(static_cast<char>(group & 0xFF));
  }
  return out;
}

std::string encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t count = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t j = 0; j < 3; ++j) {
      group = group << 8 | (j < count ? static_cast<uint8_t>(bytes[i + j]) : 0u);
    }
    for (size_t j = 0; j < 4; ++j) {
      out.push_back(j <= count ? kAlphabet[group >> (18 - 6 * j) & 0x3F] : '=');
    }
  }
  return out;
}

}  // namespace tovarin::Base64
