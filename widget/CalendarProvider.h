#pragma once

#include <functional>
#include <vector>

#include "widget/CalendarEntry.h"

namespace tovarin {

// The entries to show and when to fetch again.
struct CalendarTimeline {
  std::vector<CalendarEntry> entries;  // the loaded entry first, then by date
  double reloadDate = 0;
};

// Turns one fetch into a timeline: the picture must change when a timed occurrence
// ends and at the next two midnights, and the data is fetched again after 30 minutes
// (10 after a failure). Keeps no state. Any thread.
namespace CalendarProvider {

inline constexpr double onlineRefresh = 1800;
inline constexpr double offlineRefresh = 600;
inline constexpr std::size_t maxEntries = 36;

[[nodiscard]] std::vector<CalendarEntry> timeline(const CalendarEntry& entry, const Calendar& device);
[[nodiscard]] double reloadDate(const CalendarEntry& entry);
[[nodiscard]] CalendarTimeline timelineWithReload(const CalendarEntry& entry, const Calendar& device);

// Fetches the feed for `request` (whose `now` becomes the entry's date) and completes
// with the entry, on `completionQueue` or at once when nothing could be sent.
void load(HttpClient& http, TaskRunner& completionQueue, const FeedRequest& request,
          std::function<void(CalendarEntry)> completion);

// A preview completes at once with the placeholder and touches no network.
void snapshot(bool isPreview, HttpClient& http, TaskRunner& completionQueue, const FeedRequest& request,
              std::function<void(CalendarEntry)> completion);

}  // namespace CalendarProvider
}  // namespace tovarin
