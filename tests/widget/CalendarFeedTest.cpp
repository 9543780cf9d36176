#include "widget/CalendarFeed.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/TempDir.h"
#include "tests/widget/WidgetTestData.h"

namespace tovarin {
namespace {

using namespace widget_test;

HttpResponse answer(int status, std::string body) {
  HttpResponse response;
  response.responded = true;
  response.status = status;
  response.body = std::move(body);
  return response;
}

FeedRequest requestAt(double now) {
  FeedRequest request;
  request.port = 4173;
  request.days = CalendarFeed::horizonDays;
  request.now = now;
  request.device = shanghai();
  return request;
}

FeedResult interpretBody(const Json& body, double now = at(shanghai(), 2026, 3, 5, 10)) {
  return CalendarFeed::interpret(answer(200, body.dump()), requestAt(now));
}

std::optional<FeedFailure> failureOf(const FeedResult& result) {
  if (auto* failure = std::get_if<FeedFailure>(&result)) return *failure;
  return std::nullopt;
}

TEST(CalendarFeedTest, StatusAndMarkersDecideTheFailure) {
  struct Case {
    int status;
    std::string body;
    std::optional<FeedFailure> expected;
  };
  const std::string notUtf8 = "\xff\xfe ACCOUNT_STORAGE_LOCKED";
  const Case cases[] = {
      {200, "", std::nullopt},
      {401, R"({"code":"ACCOUNT_STORAGE_LOCKED"})", FeedFailure::signedOut},
      {403, "ACCOUNT_STORAGE_LOCKED", FeedFailure::signedOut},
      {401, "", FeedFailure::locked},
      {403, "token required", FeedFailure::locked},
      {401, notUtf8, FeedFailure::locked},
      {401, "account_storage_locked", FeedFailure::locked},
      {409, "WIDGET_ACCOUNT_ZONE_NOT_PROJECTED", FeedFailure::zoneUnavailable},
      {409, "epoch moved", FeedFailure::accountChanged},
      {503, "WIDGET_ACCOUNT_ZONE_UNVERIFIED", FeedFailure::zoneUnverified},
      {503, "busy", FeedFailure::malformed},
      {204, "", FeedFailure::malformed},
      {500, "WIDGET_ACCOUNT_ZONE_UNVERIFIED", FeedFailure::malformed},
      {404, "", FeedFailure::malformed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CalendarFeed::failureFor(answer(c.status, c.body)), c.expected) << c.status << " " << c.body;
  }
  EXPECT_EQ(CalendarFeed::failureFor(HttpResponse{}), std::nullopt);
}

TEST(CalendarFeedTest, NoAnswerIsUnreachableButAnEmptyBodyIsMalformed) {
  EXPECT_EQ(failureOf(CalendarFeed::interpret(HttpResponse{}, requestAt(0))), FeedFailure::unreachable);
  EXPECT_EQ(failureOf(CalendarFeed::interpret(answer(200, ""), requestAt(0))), FeedFailure::malformed);
  // A marker decides before the missing body does.
  EXPECT_EQ(failureOf(CalendarFeed::interpret(answer(409, ""), requestAt(0))), FeedFailure::accountChanged);
}

TEST(CalendarFeedTest, AWellFormedFeedYieldsEveryPart) {
  FeedResult result = interpretBody(feedBody());
  ASSERT_TRUE(std::holds_alternative<FeedData>(result)) << name(*failureOf(result));
  const FeedData& data = std::get<FeedData>(result);
  ASSERT_EQ(data.occurrences.size(), 1u);
  EXPECT_EQ(data.occurrences[0], (Occurrence{"o1", "需求评审", false, "2026-03-05T14:00", "2026-03-05T15:30", "work"}));
  EXPECT_EQ(data.epoch, "e-1");
  EXPECT_EQ(data.zoneId, "America/New_York");
  EXPECT_EQ(data.colors.at("work"), rgb255(0xd1, 0x36, 0x2f));
  ASSERT_EQ(data.tasks.size(), 1u);
  EXPECT_EQ(data.tasks[0], (WidgetTask{"t1", "交周报", WidgetTask::Kind::due, "2026-03-06"}));
}

TEST(CalendarFeedTest, ABodyOfTheWrongShapeIsMalformed) {
  struct Case {
    const char* what;
    std::function<void(Json&)> change;
  };
  const Case cases[] = {
      {"no rev", [](Json& b) { b.erase("rev"); }},
      {"rev a text", [](Json& b) { b["rev"] = "7"; }},
      {"rev a fraction", [](Json& b) { b["rev"] = 7.5; }},
      {"empty epoch", [](Json& b) { b["epoch"] = ""; }},
      {"epoch a number", [](Json& b) { b["epoch"] = 3; }},
      {"no occurrences", [](Json& b) { b.erase("occurrences"); }},
      {"occurrence without calendarId", [](Json& b) { b["occurrences"][0].erase("calendarId"); }},
      {"allDay a number", [](Json& b) { b["occurrences"][0]["allDay"] = 0; }},
      {"title null", [](Json& b) { b["occurrences"][0]["title"] = nullptr; }},
      {"no calendarTimeZone", [](Json& b) { b.erase("calendarTimeZone"); }},
      {"runtimeReady a text", [](Json& b) { b["calendarTimeZone"]["runtimeReady"] = "true"; }},
      {"zone a number", [](Json& b) { b["calendarTimeZone"]["zone"] = 8; }},
      {"no calendars", [](Json& b) { b.erase("calendars"); }},
      {"calendars an object", [](Json& b) { b["calendars"] = Json::object(); }},
      {"a calendar that is a text", [](Json& b) { b["calendars"].push_back("work"); }},
      {"no tasks", [](Json& b) { b.erase("tasks"); }},
      {"a task that is null", [](Json& b) { b["tasks"].push_back(nullptr); }},
      {"top level an array", [](Json& b) { b = Json::array({b}); }},
  };
  for (const Case& c : cases) {
    Json body = feedBody();
    c.change(body);
    EXPECT_EQ(failureOf(interpretBody(body)), FeedFailure::malformed) << c.what;
  }
  EXPECT_EQ(failureOf(CalendarFeed::interpret(answer(200, "{\"rev\":1,"), requestAt(0))), FeedFailure::malformed);
  EXPECT_EQ(failureOf(CalendarFeed::interpret(answer(200, "\"text\""), requestAt(0))), FeedFailure::malformed);
}

TEST(CalendarFeedTest, TheAccountZoneMustBeKnownWhenTheServerSaysItIsReady) {
  for (auto change : std::vector<std::function<void(Json&)>>{
           [](Json& z) { z.erase("zone"); },
           [](Json& z) { z["zone"] = nullptr; },
           [](Json& z) { z["zone"] = "Mars/Olympus"; },
           [](Json& z) { z["zone"] = ""; },
       }) {
    Json body = feedBody();
    change(body["calendarTimeZone"]);
    EXPECT_EQ(failureOf(interpretBody(body)), FeedFailure::zoneUnavailable) << body["calendarTimeZone"].dump();
  }
  // A zone the server does not vouch for is ignored, whatever it names.
  for (Json zone : {Json("Asia/Tokyo"), Json(nullptr), Json("Mars/Olympus")}) {
    Json body = feedBody();
    body["calendarTimeZone"] = Json{{"runtimeReady", false}, {"zone", zone}};
    FeedResult result = interpretBody(body);
    ASSERT_TRUE(std::holds_alternative<FeedData>(result)) << zone.dump();
    EXPECT_EQ(std::get<FeedData>(result).zoneId, std::nullopt);
  }
}

TEST(CalendarFeedTest, TheHorizonIsKeyedInTheWorkingZone) {
  // 2026-03-05 10:00 in Shanghai is 2026-03-04 21:00 in New York: the horizon eight
  // days on is the 13th in Shanghai but the 12th in New York.
  double now = at(shanghai(), 2026, 3, 5, 10);
  Json body = feedBody();
  body["tasks"] = Json::array({Json{{"id", "a"}, {"title", "A"}, {"due", "2026-03-13"}}});
  body["calendarTimeZone"] = Json{{"runtimeReady", true}, {"zone", "America/New_York"}};
  EXPECT_TRUE(std::get<FeedData>(interpretBody(body, now)).tasks.empty());
  body["calendarTimeZone"] = Json{{"runtimeReady", false}, {"zone", "America/New_York"}};
  EXPECT_EQ(std::get<FeedData>(interpretBody(body, now)).tasks.size(), 1u);
}

TEST(CalendarFeedTest, CalendarColoursReadHexLeniently) {
  struct Case {
    const char* text;
    TovarinColorToken::Channels expected;
  };
  const Case cases[] = {
      {"#ff8800", rgb255(255, 136, 0)}, {"ff8800", rgb255(255, 136, 0)}, {"zz", rgb255(0, 0, 0)},
      {"", rgb255(0, 0, 0)},            {"  0x1e4fd8", rgb255(0x1e, 0x4f, 0xd8)}, {"#12", rgb255(0, 0, 0x12)},
      {"#abcdefzz", rgb255(0xab, 0xcd, 0xef)}, {"#7fabcdef", rgb255(0xab, 0xcd, 0xef)},
      {"##ff0000", rgb255(0, 0, 0)},
  };
  for (const Case& c : cases) {
    Json body = feedBody();
    body["calendars"] = Json::array({Json{{"id", "c"}, {"color", c.text}}});
    auto data = std::get<FeedData>(interpretBody(body));
    EXPECT_EQ(data.colors.at("c"), c.expected) << c.text;
  }
  Json body = feedBody();
  body["calendars"] = Json::array({Json{{"color", "#ff0000"}}, Json{{"id", "x"}, {"color", 5}},
                                   Json{{"id", "w"}, {"color", "#010101"}}, Json{{"id", "w"}, {"color", "#020202"}}});
  auto data = std::get<FeedData>(interpretBody(body));
  EXPECT_EQ(data.colors, (CalendarColors{{"w", rgb255(2, 2, 2)}}));
}

TEST(CalendarFeedTest, ThePortComesFromInfoInEveryForm) {
  struct Case {
    std::optional<Json> info;
    int64_t expected;
  };
  const Case cases[] = {
      {Json{{"VORNServerPort", 5123}}, 5123},
      {Json{{"VORNServerPort", 0}}, 0},
      {Json{{"VORNServerPort", 70000}}, 70000},
      {Json{{"VORNServerPort", "+4180"}}, 4180},
      {Json{{"VORNServerPort", "-3"}}, -3},
      {Json{{"VORNServerPort", "41 73"}}, 4173},
      {Json{{"VORNServerPort", ""}}, 4173},
      {Json{{"VORNServerPort", "+"}}, 4173},
      {Json{{"VORNServerPort", "99999999999999999999"}}, 4173},
      {Json{{"VORNServerPort", "-9223372036854775808"}}, INT64_MIN},
      {Json{{"VORNServerPort", true}}, 4173},
      {Json{{"VORNServerPort", 4180.5}}, 4173},
      {Json{{"Other", 1}}, 4173},
      {Json::array(), 4173},
      {std::nullopt, 4173},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CalendarFeed::portFromInfo(c.info), c.expected) << (c.info ? c.info->dump() : "none");
  }
}

TEST(CalendarFeedTest, ThePortIsReadFromTheFileOnEachUse) {
  TempDir dir;
  std::string path = dir.path() + "/Info.json";
  EXPECT_EQ(CalendarFeed::readPort(path), 4173);
  std::ofstream(path) << R"({"VORNServerPort": "5001"})";
  EXPECT_EQ(CalendarFeed::readPort(path), 5001);
  std::ofstream(path) << R"({"VORNServerPort": 5002})";
  EXPECT_EQ(CalendarFeed::readPort(path), 5002);
  std::ofstream(path) << "not json";
  EXPECT_EQ(CalendarFeed::readPort(path), 4173);
}

TEST(CalendarFeedTest, TheRequestAsksFromTwoDaysBackToElevenAheadInTheDeviceZone) {
  // 00:30 on the 1st in Shanghai is still the last day of February in UTC.
  FeedRequest request = requestAt(at(shanghai(), 2026, 3, 1, 0, 30));
  EXPECT_EQ(CalendarFeed::requestUrl(request),
            "http://127.0.0.1:4173/api/widget-feed?from=2026-02-27&to=2026-03-12");
  request.port = 0;
  EXPECT_EQ(CalendarFeed::requestUrl(request), "http://127.0.0.1:0/api/widget-feed?from=2026-02-27&to=2026-03-12");
  request.port = -1;
  EXPECT_EQ(CalendarFeed::requestUrl(request), std::nullopt);
  request.port = 65536;
  EXPECT_EQ(CalendarFeed::requestUrl(request), std::nullopt);
}

TEST(CalendarFeedTest, ParseTasksTakesDueTasksAndWaitingFollowUps) {
  auto followUp = [](Json followUpObject, Json extra = Json::object()) {
    Json task{{"id", "f"}, {"title", "回电话"}, {"status", "done"}, {"followUp", std::move(followUpObject)}};
    task.update(extra);
    return task;
  };
  Json waiting{{"policy", "after_complete"}, {"status", "idle"}, {"nextAt", "2026-03-10T09:00"}};
  auto with = [](Json object, const Json& changes) {
    object.update(changes);
    return object;
  };
  struct Case {
    const char* what;
    Json task;
    std::optional<WidgetTask> expected;
  };
  const Case cases[] = {
      {"due", Json{{"id", "a"}, {"title", "A"}, {"due", "2026-03-05T18:00"}},
       WidgetTask{"a", "A", WidgetTask::Kind::due, "2026-03-05"}},
      {"open status", Json{{"id", "a"}, {"title", "A"}, {"status", "open"}, {"due", "2026-03-05"}},
       WidgetTask{"a", "A", WidgetTask::Kind::due, "2026-03-05"}},
      {"thirty days overdue", Json{{"id", "a"}, {"title", "A"}, {"due", "2026-02-03"}},
       WidgetTask{"a", "A", WidgetTask::Kind::due, "2026-02-03"}},
      {"short due used whole", Json{{"id", "a"}, {"title", "A"}, {"due", "2026-03"}},
       WidgetTask{"a", "A", WidgetTask::Kind::due, "2026-03"}},
      {"status not a text is open", Json{{"id", "a"}, {"title", "A"}, {"status", 3}, {"due", "2026-03-05"}},
       WidgetTask{"a", "A", WidgetTask::Kind::due, "2026-03-05"}},
      {"on the horizon", Json{{"id", "a"}, {"title", "A"}, {"due", "2026-03-13"}},
       WidgetTask{"a", "A", WidgetTask::Kind::due, "2026-03-13"}},
      {"past the horizon", Json{{"id", "a"}, {"title", "A"}, {"due", "2026-03-14"}}, std::nullopt},
      {"no due", Json{{"id", "a"}, {"title", "A"}}, std::nullopt},
      {"empty title", Json{{"id", "a"}, {"title", ""}, {"due", "2026-03-05"}}, std::nullopt},
      {"id a number", Json{{"id", 1}, {"title", "A"}, {"due", "2026-03-05"}}, std::nullopt},
      {"follow-up", followUp(waiting), WidgetTask{"f", "回电话", WidgetTask::Kind::followUp, "2026-03-10"}},
      {"snoozed later", followUp(with(waiting, Json{{"snoozedUntil", "2026-03-12"}})),
       WidgetTask{"f", "回电话", WidgetTask::Kind::followUp, "2026-03-12"}},
      {"snoozed earlier", followUp(with(waiting, Json{{"snoozedUntil", "2026-03-08"}})),
       WidgetTask{"f", "回电话", WidgetTask::Kind::followUp, "2026-03-10"}},
      {"status missing is idle", followUp(Json{{"policy", "after_complete"}, {"nextAt", "2026-03-10"}}),
       WidgetTask{"f", "回电话", WidgetTask::Kind::followUp, "2026-03-10"}},
      {"answered", followUp(with(waiting, Json{{"status", "answered"}})), std::nullopt},
      {"dismissed", followUp(with(waiting, Json{{"status", "dismissed"}})), std::nullopt},
      {"other policy", followUp(with(waiting, Json{{"policy", "fixed"}})), std::nullopt},
      {"empty follow-up", followUp(Json::object()), std::nullopt},
      {"confirmed", followUp(waiting, Json{{"completion", Json{{"confirmedAt", "2026-03-04"}}}}), std::nullopt},
      {"confirmation not a text",
       followUp(waiting, Json{{"completion", Json{{"confirmedAt", nullptr}}}}),
       WidgetTask{"f", "回电话", WidgetTask::Kind::followUp, "2026-03-10"}},
      {"no nextAt", followUp(Json{{"policy", "after_complete"}}), std::nullopt},
      {"fourteen days back", followUp(with(waiting, Json{{"nextAt", "2026-02-19T08:00"}})),
       WidgetTask{"f", "回电话", WidgetTask::Kind::followUp, "2026-02-19"}},
      {"fifteen days back", followUp(with(waiting, Json{{"nextAt", "2026-02-18T08:00"}})), std::nullopt},
      {"past the horizon", followUp(with(waiting, Json{{"nextAt", "2026-03-14"}})), std::nullopt},
  };
  for (const Case& c : cases) {
    auto tasks = CalendarFeed::parseTasks({c.task}, "2026-03-13", "2026-02-19");
    if (c.expected) {
      ASSERT_EQ(tasks.size(), 1u) << c.what;
      EXPECT_EQ(tasks[0], *c.expected) << c.what;
    } else {
      EXPECT_TRUE(tasks.empty()) << c.what;
    }
  }
}

TEST(CalendarFeedTest, ParseTasksPutsFollowUpsFirstEachSortedStablyByDay) {
  auto due = [](const char* id, const char* day) { return Json{{"id", id}, {"title", id}, {"due", day}}; };
  auto follow = [](const char* id, const char* day) {
    return Json{{"id", id},
                {"title", id},
                {"status", "done"},
                {"followUp", Json{{"policy", "after_complete"}, {"nextAt", day}}}};
  };
  auto tasks = CalendarFeed::parseTasks(
      {due("d1", "2026-03-07"), follow("f1", "2026-03-06"), due("d2", "2026-03-05"), due("d3", "2026-03-07"),
       follow("f2", "2026-03-04"), due("d4", "2026-03-05")},
      "2026-03-13", "2026-02-19");
  std::vector<std::string> ids;
  for (const auto& task : tasks) ids.push_back(task.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"f2", "f1", "d2", "d4", "d1", "d3"}));
}

