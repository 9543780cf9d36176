#include "widget/CalendarProvider.h"

#include <set>

namespace tovarin::CalendarProvider {

std::vector<CalendarEntry> timeline(const CalendarEntry& entry, const Calendar& device) {
  Calendar zone = entry.timeZone(device);
  std::set<double> dates;
  for (const Occurrence& occurrence : entry.occurrences) {
    if (occurrence.allDay) continue;
    auto end = occurrence.endDate(zone);
    if (end && *end > entry.date) dates.insert(*end);
  }
  if (auto startOfDay = zone.startOfDay(entry.date)) {
    if (auto midnight = zone.addingDays(*startOfDay, 1)) {
      dates.insert(*midnight);
      if (auto next = zone.addingDays(*midnight, 1)) dates.insert(*next);
    }
  }
  std::vector<CalendarEntry> entries{entry};
  for (double date : dates) {
    if (entries.size() == maxEntries) break;
    entries.push_back(entry.at(date));
  }
  return entries;
}

double reloadDate(const CalendarEntry& entry) {
  return entry.date + (entry.offline() ? offlineRefresh : onlineRefresh);
}

CalendarTimeline timelineWithReload(const CalendarEntry& entry, const Calendar& device) {
  return {timeline(entry, device), reloadDate(entry)};
}

void load(HttpClient& http, TaskRunner& completionQueue, const FeedRequest& request,
          std::function<void(CalendarEntry)> completion) {
  double now = request.now;
  CalendarFeed::fetch(http, completionQueue, request, [now, completion = std::move(completion)](FeedResult result) {
    completion(CalendarEntry::fromFeed(std::move(result), now));
  });
}

void snapshot(bool isPreview, HttpClient& http, TaskRunner& completionQueue, const FeedRequest& request,
              std::function<void(CalendarEntry)> completion) {
  if (isPreview) {
    completion(CalendarEntry::placeholder(request.now, request.device));
    return;
  }
  load(http, completionQueue, request, std::move(completion));
}

}  // namespace tovarin::CalendarProvider
