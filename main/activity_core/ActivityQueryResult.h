#pragma once

#include <vector>

#include "main/activity_core/ActivityItem.h"

namespace tovarin {

struct ActivityQueryResult {
  std::vector<ActivityItem> items;
  bool truncated = false;  // more rows matched than a result may hold

  bool operator==(const ActivityQueryResult&) const = default;
};

}  // namespace tovarin
