#pragma once

#include <span>
#include <string>

namespace tovarin {

// Each byte as two lower-case hexadecimal digits, without separators.
[[nodiscard]] std::string lowerHex(std::span<const unsigned char> bytes);

}  // namespace tovarin
