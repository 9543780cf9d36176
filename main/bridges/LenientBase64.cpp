#include "main/bridges/LenientBase64.h"

#include <array>

namespace tovarin::LenientBase64 {
namespace {

constexpr int notInAlphabet = -1;
constexpr int padding = -2;

constexpr std::array<int, 256> makeTable() {
  std::array<int, 256> table{};
  for (int& entry : table) entry = notInAlphabet;
  constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t i = 0; i < alphabet.size(); ++i) table[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
  table['='] = padding;
  return table;
}

constexpr std::array<int, 256> table = makeTable();

}  // namespace

std::optional<std::vector<uint8_t>> decode(std::string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3 + 3);
  uint32_t group = 0;
  int count = 0;
  int pads = 0;
  for (unsigned char c : text) {
    const int value = table[c];
    if (value == notInAlphabet) continue;
    if (value == padding) {
      ++pads;
      continue;
    }
    if (pads > 0) return std::nullopt;  // data after padding
    group = (group << 6) | static_cast<uint32_t>(value);
    if (++count == 4) {
      bytes.push_back(static_cast<uint8_t>(group >> 16));
      bytes.push_back(static_cast<uint8_t>(group >> 8));
      bytes.push_back(static_cast<uint8_t>(group));
      group = 0;
      count = 0;
    }
  }
  if (pads > 2 || (pads > 0 && count + pads != 4)) return std::nullopt;
  if (count == 1) return std::nullopt;
  if (count == 2) {
    bytes.push_back(static_cast<uint8_t>(group >> 4));
  } else if (count == 3) {
    bytes.push_back(static_cast<uint8_t>(group >> 10));
    bytes.push_back(static_cast<uint8_t>(group >> 2));
  }
  return bytes;
}

}  // namespace tovarin::LenientBase64
