#include "widget/WidgetList.h"

#include <algorithm>
#include <cmath>

#include "widget/WidgetText.h"

namespace tovarin {

namespace {

constexpr const char* kWeekdays[] = {"周日", "周一", "周二", "周三", "周四", "周五", "周六"};

// 0 for Sunday, from the civil date (days since 1970-01-01, a Thursday).
int weekdayIndex(const CivilFields& fields) {
  int year = fields.year - (fields.month <= 2 ? 1 : 0);
  long era = (year >= 0 ? year : year - 399) / 400;
  long yearOfEra = year - era * 400;
  long dayOfYear = (153 * (fields.month + (fields.month > 2 ? -3 : 9)) + 2) / 5 + fields.day - 1;
  long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  long days = era * 146097 + dayOfEra - 719468;
  return static_cast<int>(((days % 7) + 7 + 4) % 7);
}

}  // namespace

WidgetList::WidgetList(const CalendarEntry& entry, WidgetFamily family, const Calendar& device)
    : entry_(entry), family_(family), zone_(entry.timeZone(device)), today_(CalendarFeed::dayKey(entry.date, zone_)) {}

// A timed occurrence is over once its end has come: the timeline's entry at that very
// end is there to take it off the list.
bool WidgetList::staysUpcoming(const Occurrence& occurrence) const {
  if (occurrence.allDay) return WidgetText::prefix(occurrence.endLocal, 10) >= today_;
  auto end = occurrence.endDate(zone_);
  return !end || *end > entry_.date;
}

std::vector<Occurrence> WidgetList::upcoming() const {
  std::vector<std::pair<double, Occurrence>> staying;
  for (const Occurrence& occurrence : entry_.occurrences) {
    if (staysUpcoming(occurrence)) staying.emplace_back(occurrence.startDate(zone_).value_or(entry_.date), occurrence);
  }
  std::stable_sort(staying.begin(), staying.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Occurrence> result;
  for (auto& [start, occurrence] : staying) result.push_back(std::move(occurrence));
  return result;
}

std::vector<WidgetTask> WidgetList::visibleTasks() const {
  std::vector<WidgetTask> visible;
  for (const WidgetTask& task : entry_.tasks) {
    if (task.isVisible(today_)) visible.push_back(task);
  }
  return visible;
}

int WidgetList::headerCount() const {
  auto events = upcoming();
  auto today = std::count_if(events.begin(), events.end(),
                             [&](const Occurrence& occurrence) { return occurrence.displayDayKey(today_) == today_; });
  return static_cast<int>(today) + static_cast<int>(visibleTasks().size());
}

int WidgetList::budget(double height) const {
  if (!std::isfinite(height) || height <= 0) return 1;
  double rows = std::floor((height + metrics().rowSpacing()) / metrics().rowPitch());
  return std::max(1, static_cast<int>(std::min(rows, 1e6)));
}

WidgetList::LaidEvents WidgetList::layEvents(const std::vector<Occurrence>& upcoming, int limit) const {
  LaidEvents laid;
  std::string lastDay = today_;
  for (const Occurrence& occurrence : upcoming) {
    std::string day = occurrence.displayDayKey(today_);
    int cost = day == lastDay ? 1 : 2;
    if (static_cast<int>(laid.rows.size()) + cost > limit) break;
    if (day != lastDay) {
      laid.rows.push_back(WidgetRow::label(day, dayLabel(day)));
      lastDay = day;
    }
    laid.rows.push_back(WidgetRow::event(occurrence));
    ++laid.events;
  }
  return laid;
}

std::vector<WidgetRow> WidgetList::rows(int budget) const {
  if (budget < 1) return {};
  auto events = upcoming();
  auto tasks = visibleTasks();
  std::vector<WidgetTask> followUps;
  std::vector<WidgetTask> due;
  for (const WidgetTask& task : tasks) (task.kind == WidgetTask::Kind::followUp ? followUps : due).push_back(task);

  int followUpCap = family_ == WidgetFamily::small ? 1 : 2;
  int followUpCount = static_cast<int>(followUps.size());
  int dueCount = static_cast<int>(due.size());
  int reserve = followUps.empty() ? 0 : std::min(std::min(followUpCount, followUpCap) + 1, budget - 1);

  LaidEvents laid = layEvents(events, budget - reserve);
  int remainder = budget - static_cast<int>(laid.rows.size());
  int followUpsShown = 0;
  if (followUpCount > 0 && remainder >= 2) {
    followUpsShown = std::min({remainder - 1, followUpCount, followUpCap});
    remainder -= followUpsShown + 1;
  }
  int dueShown = dueCount > 0 && remainder >= 2 ? std::min(remainder - 1, dueCount) : 0;
  if (reserve > 0 && followUpsShown == 0 && dueShown == 0) laid = layEvents(events, budget);

  std::vector<WidgetRow> list = std::move(laid.rows);
  if (followUpsShown > 0) {
    list.push_back(WidgetRow::section("等你交代"));
    for (int i = 0; i < followUpsShown; ++i) list.push_back(WidgetRow::taskRow(followUps[i], false));
  }
  if (dueShown > 0) {
    list.push_back(WidgetRow::section("待办"));
    for (int i = 0; i < dueShown; ++i) list.push_back(WidgetRow::taskRow(due[i], due[i].isOverdue(today_)));
  }
  int hidden = (static_cast<int>(events.size()) - laid.events) +
               (static_cast<int>(tasks.size()) - followUpsShown - dueShown);
  if (hidden > 0 && static_cast<int>(list.size()) < budget) list.push_back(WidgetRow::more(hidden));
  return list;
}

std::string WidgetList::dayLabel(const std::string& key) const {
  auto date = Occurrence::parse(key + "T00:00", zone_);
  if (!date) return key;
  if (key == today_) return "今天";
  if (key == CalendarFeed::dayKey(CalendarFeed::addingDaysOrSame(entry_.date, 1, zone_), zone_)) return "明天";
  auto fields = zone_.fields(*date);
  if (!fields) return key;
  return std::to_string(fields->month) + "月" + std::to_string(fields->day) + "日 " + kWeekdays[weekdayIndex(*fields)];
}

std::string WidgetList::emptyText() const {
  return entry_.occurrences.empty() ? "今日暂无安排" : "暂无后续安排";
}

std::string WidgetList::weekday(double date, const Calendar& zone) {
  auto fields = zone.fields(date);
  return fields ? kWeekdays[weekdayIndex(*fields)] : "";
}

std::string WidgetList::summary(double date, int count, const Calendar& zone) {
  auto fields = zone.fields(date);
  std::string month = fields ? std::to_string(fields->month) : "";
  return count < 1 ? month + "月 · 空闲" : month + "月 · " + std::to_string(count) + " 项";
}

}  // namespace tovarin
