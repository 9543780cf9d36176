#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovarin {

// Whether the record belongs to the signed-in account.
enum class ActivityOwnership { matched, otherAccount, signedOut, unknown, unbound };

[[nodiscard]] ActivityOwnership resolveOwnership(const std::optional<std::string>& bound,
                                                 const std::optional<std::string>& current, bool currentKnown);
// 64 lower-case hexadecimal ASCII characters, the form of an account hash.
[[nodiscard]] bool isOwnerHash(std::string_view text);

}  // namespace tovarin
