#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/SerialQueue.h"
#include "main/bridges/NotifyBridge.h"
#include "main/bridges/ReminderScheduler.h"
#include "main/bridges/ReminderTime.h"
#include "tests/support/FakeSystemNotifier.h"
#include "tests/support/FakeWallClockAlarm.h"
#include "tests/support/FakeWebView.h"
#include "tests/support/FileContents.h"
#include "tests/support/Gate.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

Calendar zone(const char* id) { return *Calendar::gregorian(id); }

// Seconds since 1970 of a UTC time.
double utc(int year, int month, int day, int hour, int minute) {
  return *zone("UTC").date(CivilFields{year, month, day, hour, minute, 0});
}

TEST(ReminderTimeTest, ReadsTheLocalMinuteInTheGivenZone) {
  struct Case {
    const char* zone;
    const char* text;
    std::optional<double> time;
  };
  const std::vector<Case> cases = {
      {"Asia/Shanghai", "2030-01-02T03:04", utc(2030, 1, 1, 19, 4)},
      {"America/New_York", "2030-01-02T03:04", utc(2030, 1, 2, 8, 4)},
      {"UTC", "2028-02-29T23:59", utc(2028, 2, 29, 23, 59)},
      // Berlin springs forward at 02:00 on 31 March 2030: 02:30 does not exist, and
      // the first valid moment after it is 03:00 summer time (01:00 UTC).
      {"Europe/Berlin", "2030-03-31T02:30", utc(2030, 3, 31, 1, 0)},
      {"Europe/Berlin", "2030-03-31T03:00", utc(2030, 3, 31, 1, 0)},
      {"Europe/Berlin", "2030-03-31T01:59", utc(2030, 3, 31, 0, 59)},
      // Berlin falls back at 03:00 on 27 October 2030: 02:30 happens twice, first at
      // 00:30 UTC (summer time).
      {"Europe/Berlin", "2030-10-27T02:30", utc(2030, 10, 27, 0, 30)},
      {"Europe/Berlin", "2030-10-27T03:00", utc(2030, 10, 27, 2, 0)},
      // Lord Howe moves by half an hour.
      {"Australia/Lord_Howe", "2030-10-06T02:15", utc(2030, 10, 5, 15, 30)},
      // Not the expected form, or no such date.
      {"UTC", "2030-01-02 03:04", std::nullopt},
      {"UTC", "2030-01-02", std::nullopt},
      {"UTC", "2030-01-02T03:04:05", std::nullopt},
      {"UTC", "2030-1-02T03:04", std::nullopt},
      {"UTC", "2030-01-02t03:04", std::nullopt},
      {"UTC", "2030-02-30T10:00", std::nullopt},
      {"UTC", "2029-02-29T10:00", std::nullopt},
      {"UTC", "2030-13-01T10:00", std::nullopt},
      {"UTC", "2030-01-01T24:00", std::nullopt},
      {"UTC", "2030-01-01T10:60", std::nullopt},
      {"UTC", "+030-01-01T10:00", std::nullopt},
      {"UTC", "２０３０-01-01T10:00", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReminderTime::parse(c.text, zone(c.zone)), c.time) << c.zone << " " << c.text;
  }
}

class ReminderFixture : public ::testing::Test {
 protected:
  std::string path() const { return dir_.path() + "/data/reminders.json"; }
  void writeFile(const std::string& text) const {
    std::filesystem::create_directories(dir_.path() + "/data");
    std::ofstream(path()) << text;
  }
  Json savedFile() const { return parseJson(readFile(path())).value_or(Json()); }
  std::unique_ptr<ReminderScheduler> makeScheduler() {
    auto scheduler = std::make_unique<ReminderScheduler>(path(), notifier_, clock_, loop_, loop_);
    scheduler->start();
    loop_.runUntilIdle();
    return scheduler;
  }

  ManualLoop loop_;
  TempDir dir_;
  FakeSystemNotifier notifier_;
  FakeWallClockAlarm clock_{utc(2030, 1, 1, 0, 0)};
  LogRecorder log_;
};

using ReminderSchedulerTest = ReminderFixture;

