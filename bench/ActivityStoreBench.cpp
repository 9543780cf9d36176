// The encrypted activity store against plain SQLite doing the same work on the same
// schema without encryption: appending 10 000 intervals one batch at a time (the
// service appends what one capture sample closed, usually a single interval) and
// answering a query of one day and of one week. Both run side by side in one process.
//
//   build/default/bench/ActivityStoreBench [--dir DIRECTORY] [--count N] [--batch N] [--queries N]
//
// The directory defaults to /dev/shm (memory), so that the figures show the store's own
// cost rather than the disk's flushes, which both sides pay alike; pass --dir for a disk.
// Reports appends per second, the median query times and the ratios store / plain.

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "main/activity/ActivityStore.h"
#include "main/activity/MemoryKeyStore.h"
#include "main/activity_core/ActivityQuery.h"

namespace fs = std::filesystem;
using namespace tovarin;
using namespace tovarin::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kWeekStart = 1699833600;  // Monday 2023-11-13 00:00 UTC

struct Options {
  std::string directory = fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
  int count = 10000;
  int batch = 1;
  int queries = 15;
};

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--dir") options.directory = argv[i + 1];
    if (flag == "--count") options.count = std::max(1, std::atoi(argv[i + 1]));
    if (flag == "--batch") options.batch = std::max(1, std::atoi(argv[i + 1]));
    if (flag == "--queries") options.queries = std::max(1, std::atoi(argv[i + 1]));
  }
  return options;
}

// A week of work: one interval a minute, among a few apps and many titles.
std::vector<ActivityInterval> makeIntervals(int count) {
  static const char* apps[][2] = {{"org.gnome.TextEditor", "Text Editor"},
                                  {"org.mozilla.firefox", "Firefox"},
                                  {"org.gnome.Terminal", "Terminal"},
                                  {"org.libreoffice.Calc", "Calc"}};
  std::vector<ActivityInterval> intervals;
  for (int i = 0; i < count; ++i) {
    ActivityInterval made;
    made.id = "iv-" + std::to_string(i);
    made.bundleId = apps[i % 4][0];
    made.appName = apps[i % 4][1];
    made.title = "Quarterly report draft " + std::to_string(i % 97) + " - notes";
    if (i % 4 == 1) made.domain = "docs" + std::to_string(i % 13) + ".example.org";
    made.start = kWeekStart + i * 60.0;
    made.end = made.start + 55;
    intervals.push_back(std::move(made));
  }
  return intervals;
}

// ---- Plain SQLite: the same statements, JSON in the clear.

class PlainStore {
 public:
  explicit PlainStore(const std::string& path) {
    sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    for (const char* sql : {"PRAGMA secure_delete = ON", "PRAGMA journal_mode = DELETE",
                            "CREATE TABLE IF NOT EXISTS meta (k TEXT PRIMARY KEY, v BLOB NOT NULL)",
                            "CREATE TABLE IF NOT EXISTS intervals (id TEXT PRIMARY KEY, payload BLOB NOT NULL)",
                            "CREATE TABLE IF NOT EXISTS summaries (id TEXT PRIMARY KEY, payload BLOB NOT NULL)"}) {
      sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    }
  }
  ~PlainStore() { sqlite3_close_v2(db_); }

