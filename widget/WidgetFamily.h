#pragma once

#include <optional>
#include <string_view>

namespace tovarin {

// The three sizes of the widget, with the logical size this desktop gives each.
enum class WidgetFamily { small, medium, large };

struct WidgetSize {
  double width = 0;
  double height = 0;
};

[[nodiscard]] WidgetSize defaultSize(WidgetFamily family);
// "small", "medium" or "large".
[[nodiscard]] std::string_view familyName(WidgetFamily family);
[[nodiscard]] std::optional<WidgetFamily> familyNamed(std::string_view name);

}  // namespace tovarin