TEST(CalendarFeedTest, OccurrenceTextsAndTimes) {
  Occurrence timed{"k", "t", false, "2026-03-05T09:30", "2026-03-05T10:00", "c"};
  EXPECT_EQ(timed.dayKey(), "2026-03-05");
  EXPECT_EQ(timed.timeText(), "09:30");
  EXPECT_EQ(timed.displayDayKey("2026-03-04"), "2026-03-05");
  EXPECT_EQ(timed.displayDayKey("2026-03-07"), "2026-03-07");
  EXPECT_EQ(timed.startDate(shanghai()), at(shanghai(), 2026, 3, 5, 9, 30));
  Occurrence allDay{"k", "t", true, "2026-03-05T00:00", "2026-03-06T00:00", "c"};
  EXPECT_EQ(allDay.timeText(), "全天");
  Occurrence shortStart{"k", "t", false, "3-5", "", "c"};
  EXPECT_EQ(shortStart.dayKey(), "3-5");
  EXPECT_EQ(shortStart.timeText(), "3-5");

  for (const char* bad : {"2026-03-05 09:30", "2026-03-05T09:30:00", "2026-02-30T09:00", "2026-13-01T09:00",
                          "2026-03-05T24:00", "2026-03-05T09:60", "2026-03-05", "", "２０２６-03-05T09:30"}) {
    EXPECT_EQ(Occurrence::parse(bad, shanghai()), std::nullopt) << bad;
  }
  EXPECT_EQ(Occurrence::parse("2028-02-29T12:00", newYork()), at(newYork(), 2028, 2, 29, 12));
}

}  // namespace
}  // namespace tovarin
