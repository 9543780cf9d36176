#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tovarin {

// The sensitive kinds of app and site that the activity record never keeps.
enum class ExclusionCategory { messaging, health, finance, passwords };

inline constexpr std::array<ExclusionCategory, 4> allExclusionCategories{
    ExclusionCategory::messaging, ExclusionCategory::health, ExclusionCategory::finance,
    ExclusionCategory::passwords};

[[nodiscard]] std::string_view rawValue(ExclusionCategory category);
[[nodiscard]] std::optional<ExclusionCategory> exclusionCategoryFromRaw(std::string_view raw);

}  // namespace tovarin
