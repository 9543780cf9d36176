#include "tests/support/ActivitySampleRecord.h"

#include <algorithm>
#include <optional>
#include <random>
#include <string>

namespace tovarin {

std::vector<ActivityInterval> activitySampleRecord(double start, int days) {
  struct App {
    const char* bundleId;
    const char* name;
  };
  static const App apps[] = {
      {"org.gnome.TextEditor", "Text Editor"}, {"firefox", "Firefox"},         {"org.example.\xC3\x89" "diteur", "\xC3\x89" "diteur"},
      {"com.lanjian.app", "\xE5\xB2\x9A\xE7\xAC\xBA"}, {"org.example.Twin", "Twin"}, {"org.example.twin", "Twin"},
      {"org.example.Renamed", "Old Name"},     {"org.example.Renamed", "New Name"},
  };
  static const std::string titles[] = {
      "Notes 1", "Notes 12", "Caf\xC3\xA9", "Cafe\xCC\x81", "Quote \"q\" and back\\slash",
      "tab\tnew\nline\x01" "ctl", "emoji \xF0\x9F\x98\x80", "", std::string(400, 'x'), std::string(401, 'y'),
      "\xC3\x84RGER", "Stra\xC3\x9F" "e", std::string(200, 'z') + "\xF0\x9F\x98\x80",
  };
  static const std::optional<std::string> domains[] = {std::nullopt, std::string(), std::string("example.org"),
                                                       std::string("docs.\xE4\xBE\x8B\xE3\x81\x88.jp")};
  static const double lengths[] = {10, 29, 30, 31, 89, 90, 300, 1800, 4000, 29.75};

  std::mt19937 random(20260323);
  auto pick = [&random](std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(random); };
  std::vector<ActivityInterval> intervals;
  double cursor = start;
  for (int index = 0; cursor < start + days * 86400.0; ++index) {
    const App& app = apps[pick(std::size(apps))];
    ActivityInterval interval;
    interval.id = "iv-" + std::to_string(index);
    interval.bundleId = app.bundleId;
    interval.appName = app.name;
    interval.title = titles[pick(std::size(titles))];
    interval.domain = domains[pick(std::size(domains))];
    interval.start = cursor + (index % 3 == 0 ? 0.5 : 0);
    interval.end = interval.start + lengths[pick(std::size(lengths))];
    intervals.push_back(interval);
    // Sometimes the same row again right away, or two at the same moment.
    cursor = index % 7 == 0 ? interval.start : interval.end + static_cast<double>(pick(600));
  }
  std::sort(intervals.begin(), intervals.end(), [](const ActivityInterval& a, const ActivityInterval& b) {
    return a.start != b.start ? a.start < b.start : a.id < b.id;
  });
  return intervals;
}

std::vector<ActivityQueryArgs> activitySampleQueries() {
  using S = std::optional<std::string>;
  std::vector<ActivityQueryArgs> queries = {
      {"2026-03-23", "2026-03-31", S(), S()},
      {"2026-03-20", "2026-04-05", S(), S()},
      {"2026-03-01", "2026-03-22", S(), S()},
      {"2026-04-01", "2026-04-30", S(), S()},
      {"2026-03-31", "2026-03-23", S(), S()},
      {"2026-02-30", "2026-03-23", S(), S()},
      {"2026-03-23", "2026-03-31", S(""), S("")},
  };
  for (int day = 23; day <= 31; ++day) {
    const std::string date = "2026-03-" + std::to_string(day);
    queries.push_back({date, date, S(), S()});
  }
  for (const char* app : {"text", "FIREFOX", "\xC3\xA9" "diteur", "\xC3\x89" "DITEUR", "\xE5\xB2\x9A", "twin",
                          "org.example.TWIN", "org.example", "name", "e\xCC\x81" "diteur"}) {
    queries.push_back({"2026-03-23", "2026-03-31", S(app), S()});
  }
  for (const char* text : {"caf\xC3\xA9", "CAF\xC3\x89", "cafe\xCC\x81", "example", "\xE4\xBE\x8B\xE3\x81\x88",
                           "\xF0\x9F\x98\x80", "notes 1", "\"q\"", "\n", "\xC3\xA4rger", "stra\xC3\x9F" "e", "twin"}) {
    queries.push_back({"2026-03-23", "2026-03-31", S(), S(text)});
  }
  queries.push_back({"2026-03-25", "2026-03-27", S("twin"), S("notes")});
  return queries;
}

}  // namespace tovarin
