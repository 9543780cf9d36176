#pragma once

namespace tovarin::WidgetReloadSignal {

// The session-bus signal that tells TheTovarinWidgetExtension to reload all its
// timelines. Sent by the application, listened to by the widget; no arguments.
inline constexpr const char* objectPath = "/com/orvik/TheTovarin/Widget";
inline constexpr const char* interfaceName = "com.orvik.TheTovarin.Widget";
inline constexpr const char* member = "ReloadAllTimelines";

}  // namespace tovarin::WidgetReloadSignal