TEST_F(ReminderSchedulerTest, ShowsEachReminderAtItsTimeWithOneAlarm) {
  auto scheduler = makeScheduler();
  const double start = clock_.now();
  ASSERT_FALSE(scheduler->schedule({"b", "B", "", start + 120}));
  ASSERT_FALSE(scheduler->schedule({"a", "A", "body", start + 60}));
  EXPECT_EQ(clock_.armedAt(), start + 60);
  clock_.advance(59.9);
  EXPECT_TRUE(notifier_.shown().empty());
  clock_.advance(0.1);
  EXPECT_EQ(notifier_.shown(), (std::vector<FakeSystemNotifier::Shown>{{"a", "A", "body"}}));
  EXPECT_EQ(clock_.armedAt(), start + 120);
  clock_.advance(60);
  EXPECT_EQ(notifier_.shown().size(), 2u);
  EXPECT_FALSE(clock_.armedAt());
  EXPECT_TRUE(scheduler->pending().empty());
}

TEST_F(ReminderSchedulerTest, TheSameIdReplacesTheEarlierReminder) {
  auto scheduler = makeScheduler();
  const double start = clock_.now();
  ASSERT_FALSE(scheduler->schedule({"a", "first", "", start + 60}));
  ASSERT_FALSE(scheduler->schedule({"a", "second", "", start + 30}));
  EXPECT_EQ(scheduler->pending(), (std::vector<Reminder>{{"a", "second", "", start + 30}}));
  clock_.advance(100);
  EXPECT_EQ(notifier_.shown(), (std::vector<FakeSystemNotifier::Shown>{{"a", "second", ""}}));
}

TEST_F(ReminderSchedulerTest, PendingRemindersSurviveARestart) {
  const double start = clock_.now();
  {
    auto scheduler = makeScheduler();
    ASSERT_FALSE(scheduler->schedule({"later", "L", "", start + 3600}));
    ASSERT_FALSE(scheduler->schedule({"soon", "S", "", start + 60}));
    ASSERT_FALSE(scheduler->schedule({"gone", "G", "", start + 90}));
    scheduler->cancel({"gone"});
  }
  EXPECT_FALSE(clock_.armedAt());
  // The program was not running when "soon" came due: it is shown once at start.
  clock_.advance(600);
  auto scheduler = makeScheduler();
  EXPECT_EQ(notifier_.shown(), (std::vector<FakeSystemNotifier::Shown>{{"soon", "S", ""}}));
  EXPECT_EQ(clock_.armedAt(), start + 3600);
  scheduler.reset();
  scheduler = makeScheduler();
  EXPECT_EQ(notifier_.shown().size(), 1u);
  EXPECT_EQ(scheduler->pending(), (std::vector<Reminder>{{"later", "L", "", start + 3600}}));
}

TEST_F(ReminderSchedulerTest, SettingTheClockLooksAgain) {
  auto scheduler = makeScheduler();
  const double start = clock_.now();
  ASSERT_FALSE(scheduler->schedule({"a", "A", "", start + 3600}));
  clock_.setClock(start + 30);  // set, not yet due: armed again for the same time
  EXPECT_TRUE(notifier_.shown().empty());
  EXPECT_EQ(clock_.armedAt(), start + 3600);
  clock_.setClock(start + 7200);
  EXPECT_EQ(notifier_.shown().size(), 1u);
}

// Each launch that finds the file unreadable keeps it beside those kept before.
TEST_F(ReminderSchedulerTest, EachUnreadableFileIsKeptAsideBesideTheEarlierOnes) {
  const std::vector<std::string> broken = {"{\"reminders\": [ broken", "not json at all", "{\"reminders\": 3}"};
  for (const auto& text : broken) {
    writeFile(text);
    auto scheduler = makeScheduler();
    EXPECT_TRUE(scheduler->pending().empty()) << text;
    ASSERT_FALSE(scheduler->schedule({"a", "A", "", clock_.now() + 60}));
  }
  EXPECT_EQ(readFile(path() + ".unreadable"), broken[0]);
  EXPECT_EQ(readFile(path() + ".unreadable-2"), broken[1]);
  EXPECT_EQ(readFile(path() + ".unreadable-3"), broken[2]);
  EXPECT_EQ(makeScheduler()->pending().size(), 1u);
}

