#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Base64 as pages send it: characters outside the alphabet (line breaks, blanks, a
// stray "data:" prefix's punctuation) are skipped, as if they were absent.
namespace tovarin::LenientBase64 {

// The bytes, or nothing when what is left is not whole base64 (a lone trailing
// character, padding in the middle).
[[nodiscard]] std::optional<std::vector<uint8_t>> decode(std::string_view text);

}  // namespace tovarin::LenientBase64
