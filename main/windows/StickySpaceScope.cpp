#include "main/windows/StickySpaceScope.h"

namespace tovarin {

std::optional<StickySpaceScope> stickySpaceScopeFromRaw(int64_t raw) {
  for (StickySpaceScope scope : allStickySpaceScopes) {
    if (rawValue(scope) == raw) return scope;
  }
  return std::nullopt;
}

std::optional<StickySpaceScope> stickySpaceScopeFromName(std::string_view name) {
  for (StickySpaceScope scope : allStickySpaceScopes) {
    if (settingName(scope) == name) return scope;
  }
  return std::nullopt;
}

std::string_view title(StickySpaceScope scope) {
  return scope == StickySpaceScope::all ? "所有桌面" : "仅当前桌面";
}

std::string_view settingName(StickySpaceScope scope) {
  return scope == StickySpaceScope::all ? "all" : "current";
}

}  // namespace tovarin