// Another program can leave links where the scheduler writes; it never writes through.
TEST_F(ReminderSchedulerTest, LinksPlantedBesideTheFileAreNotWrittenThrough) {
  const std::string victim = dir_.path() + "/victim";
  std::ofstream(victim) << "someone else's file";
  writeFile("{ broken");
  std::filesystem::create_symlink(victim, path() + ".tmp");
  std::filesystem::create_symlink(victim, path() + ".unreadable");
  auto scheduler = makeScheduler();
  ASSERT_FALSE(scheduler->schedule({"a", "A", "", clock_.now() + 60}));
  EXPECT_EQ(readFile(victim), "someone else's file");
  EXPECT_TRUE(std::filesystem::is_symlink(path() + ".tmp"));
  EXPECT_EQ(readFile(path() + ".unreadable-2"), "{ broken");
  EXPECT_EQ(makeScheduler()->pending().size(), 1u);
}

// Entries this version cannot read (a newer version's, or damaged ones) are not armed,
// but every save writes them back as they were, with the file's other keys.
TEST_F(ReminderSchedulerTest, EntriesThisVersionCannotReadAreWrittenBackAsTheyWere) {
  const double later = clock_.now() + 60;
  const Json unread = Json::array({Json{{"id", 3}}, Json("x"), Json{{"id", "nofire"}, {"title", "T"}, {"body", ""}},
                                   Json{{"id", "v2"}, {"fireAt", "2030-01-01T09:00"}, {"repeat", "daily"}},
                                   Json{{"id", "gone"}, {"when", 1}}});
  Json file{{"version", 2}, {"reminders", Json::array({Json{{"id", "ok"}, {"title", "T"}, {"body", ""}, {"fireAt", later}}})}};
  for (const Json& item : unread) file["reminders"].push_back(item);
  writeFile(file.dump());
  auto scheduler = makeScheduler();
  EXPECT_EQ(scheduler->pending(), (std::vector<Reminder>{{"ok", "T", "", later}}));

  ASSERT_FALSE(scheduler->schedule({"new", "N", "", later}));
  Json saved = savedFile();
  EXPECT_EQ(saved["version"], 2);
  for (const Json& item : unread) {
    EXPECT_NE(std::find(saved["reminders"].begin(), saved["reminders"].end(), item), saved["reminders"].end())
        << item.dump();
  }

  // The page's own ids still reach the entries of theirs that this version cannot read.
  ASSERT_FALSE(scheduler->schedule({"v2", "V", "", later}));
  scheduler->cancel({"gone"});
  saved = savedFile();
  EXPECT_EQ(saved["reminders"].size(), 6u);  // ok, new, v2 as scheduled now; 3, "x", nofire
  EXPECT_EQ(std::count(saved["reminders"].begin(), saved["reminders"].end(), unread[3]), 0);
  EXPECT_EQ(std::count(saved["reminders"].begin(), saved["reminders"].end(), unread[4]), 0);
}

TEST_F(ReminderSchedulerTest, AFileThatCannotBeWrittenRefusesTheReminder) {
  std::ofstream(dir_.path() + "/data") << "a file where the folder should be";
  auto scheduler = makeScheduler();
  const auto failure = scheduler->schedule({"a", "A", "", clock_.now() + 60});
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind, ReminderScheduler::Refusal::Kind::notSaved);
  EXPECT_FALSE(failure->reason.empty());
  EXPECT_TRUE(scheduler->pending().empty());
  EXPECT_FALSE(clock_.armedAt());
}