  bool append(const std::vector<ActivityInterval>& intervals) {
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    for (const auto& interval : intervals) {
      const std::string json = interval.toJson().dump();
      sqlite3_stmt* statement = nullptr;
      sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO intervals (id, payload) VALUES (?, ?)", -1, &statement, nullptr);
      sqlite3_bind_text(statement, 1, interval.id.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_blob(statement, 2, json.data(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
      const int stepped = sqlite3_step(statement);
      sqlite3_finalize(statement);
      if (stepped != SQLITE_DONE) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
      }
    }
    return sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  }

  std::optional<ActivityQueryResult> query(const ActivityQueryArgs& args, double now, const Calendar& calendar) {
    std::vector<ActivityInterval> intervals;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db_, "SELECT id, payload FROM intervals", -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const auto* blob = static_cast<const char*>(sqlite3_column_blob(statement, 1));
      auto json = parseJson(std::string_view(blob, static_cast<size_t>(sqlite3_column_bytes(statement, 1))));
      if (auto interval = json ? ActivityInterval::fromJson(*json) : std::nullopt) intervals.push_back(*interval);
    }
    sqlite3_finalize(statement);
    std::sort(intervals.begin(), intervals.end(), [](const auto& a, const auto& b) {
      return a.start != b.start ? a.start < b.start : a.id < b.id;
    });
    // Unkeyed item ids: the plain side pays for no HMAC.
    auto itemId = [](const std::string& key) { return "act_" + std::to_string(std::hash<std::string>{}(key)); };
    return ActivityQuery::run(args, intervals, now, calendar, itemId);
  }

 private:
  sqlite3* db_ = nullptr;
};

using Append = std::function<bool(const std::vector<ActivityInterval>&)>;
using Query = std::function<std::optional<ActivityQueryResult>(const ActivityQueryArgs&)>;

// Seconds each side spent appending, the two taking turns batch by batch.
std::pair<double, double> timeAppends(const std::vector<ActivityInterval>& intervals, int batch, const Append& first,
                                      const Append& second) {
  double firstSeconds = 0, secondSeconds = 0;
  for (size_t i = 0; i < intervals.size(); i += static_cast<size_t>(batch)) {
    const auto end = std::min(intervals.size(), i + static_cast<size_t>(batch));
    const std::vector<ActivityInterval> slice(intervals.begin() + static_cast<long>(i),
                                              intervals.begin() + static_cast<long>(end));
    for (auto [append, total] : {std::pair{&first, &firstSeconds}, std::pair{&second, &secondSeconds}}) {
      const auto start = Clock::now();
      if (!(*append)(slice)) {
        std::fprintf(stderr, "append failed\n");
        std::exit(1);
      }
      *total += secondsSince(start);
    }
  }
  return {firstSeconds, secondSeconds};
}

struct QueryTimes {
  std::vector<double> seconds;
  size_t items = 0;
};

void timeQuery(const Query& query, const ActivityQueryArgs& args, QueryTimes& times) {
  const auto begin = Clock::now();
  auto answer = query(args);
  times.seconds.push_back(secondsSince(begin));
  times.items = answer ? answer->items.size() : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  const fs::path root = fs::path(options.directory) / ("tovarin-activity-bench-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "plain");
  const auto intervals = makeIntervals(options.count);
  const Calendar calendar = *Calendar::gregorian("UTC");
  const double now = kWeekStart + 7 * 86400;

  PlainStore plain((root / "plain" / "plain.sqlite").string());
  ActivityStore store((root / "Activity").string(), std::make_shared<MemoryKeyStore>());
  if (!store.open(ActivityStore::OpenMode::createIfMissing, std::string(64, 'a')).ok()) {
    std::fprintf(stderr, "the store did not open\n");
    return 1;
  }
  const Append plainAppend = [&](const auto& batch) { return plain.append(batch); };
  const Append storeAppend = [&](const auto& batch) { return store.append(batch).ok(); };
  const Query plainQuery = [&](const ActivityQueryArgs& args) { return plain.query(args, now, calendar); };
  const Query storeQuery = [&](const ActivityQueryArgs& args) {
    auto answer = store.query(args, now, calendar);
    return answer.ok() ? answer.value : std::nullopt;
  };

  // The two sides take turns, so that neither gets the warmer caches.
  const auto [plainAppendSeconds, storeAppendSeconds] = timeAppends(intervals, options.batch, plainAppend, storeAppend);
  const ActivityQueryArgs day{"2023-11-15", "2023-11-15", std::nullopt, std::nullopt};
  const ActivityQueryArgs week{"2023-11-13", "2023-11-19", std::nullopt, std::nullopt};
  QueryTimes plainDay, storeDay, plainWeek, storeWeek;
  for (int i = 0; i < options.queries; ++i) {
    timeQuery(plainQuery, day, plainDay);
    timeQuery(storeQuery, day, storeDay);
    timeQuery(plainQuery, week, plainWeek);
    timeQuery(storeQuery, week, storeWeek);
  }
  fs::remove_all(root);

  const double n = static_cast<double>(intervals.size());
  std::printf("ActivityStoreBench: %d intervals in batches of %d, %d queries each, in %s\n", options.count,
              options.batch, options.queries, options.directory.c_str());
  std::printf("%-26s %14s %14s %8s\n", "", "store", "plain SQLite", "ratio");
  std::printf("%-26s %14.0f %14.0f %8.2f  (goal >= 0.70)\n", "appends per second", n / storeAppendSeconds,
              n / plainAppendSeconds, plainAppendSeconds / storeAppendSeconds);
  std::printf("%-26s %14.2f %14.2f %8.2f  (goal <= 1.50)\n", "query of a day (ms)", median(storeDay.seconds) * 1000,
              median(plainDay.seconds) * 1000, median(storeDay.seconds) / median(plainDay.seconds));
  std::printf("%-26s %14.2f %14.2f %8.2f  (goal <= 1.50)\n", "query of a week (ms)", median(storeWeek.seconds) * 1000,
              median(plainWeek.seconds) * 1000, median(storeWeek.seconds) / median(plainWeek.seconds));
  std::printf("items answered: day %zu / %zu, week %zu / %zu\n", storeDay.items, plainDay.items, storeWeek.items,
              plainWeek.items);
  return 0;
}
