// A record survives its writer being killed at any moment: a child process appends
// intervals (and now and then refreshes the summaries) and reports every commit; it is
// killed with SIGKILL at a random moment; the record then opens, passes SQLite's
// integrity check, and holds every interval the child reported as committed.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>
#include <thread>

#include "tests/main/activity/ActivityStoreFixture.h"

namespace tovarin {
namespace {

constexpr int kKills = 200;
constexpr double kH = 1699999200;

// Runs in the forked child: appends forever, writing each committed id to `report`.
[[noreturn]] void appendUntilKilled(const std::string& directory, std::shared_ptr<ActivityKeyStore> keys,
                                    const Calendar& calendar, int round, int report) {
  ActivityStore store(directory, std::move(keys));
  auto opened = store.open(ActivityStore::OpenMode::existingOnly);
  if (!opened.ok() || opened.value != ActivityStoreState::ready) _exit(2);
  for (int batch = 0; batch < 1000000; ++batch) {
    std::vector<ActivityInterval> intervals;
    for (int i = 0; i <= batch % 3; ++i) {
      const double start = kH + round * 7200 + batch * 5 + i;
      intervals.push_back(interval("r" + std::to_string(round) + "-" + std::to_string(batch) + "-" + std::to_string(i),
                                   start, start + 1, "Window " + std::to_string(batch)));
    }
    if (!store.append(intervals).ok()) _exit(3);
    std::string line;
    for (const auto& written : intervals) line += written.id + "\n";
    if (::write(report, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(4);
    if (batch % 16 == 15 && !store.refreshSummaries(kH + round * 7200 + batch * 5, calendar).ok()) _exit(5);
  }
  _exit(0);
}

// Reads until the end, or only until a first whole line when `firstLineOnly`.
std::string readFrom(int fd, bool firstLineOnly) {
  std::string text;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<size_t>(got));
    if (firstLineOnly && text.find('\n') != std::string::npos) break;
  }
  return text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> found;
  size_t begin = 0;
  for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
    found.push_back(text.substr(begin, end - begin));
  }
  return found;
}

class ActivityStoreCrashTest : public ActivityStoreTestBase {};

TEST_F(ActivityStoreCrashTest, EveryCommittedIntervalSurvivesASigkill) {
  auto keys = std::make_shared<MemoryKeyStore>();  // the child works on its own copy of the key
  ActivityStore store(directory(), keys);
  ASSERT_EQ(store.open(ActivityStore::OpenMode::createIfMissing, kOwner).value, ActivityStoreState::ready);
  store.close();

  const Calendar calendar = *Calendar::gregorian("UTC");  // made once, before any fork
  std::mt19937 random(20261210);
  std::uniform_int_distribution<int> delayMicroseconds(0, 25000);
  std::set<std::string> committed;
  int killedMidway = 0;
  for (int round = 0; round < kKills; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipe[0]);
      appendUntilKilled(directory(), keys, calendar, round, pipe[1]);
    }
    ::close(pipe[1]);
    // The kill falls at a random moment of the writing, once it has begun.
    std::string report = readFrom(pipe[0], true);
    ASSERT_NE(report.find('\n'), std::string::npos) << "the child wrote nothing";
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child stopped on its own: " << status;
    report += readFrom(pipe[0], false);
    const auto reported = lines(report);
    ::close(pipe[0]);
    if (std::filesystem::exists(databasePath() + "-journal")) ++killedMidway;

    ASSERT_EQ(store.open(ActivityStore::OpenMode::existingOnly).value, ActivityStoreState::ready);
    {
      SideConnection side(databasePath());
      ASSERT_EQ(side.column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    }
    committed.insert(reported.begin(), reported.end());
    auto all = store.allIntervals();
    ASSERT_TRUE(all.ok());
    std::set<std::string> stored;
    for (const auto& read : all.value) stored.insert(read.id);
    for (const std::string& id : reported) ASSERT_TRUE(stored.count(id)) << id << " was committed but is gone";
    store.close();
  }
  // Every earlier round's intervals are still there at the end.
  ASSERT_EQ(store.open(ActivityStore::OpenMode::existingOnly).value, ActivityStoreState::ready);
  auto all = store.allIntervals();
  ASSERT_TRUE(all.ok());
  std::set<std::string> stored;
  for (const auto& read : all.value) stored.insert(read.id);
  for (const std::string& id : committed) ASSERT_TRUE(stored.count(id)) << id;
  std::printf("[ crash ] %d kills, %zu intervals committed, %d kills left a journal behind\n", kKills,
              committed.size(), killedMidway);
}

}  // namespace
}  // namespace tovarin