// A file of more reminders than anybody keeps: the soonest are armed, the rest move
// whole to a file of their own, and scheduling past the cap is refused.
TEST_F(ReminderSchedulerTest, RemindersPastTheCapAreKeptAsideAndNewOnesRefused) {
  const size_t extra = 7;
  const double start = clock_.now();
  Json list = Json::array();
  for (size_t i = 0; i < ReminderScheduler::maxPending + extra; ++i) {
    // Written latest first, so that the order of the file is not what decides.
    const double at = start + 60 + static_cast<double>(ReminderScheduler::maxPending + extra - i);
    list.push_back(Json{{"id", "r" + std::to_string(i)}, {"title", "T"}, {"body", ""}, {"fireAt", at}});
  }
  writeFile(Json{{"reminders", list}}.dump());
  auto scheduler = makeScheduler();

  const auto pending = scheduler->pending();
  ASSERT_EQ(pending.size(), ReminderScheduler::maxPending);
  EXPECT_EQ(clock_.armedAt(), start + 61);
  const auto aside = parseJson(readFile(path() + ".overflow"));
  ASSERT_TRUE(aside);
  std::vector<std::string> asideIds;
  for (const Json& item : (*aside)["reminders"]) asideIds.push_back(item["id"]);
  std::sort(asideIds.begin(), asideIds.end());
  EXPECT_EQ(asideIds, (std::vector<std::string>{"r0", "r1", "r2", "r3", "r4", "r5", "r6"}));
  EXPECT_EQ(savedFile()["reminders"].size(), ReminderScheduler::maxPending);

  const auto refusal = scheduler->schedule({"one more", "T", "", start + 60});
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->kind, ReminderScheduler::Refusal::Kind::full);
  EXPECT_FALSE(scheduler->schedule({pending.front().id, "replaced", "", start + 90}));
  scheduler->cancel({pending.back().id});
  EXPECT_FALSE(scheduler->schedule({"one more", "T", "", start + 60}));
  EXPECT_EQ(scheduler->pending().size(), ReminderScheduler::maxPending);
}

// The file is read on the background runner: the caller goes on at once, and what the
// page asks meanwhile is served once the file is in, keeping both.
TEST_F(ReminderSchedulerTest, TheFileIsReadWithoutHoldingTheCaller) {
  const double later = clock_.now() + 600;
  writeFile(Json{{"reminders", Json::array({Json{{"id", "kept"}, {"title", "K"}, {"body", ""}, {"fireAt", later}}})}}.dump());
  SerialQueue background("reminders-test");
  Gate reading;
  background.post([&] { reading.wait(); });
  ReminderScheduler scheduler(path(), notifier_, clock_, loop_, background);
  scheduler.start();
  EXPECT_FALSE(scheduler.loaded());
  int ran = 0;
  scheduler.whenLoaded([&] {
    ++ran;
    EXPECT_FALSE(scheduler.schedule({"new", "N", "", later}));
  });
  scheduler.cancel({"kept"});
  EXPECT_EQ(ran, 0);
  EXPECT_TRUE(scheduler.pending().empty());

  reading.open();
  ASSERT_TRUE(loop_.waitFor([&] { return scheduler.loaded(); }));
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(scheduler.pending(), (std::vector<Reminder>{{"new", "N", "", later}}));
  EXPECT_EQ(savedFile()["reminders"].size(), 1u);
}

class NotifyBridgeTest : public ReminderFixture {
 protected:
  void SetUp() override {
    scheduler_ = makeScheduler();
    bridge_ = std::make_shared<NotifyBridge>(
        NotifyBridge::Services{loop_, notifier_, *scheduler_, clock_, [] { return zone("Asia/Shanghai"); }},
        LocalServer(4173));
    bridge_->attach(page_);
  }
  std::optional<Json> nextPayload() {
    loop_.runUntilIdle();
    if (page_->pendingCalls().empty()) return std::nullopt;
    Json payload = page_->pendingCalls().front().arguments->at("payload");
    page_->answerNext(ScriptValue::ofBool(true));
    return payload;
  }

  std::shared_ptr<FakeWebView> page_ = std::make_shared<FakeWebView>(WebViewOptions{});
  std::unique_ptr<ReminderScheduler> scheduler_;
  std::shared_ptr<NotifyBridge> bridge_;
};

TEST_F(NotifyBridgeTest, SchedulesAtTheLocalMinute) {
  bridge_->handle(Json{{"id", "r1"}, {"title", "开会"}, {"body", "三楼"}, {"fireAt", "2030-01-02T03:04"}});
  EXPECT_EQ(nextPayload(), (Json{{"id", "r1"}, {"ok", true}}));
  EXPECT_EQ(scheduler_->pending(), (std::vector<Reminder>{{"r1", "开会", "三楼", utc(2030, 1, 1, 19, 4)}}));
  EXPECT_TRUE(notifier_.shown().empty());
}

