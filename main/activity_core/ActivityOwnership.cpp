#include "main/activity_core/ActivityOwnership.h"

namespace tovarin {

ActivityOwnership resolveOwnership(const std::optional<std::string>& bound, const std::optional<std::string>& current,
                                   bool currentKnown) {
  if (!bound) return ActivityOwnership::unbound;
  if (!currentKnown) return ActivityOwnership::unknown;
  if (!current) return ActivityOwnership::signedOut;
  if (*current == *bound) return ActivityOwnership::matched;
  return ActivityOwnership::otherAccount;
}

bool isOwnerHash(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace tovarin
