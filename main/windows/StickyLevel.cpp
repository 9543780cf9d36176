#include "main/windows/StickyLevel.h"

#include <algorithm>

namespace tovarin {

std::optional<StickyLevel> stickyLevelFromRaw(int64_t raw) {
  for (StickyLevel level : allStickyLevels) {
    if (rawValue(level) == raw) return level;
  }
  return std::nullopt;
}

std::optional<StickyLevel> stickyLevelFromName(std::string_view name) {
  for (StickyLevel level : allStickyLevels) {
    if (settingName(level) == name) return level;
  }
  return std::nullopt;
}

std::string_view title(StickyLevel level) {
  switch (level) {
    case StickyLevel::topmost: return "高优先级置顶";
    case StickyLevel::floating: return "置顶显示";
    case StickyLevel::main: return "略高于普通窗口";
    case StickyLevel::normal: return "普通窗口";
    case StickyLevel::desktop: return "贴在桌面";
  }
  return "置顶显示";
}

std::string_view settingName(StickyLevel level) {
  switch (level) {
    case StickyLevel::topmost: return "topmost";
    case StickyLevel::floating: return "floating";
    case StickyLevel::main: return "main";
    case StickyLevel::normal: return "normal";
    case StickyLevel::desktop: return "desktop";
  }
  return "floating";
}

namespace {
size_t indexOf(StickyLevel level) {
  return static_cast<size_t>(std::find(allStickyLevels.begin(), allStickyLevels.end(), level) -
                             allStickyLevels.begin());
}
}  // namespace

std::optional<StickyLevel> higher(StickyLevel level) {
  const size_t index = indexOf(level);
  if (index == 0 || index >= allStickyLevels.size()) return std::nullopt;
  return allStickyLevels[index - 1];
}

std::optional<StickyLevel> lower(StickyLevel level) {
  const size_t index = indexOf(level);
  if (index + 1 >= allStickyLevels.size()) return std::nullopt;
  return allStickyLevels[index + 1];
}

WindowStacking windowStacking(StickyLevel level) {
  switch (level) {
    case StickyLevel::topmost:
    case StickyLevel::floating:
    case StickyLevel::main: return WindowStacking::above;
    case StickyLevel::normal: return WindowStacking::normal;
    case StickyLevel::desktop: return WindowStacking::below;
  }
  return WindowStacking::above;
}

}  // namespace tovarin
