#pragma once

// The application's links the widget opens: the whole widget, an event row, a task row.
namespace tovarin::WidgetRoute {

inline constexpr const char* app = "the-tovarin://open";
inline constexpr const char* agenda = "the-tovarin://agenda";
inline constexpr const char* tasks = "the-tovarin://tasks";

}  // namespace tovarin::WidgetRoute