// Asked before the kept reminders are read, the answer waits for them: here, that
// there is no room left.
TEST_F(NotifyBridgeTest, AFullListIsToldToThePageOnceTheFileIsRead) {
  Json list = Json::array();
  for (size_t i = 0; i < ReminderScheduler::maxPending; ++i) {
    list.push_back(Json{{"id", "r" + std::to_string(i)}, {"title", "T"}, {"body", ""}, {"fireAt", clock_.now() + 600}});
  }
  writeFile(Json{{"reminders", list}}.dump());
  scheduler_ = std::make_unique<ReminderScheduler>(path(), notifier_, clock_, loop_, loop_);
  bridge_ = std::make_shared<NotifyBridge>(
      NotifyBridge::Services{loop_, notifier_, *scheduler_, clock_, [] { return zone("Asia/Shanghai"); }},
      LocalServer(4173));
  bridge_->attach(page_);
  scheduler_->start();
  bridge_->handle(Json{{"id", "x"}, {"title", "t"}, {"fireAt", "2030-01-02T03:04"}});
  EXPECT_EQ(nextPayload(),
            (Json{{"id", "x"}, {"error", "待发的提醒已经有 5000 条，这条排不上了，提醒会留在应用内。"}}));
  EXPECT_EQ(scheduler_->pending().size(), ReminderScheduler::maxPending);
}

TEST_F(NotifyBridgeTest, RequestsAreValidatedInOrder) {
  const std::string title130 = std::string(130, 't');
  struct Case {
    std::string name;
    Json body;
    std::optional<Json> reply;
    std::optional<std::string> logLine;
  };
  const std::vector<Case> cases = {
      {"not an object", Json::array({"x"}), std::nullopt, "[orvik] notify: 收到形状不对的请求，忽略"},
      {"no id", Json{{"title", "t"}}, std::nullopt, "[orvik] notify: 请求缺少 id，忽略"},
      {"empty id", Json{{"id", ""}, {"title", "t"}}, std::nullopt, "[orvik] notify: 请求缺少 id，忽略"},
      {"id of 129", Json{{"id", std::string(129, 'i')}, {"title", "t"}}, std::nullopt, "[orvik] notify: 请求缺少 id，忽略"},
      {"numeric id", Json{{"id", 5}, {"title", "t"}}, std::nullopt, "[orvik] notify: 请求缺少 id，忽略"},
      {"blank content", Json{{"id", "x"}, {"title", " \n"}, {"body", "\u3000"}},
       Json{{"id", "x"}, {"error", "这条提醒没有内容。"}}, std::nullopt},
      {"space for T", Json{{"id", "x"}, {"title", "t"}, {"fireAt", "2030-01-02 03:04"}},
       Json{{"id", "x"}, {"error", "提醒时间看不懂（要 YYYY-MM-DDTHH:mm）。"}}, std::nullopt},
      {"date alone", Json{{"id", "x"}, {"title", "t"}, {"fireAt", "2030-01-02"}},
       Json{{"id", "x"}, {"error", "提醒时间看不懂（要 YYYY-MM-DDTHH:mm）。"}}, std::nullopt},
  };
  for (const auto& c : cases) {
    bridge_->handle(c.body);
    EXPECT_EQ(nextPayload(), c.reply) << c.name;
    if (c.logLine) {
      EXPECT_TRUE(log_.contains(*c.logLine)) << c.name;
    }
  }
  EXPECT_TRUE(scheduler_->pending().empty());
  EXPECT_TRUE(notifier_.shown().empty());
}

TEST_F(NotifyBridgeTest, TitleAndBodyAreTrimmedThenCut) {
  std::string body = "\n\n " + std::string(700, 'b') + " \n";
  bridge_->handle(Json{{"id", "cut"}, {"title", std::string(130, 't')}, {"body", body}});
  EXPECT_EQ(nextPayload(), (Json{{"id", "cut"}, {"ok", true}}));
  ASSERT_EQ(notifier_.shown().size(), 1u);
  EXPECT_EQ(notifier_.shown()[0].title, std::string(120, 't'));
  EXPECT_EQ(notifier_.shown()[0].body, std::string(600, 'b'));
}

