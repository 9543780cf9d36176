#pragma once

#include <string_view>

#include "tokens/TovarinColorToken.h"

namespace tovarin::HexColor {

// A calendar's display colour from its text: one leading "#" dropped, then read as a
// hexadecimal number the lenient way (leading white space skipped, an optional "0x",
// stopping at the first non-hex character, 0 when nothing reads, saturating on
// overflow); red, green and blue are its bits 16-23, 8-15 and 0-7. Always opaque.
[[nodiscard]] TovarinColorToken::Channels channels(std::string_view text);

}  // namespace tovarin::HexColor
