#include "widget/WidgetList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/widget/WidgetTestData.h"

namespace tovarin {
namespace {

using namespace widget_test;

// Thursday 5 March 2026, 10:00 in Shanghai, the device's zone.
class WidgetListTest : public ::testing::Test {
public:
  const Calendar device = shanghai();
  CalendarEntry entry;

  void SetUp() override {
    entry.date = at(device, 2026, 3, 5, 10, 0);
    entry.accountEpoch = "e";
  }

  void addEvent(const std::string& key, const std::string& start, const std::string& end, bool allDay = false) {
    entry.occurrences.push_back(Occurrence{key, "event " + key, allDay, start, end, "c"});
  }
  void addTask(const std::string& id, WidgetTask::Kind kind, const std::string& activeFrom) {
    entry.tasks.push_back(WidgetTask{id, "task " + id, kind, activeFrom});
  }

  WidgetList list(WidgetFamily family = WidgetFamily::medium) const { return WidgetList(entry, family, device); }

  std::vector<std::string> ids(int budget, WidgetFamily family = WidgetFamily::medium) const {
    std::vector<std::string> result;
    for (const WidgetRow& row : list(family).rows(budget)) {
      result.push_back(row.kind == WidgetRow::Kind::more ? "more " + std::to_string(row.hidden) : row.id());
    }
    return result;
  }