TEST_F(NotifyBridgeTest, NoTimeOrATimeNotAheadShowsAtOnce) {
  // The clock stands at 2030-01-01 08:00 in Shanghai.
  const std::vector<Json> fireAts = {Json(nullptr), Json(""), Json(42), Json("2030-01-01T08:00"), Json("2029-12-31T23:00")};
  for (size_t i = 0; i < fireAts.size(); ++i) {
    Json body{{"id", "now" + std::to_string(i)}, {"body", "b"}};
    if (!fireAts[i].is_null()) body["fireAt"] = fireAts[i];
    bridge_->handle(body);
    EXPECT_EQ(nextPayload(), (Json{{"id", "now" + std::to_string(i)}, {"ok", true}}));
  }
  ASSERT_EQ(notifier_.shown().size(), fireAts.size());
  EXPECT_EQ(notifier_.shown()[0], (FakeSystemNotifier::Shown{"now0", "岚笺", "b"}));
  EXPECT_TRUE(scheduler_->pending().empty());

  // One minute ahead is scheduled.
  bridge_->handle(Json{{"id", "next"}, {"title", "t"}, {"fireAt", "2030-01-01T08:01"}});
  EXPECT_EQ(nextPayload(), (Json{{"id", "next"}, {"ok", true}}));
  EXPECT_EQ(scheduler_->pending().size(), 1u);
}

TEST_F(NotifyBridgeTest, CancelTakesTheFirst256ValidIdsWithoutReply) {
  for (int i = 0; i < 300; ++i) {
    ASSERT_FALSE(scheduler_->schedule({"id" + std::to_string(i), "t", "", clock_.now() + 600}));
  }
  Json ids = Json::array({"", std::string(129, 'x')});
  for (int i = 0; i < 300; ++i) ids.push_back("id" + std::to_string(i));
  bridge_->handle(Json{{"cancel", ids}});
  EXPECT_EQ(nextPayload(), std::nullopt);
  EXPECT_EQ(notifier_.withdrawn().size(), 256u);
  EXPECT_EQ(notifier_.withdrawn().back(), "id255");
  EXPECT_EQ(scheduler_->pending().size(), 44u);

  bridge_->handle(Json{{"cancel", Json::array()}});
  EXPECT_EQ(nextPayload(), std::nullopt);
  EXPECT_EQ(notifier_.withdrawn().size(), 256u);
}

TEST_F(NotifyBridgeTest, ACancelThatIsNotAListOfTextsIsAScheduleRequest) {
  bridge_->handle(Json{{"cancel", Json::array({"a", 1})}, {"id", "s"}, {"title", "t"}});
  EXPECT_EQ(nextPayload(), (Json{{"id", "s"}, {"ok", true}}));
  EXPECT_TRUE(notifier_.withdrawn().empty());
}

TEST_F(NotifyBridgeTest, AClickShowsTheWindowAndTellsThePage) {
  int opened = 0;
  bridge_->setOnOpen([&] { ++opened; });
  ASSERT_TRUE(notifier_.click("r9"));
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(nextPayload(), (Json{{"id", "r9"}, {"opened", true}}));
  bridge_.reset();
  EXPECT_TRUE(notifier_.click("r9"));
  EXPECT_EQ(nextPayload(), std::nullopt);
}

TEST_F(NotifyBridgeTest, WithoutDesktopNotificationsThePageIsTold) {
  notifier_.setAvailable(false);
  auto bridge = std::make_shared<NotifyBridge>(
      NotifyBridge::Services{loop_, notifier_, *scheduler_, clock_, [] { return zone("Asia/Shanghai"); }},
      LocalServer(4173));
  bridge->attach(page_);
  EXPECT_TRUE(log_.contains("[orvik] notify: 没有桌面通知服务，系统通知不可用（提醒会留在应用内）"));
  bridge->handle(Json{{"id", "x"}, {"title", "t"}, {"fireAt", "2030-01-02T03:04"}});
  EXPECT_EQ(nextPayload(), (Json{{"id", "x"}, {"error", "这个版本不能发系统通知，提醒会留在应用内。"}}));
  bridge->handle(Json{{"cancel", Json::array({"x"})}});
  EXPECT_TRUE(notifier_.withdrawn().empty());
}

}  // namespace
}  // namespace tovarin
