#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "main/desktop/MenuItem.h"

namespace tovarin {

// The status item's menu, rebuilt whole on every change. Pure; any thread.
namespace StatusMenu {

inline constexpr std::array<double, 4> opacitySteps = {1.0, 0.9, 0.75, 0.6};

// One choice of the level or scope submenus: its title, the number the item carries
// and whether it is the sticky window's current one.
struct Choice {
  std::string title;
  int64_t tag = 0;
  bool current = false;
};

// What the menu shows of the moment.
struct State {
  std::string productName;
  bool stickyVisible = false;
  std::vector<Choice> levels;  // highest first
  bool canRaise = false;
  bool canLower = false;
  std::vector<Choice> scopes;
  double opacity = 1.0;
  // The activity record's item with its own submenu; the menu keeps its place (and
  // the separator after it) only when there is one.
  std::optional<MenuItem> activityItem;
};

// "100%" for 1.0: the step times 100, truncated.
[[nodiscard]] std::string opacityTitle(double step);
// A step is checked when the opacity is within 0.01 of it.
[[nodiscard]] bool opacityMatches(double step, double opacity);

[[nodiscard]] std::vector<MenuItem> build(const State& state);

}  // namespace StatusMenu
}  // namespace tovarin
