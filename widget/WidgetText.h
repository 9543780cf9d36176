#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Character slices of the feed's day and time texts. Characters are grapheme clusters,
// so a text that is not the ASCII the server promises is still cut between characters.
namespace tovarin::WidgetText {

// The first `count` characters (the whole text when it is shorter).
[[nodiscard]] std::string prefix(std::string_view text, std::size_t count);
// The last `count` characters (the whole text when it is shorter).
[[nodiscard]] std::string suffix(std::string_view text, std::size_t count);

}  // namespace tovarin::WidgetText
