#include "main/activity_core/ClearRange.h"

namespace tovarin {

std::string_view rawValue(ClearRange range) {
  switch (range) {
    case ClearRange::last10Minutes: return "last10Minutes";
    case ClearRange::lastHour: return "lastHour";
    case ClearRange::lastDay: return "lastDay";
    case ClearRange::all: return "all";
  }
  return "";
}

std::optional<ClearRange> clearRangeFromRaw(std::string_view raw) {
  for (ClearRange range : allClearRanges) {
    if (rawValue(range) == raw) return range;
  }
  return std::nullopt;
}

std::optional<double> seconds(ClearRange range) {
  switch (range) {
    case ClearRange::last10Minutes: return 600.0;
    case ClearRange::lastHour: return 3600.0;
    case ClearRange::lastDay: return 86400.0;
    case ClearRange::all: return std::nullopt;
  }
  return std::nullopt;
}

std::string_view label(ClearRange range) {
  switch (range) {
    case ClearRange::last10Minutes: return "最近 10 分钟";
    case ClearRange::lastHour: return "最近 1 小时";
    case ClearRange::lastDay: return "最近 1 天";
    case ClearRange::all: return "全部";
  }
  return "";
}

}  // namespace tovarin