  std::vector<std::string> upcomingKeys() const {
    std::vector<std::string> keys;
    for (const auto& occurrence : list().upcoming()) keys.push_back(occurrence.key);
    return keys;
  }
};

TEST_F(WidgetListTest, BudgetFromHeight) {
  struct Case {
    WidgetFamily family;
    double height;
    int expected;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {WidgetFamily::medium, 100, 5}, {WidgetFamily::small, 60, 3},   {WidgetFamily::large, 15, 1},
      {WidgetFamily::medium, 0, 1},   {WidgetFamily::medium, -40, 1}, {WidgetFamily::small, nan, 1},
      {WidgetFamily::large, infinity, 1}, {WidgetFamily::small, 1, 1}, {WidgetFamily::large, 36, 2},
      {WidgetFamily::small, 33, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(list(c.family).budget(c.height), c.expected) << familyName(c.family) << " " << c.height;
  }
}

TEST_F(WidgetListTest, RowsForTheWorkedExamples) {
  struct Case {
    const char* what;
    std::function<void(WidgetListTest&)> setUp;
    WidgetFamily family;
    int budget;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"three days, budget 4",
       [](WidgetListTest& t) {
         t.addEvent("a", "2026-03-05T14:00", "2026-03-05T15:00");
         t.addEvent("b", "2026-03-06T09:00", "2026-03-06T10:00");
         t.addEvent("c", "2026-03-07T09:00", "2026-03-07T10:00");
       },
       WidgetFamily::medium, 4, {"e:a", "d:2026-03-06", "e:b", "more 1"}},
      {"a full list gets no more row",
       [](WidgetListTest& t) {
         for (const char* key : {"a", "b", "c", "d"}) t.addEvent(key, "2026-03-05T14:00", "2026-03-05T15:00");
       },
       WidgetFamily::medium, 3, {"e:a", "e:b", "e:c"}},
      {"small with two follow-ups, budget 5",
       [](WidgetListTest& t) {
         t.addTask("f1", WidgetTask::Kind::followUp, "2026-03-05");
         t.addTask("f2", WidgetTask::Kind::followUp, "2026-03-04");
       },
       WidgetFamily::small, 5, {"s:等你交代", "t:f1", "more 1"}},
      {"the reserve gives way when no task fits",
       [](WidgetListTest& t) {
         t.addEvent("a", "2026-03-05T14:00", "2026-03-05T15:00");
         t.addTask("f1", WidgetTask::Kind::followUp, "2026-03-05");
       },
       WidgetFamily::medium, 2, {"e:a", "more 1"}},
      {"events, follow-ups and due tasks share the room",
       [](WidgetListTest& t) {
         t.addEvent("a", "2026-03-05T14:00", "2026-03-05T15:00");
         t.addEvent("b", "2026-03-06T09:00", "2026-03-06T10:00");
         t.addTask("f1", WidgetTask::Kind::followUp, "2026-03-05");
         t.addTask("f2", WidgetTask::Kind::followUp, "2026-03-05");
         t.addTask("f3", WidgetTask::Kind::followUp, "2026-03-05");
         t.addTask("d1", WidgetTask::Kind::due, "2026-03-04");
         t.addTask("d2", WidgetTask::Kind::due, "2026-03-05");
       },
       WidgetFamily::large, 10,
       {"e:a", "d:2026-03-06", "e:b", "s:等你交代", "t:f1", "t:f2", "s:待办", "t:d1", "t:d2", "more 1"}},
      {"tasks not yet active are neither shown nor counted",
       [](WidgetListTest& t) {
         t.addTask("d1", WidgetTask::Kind::due, "2026-03-05");
         t.addTask("later", WidgetTask::Kind::due, "2026-03-06");
       },
       WidgetFamily::medium, 5, {"s:待办", "t:d1"}},
      {"a budget of 0", [](WidgetListTest& t) { t.addEvent("a", "2026-03-05T14:00", "2026-03-05T15:00"); },
       WidgetFamily::medium, 0, {}},
  };
  for (const Case& c : cases) {
    entry.occurrences.clear();
    entry.tasks.clear();
    c.setUp(*this);
    EXPECT_EQ(ids(c.budget, c.family), c.expected) << c.what;
  }
}

TEST_F(WidgetListTest, OverdueFlagsOnlyDueTasksFromEarlierDays) {
  addTask("f", WidgetTask::Kind::followUp, "2026-03-01");
  addTask("old", WidgetTask::Kind::due, "2026-03-04");
  addTask("today", WidgetTask::Kind::due, "2026-03-05");
  std::map<std::string, bool> overdue;
  for (const auto& row : list().rows(10)) {
    if (row.kind == WidgetRow::Kind::task) overdue[row.task.id] = row.overdue;
  }
  EXPECT_EQ(overdue, (std::map<std::string, bool>{{"f", false}, {"old", true}, {"today", false}}));
}

TEST_F(WidgetListTest, WhatIsStillUpcoming) {
  addEvent("ended a minute ago", "2026-03-05T09:00", "2026-03-05T09:59");
  addEvent("ends at the entry", "2026-03-05T09:00", "2026-03-05T10:00");
  addEvent("ends a minute later", "2026-03-05T09:00", "2026-03-05T10:01");
  addEvent("unreadable end", "2026-03-05T08:00", "soon");
  addEvent("all day today", "2026-03-05T00:00", "2026-03-05T00:00", true);
  addEvent("all day ended yesterday", "2026-03-04T00:00", "2026-03-04T23:59", true);
  addEvent("unreadable start", "whenever", "2026-03-05T23:00");
  addEvent("spans days", "2026-03-04T20:00", "2026-03-06T09:00");
  EXPECT_EQ(upcomingKeys(), (std::vector<std::string>{"spans days", "all day today", "unreadable end",
                                                      "ends a minute later", "unreadable start"}));
}

TEST_F(WidgetListTest, AnEventThatBeganYesterdayIsFiledUnderTodayAndCounted) {
  addEvent("spans", "2026-03-04T20:00", "2026-03-06T09:00");
  addEvent("tomorrow", "2026-03-06T09:00", "2026-03-06T10:00");
  addTask("d", WidgetTask::Kind::due, "2026-03-05");
  EXPECT_EQ(ids(2), (std::vector<std::string>{"e:spans", "more 2"}));
  EXPECT_EQ(ids(3), (std::vector<std::string>{"e:spans", "d:2026-03-06", "e:tomorrow"}));
  EXPECT_EQ(list().headerCount(), 2);
}

TEST_F(WidgetListTest, DayLabels) {
  struct Case {
    std::string key;
    std::string expected;
  };
  const Case cases[] = {
      {"2026-03-05", "今天"},       {"2026-03-06", "明天"},       {"2026-03-07", "3月7日 周六"},
      {"2026-03-08", "3月8日 周日"}, {"2026-04-13", "4月13日 周一"}, {"2026-3-7", "2026-3-7"},
      {"soon", "soon"},            {"2026-02-30", "2026-02-30"},
  };
  for (const Case& c : cases) EXPECT_EQ(list().dayLabel(c.key), c.expected) << c.key;
}

TEST_F(WidgetListTest, TodayIsTheEntryDateInTheAccountZone) {
  // 10:00 in Shanghai is 21:00 the day before in New York.
  entry.zoneId = "America/New_York";
  EXPECT_EQ(list().today(), "2026-03-04");
  EXPECT_EQ(list().dayLabel("2026-03-05"), "明天");
  addEvent("a", "2026-03-05T09:00", "2026-03-05T10:00");
  EXPECT_EQ(ids(3), (std::vector<std::string>{"d:2026-03-05", "e:a"}));
}

TEST_F(WidgetListTest, HeaderTexts) {
  EXPECT_EQ(WidgetList::summary(entry.date, 0, device), "3月 · 空闲");
  EXPECT_EQ(WidgetList::summary(entry.date, 2, device), "3月 · 2 项");
  EXPECT_EQ(WidgetList::weekday(entry.date, device), "周四");
  EXPECT_EQ(WidgetList::weekday(at(device, 2000, 2, 29, 12), device), "周二");
  EXPECT_EQ(WidgetList::weekday(at(device, 1969, 12, 31, 12), device), "周三");
}

TEST_F(WidgetListTest, TheEmptyTextSaysWhetherThereWasAnythingAtAll) {
  EXPECT_EQ(list().emptyText(), "今日暂无安排");
  addEvent("gone", "2026-03-05T08:00", "2026-03-05T09:00");
  EXPECT_TRUE(list().rows(5).empty());
  EXPECT_EQ(list().emptyText(), "暂无后续安排");
}

}  // namespace
}  // namespace tovarin
