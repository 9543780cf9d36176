#pragma once

#include <string_view>
#include <vector>

#include "main/activity_core/DisclosureRow.h"

// The fixed privacy disclosure of the activity record, shown in its settings.
namespace tovarin::ActivityDisclosure {

[[nodiscard]] const std::vector<DisclosureRow>& rows();

inline constexpr std::string_view leavesComputerLine =
    "记录加密存在这台电脑上。除了你在对话里允许读取的那几段，它们不会离开这台电脑。";

}  // namespace tovarin::ActivityDisclosure
