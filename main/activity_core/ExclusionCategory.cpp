#include "main/activity_core/ExclusionCategory.h"

namespace tovarin {

std::string_view rawValue(ExclusionCategory category) {
  switch (category) {
    case ExclusionCategory::messaging: return "messaging";
    case ExclusionCategory::health: return "health";
    case ExclusionCategory::finance: return "finance";
    case ExclusionCategory::passwords: return "passwords";
  }
  return "";
}

std::optional<ExclusionCategory> exclusionCategoryFromRaw(std::string_view raw) {
  for (ExclusionCategory category : allExclusionCategories) {
    if (rawValue(category) == raw) return category;
  }
  return std::nullopt;
}

}  // namespace tovarin
