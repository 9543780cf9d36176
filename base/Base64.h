#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovarin {

// Standard Base64 (RFC 4648 alphabet, "=" padding to a multiple of four). Strict:
// white space, other characters, bad padding or stray bits decode to nothing.
namespace Base64 {
[[nodiscard]] std::optional<std::string> decode(std::string_view text);
[[nodiscard]] std::string encode(std::string_view bytes);
}  // namespace Base64

}  // namespace tovarin
