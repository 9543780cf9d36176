#include "widget/WidgetFamily.h"

namespace tovarin {

WidgetSize defaultSize(WidgetFamily family) {
  switch (family) {
    case WidgetFamily::small: return {170, 170};
    case WidgetFamily::medium: return {364, 170};
    case WidgetFamily::large: return {364, 382};
  }
  return {170, 170};
}

std::string_view familyName(WidgetFamily family) {
  switch (family) {
    case WidgetFamily::small: return "small";
    case WidgetFamily::medium: return "medium";
    case WidgetFamily::large: return "large";
  }
  return "small";
}

std::optional<WidgetFamily> familyNamed(std::string_view name) {
  for (auto family : {WidgetFamily::small, WidgetFamily::medium, WidgetFamily::large}) {
    if (familyName(family) == name) return family;
  }
  return std::nullopt;
}

}  // namespace tovarin
