#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tovarin {

// Cuts text for cloud speech into pieces of at most `max` Unicode scalars, at sentence
// ends first, then at clause breaks and spaces, and hard only when neither is near.
namespace VoiceSpeechSplit {

inline constexpr std::size_t defaultMax = 150;

// Pieces in text order, each non-empty and trimmed of white space and line breaks. A
// max of 0 is taken as 1.
[[nodiscard]] std::vector<std::string> split(std::string_view text, std::size_t max = defaultMax);

}  // namespace VoiceSpeechSplit
}  // namespace tovarin
