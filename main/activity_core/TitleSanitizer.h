#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The cleaning of a window title before it is recorded: invisible characters go,
// white space collapses, e-mail addresses and long numbers are masked, and the result
// is held to 200 characters and 400 UTF-16 units.
namespace tovarin::TitleSanitizer {

inline constexpr std::size_t maxLength = 200;  // extended grapheme clusters
inline constexpr std::size_t maxUTF16 = 400;

// An e-mail address: "[A-Za-z0-9._%+-]+\s*[@＠]\s*[A-Za-z0-9.-]+\.[A-Za-z]{2,}".
// The leading guard only lets a match start where a leftmost match can start anyway
// (where a run of address characters begins, or where the previous match ended), so
// it matches exactly the same text; without it every character of a long run is
// tried as a start and a long title takes quadratic time.
inline constexpr const char* emailPattern =
    "(?:(?<![A-Za-z0-9._%+-])|\\G)[A-Za-z0-9._%+-]+\\s*[@＠]\\s*[A-Za-z0-9.-]+\\.[A-Za-z]{2,}";
inline constexpr const char* groupedDigitsPattern =
    "\\d{3,4}(?:[ ./·‧-]\\d{3,4}){2,}|\\(\\d{3}\\)\\s*\\d{3}[ .-]?\\d{4}";
inline constexpr const char* longDigitsPattern = "(?:\\d\\p{Mn}*){6,}";

inline constexpr const char* emailMark = "[邮箱]";
inline constexpr const char* digitsMark = "[数字]";

[[nodiscard]] std::string clean(const std::optional<std::string>& title);

}  // namespace tovarin::TitleSanitizer
