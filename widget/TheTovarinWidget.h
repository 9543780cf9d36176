#pragma once

#include <array>

#include "widget/WidgetFamily.h"

// The widget as the desktop lists it: its kind, its name and description, and the
// sizes it comes in.
namespace tovarin::TheTovarinWidget {

inline constexpr const char* kind = "TheTovarinWidget";
inline constexpr const char* displayName = "The Tovarin｜岚笺";
inline constexpr const char* description = "查看近期日程与待办。";
inline constexpr std::array<WidgetFamily, 3> supportedFamilies = {WidgetFamily::small, WidgetFamily::medium,
                                                                  WidgetFamily::large};

}  // namespace tovarin::TheTovarinWidget
