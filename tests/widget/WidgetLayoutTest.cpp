#include "widget/WidgetLayout.h"

#include <gtest/gtest.h>

#include "tokens/TovarinColors.h"
#include "tokens/TovarinDimensions.h"
#include "widget/WidgetRoute.h"
#include "tests/widget/WidgetTestData.h"

namespace tovarin {
namespace {

using namespace widget_test;
using Scheme = TovarinColorToken::Scheme;

class WidgetLayoutTest : public ::testing::Test {
 public:
  const Calendar device = shanghai();
  CalendarEntry entry;

  void SetUp() override {
    entry.date = at(device, 2026, 3, 5, 10, 0);
    entry.accountEpoch = "e";
    entry.occurrences = {
        Occurrence{"seen", "需求评审", false, "2026-03-05T14:00", "2026-03-05T15:30", "work"},
        Occurrence{"nocolor", "和朋友吃饭", false, "2026-03-06T18:30", "2026-03-06T20:30", "elsewhere"},
    };
    entry.colors = {{"work", rgb255(0xd1, 0x36, 0x2f)}};
    entry.tasks = {
        WidgetTask{"f", "给房东回电话", WidgetTask::Kind::followUp, "2026-03-01"},
        WidgetTask{"late", "交周报", WidgetTask::Kind::due, "2026-03-04"},
    };
  }

  WidgetLayout layout(WidgetFamily family, Scheme scheme = Scheme::light) const {
    return WidgetLayout::make(entry, family, defaultSize(family), scheme, device);
  }

  static double middleY(const WidgetItem& item) { return item.y + item.height / 2; }
};

TEST_F(WidgetLayoutTest, EachFamilyShowsTheHeaderAndTheRowsThatFit) {
  struct Case {
    WidgetFamily family;
    int budget;
    std::vector<std::string> rowIds;
  };
  const Case cases[] = {
      {WidgetFamily::small, 5, {"e:seen", "d:2026-03-06", "e:nocolor", "s:等你交代", "t:f"}},
      {WidgetFamily::medium, 7, {"e:seen", "d:2026-03-06", "e:nocolor", "s:等你交代", "t:f", "s:待办", "t:late"}},
      {WidgetFamily::large, 14, {"e:seen", "d:2026-03-06", "e:nocolor", "s:等你交代", "t:f", "s:待办", "t:late"}},
  };
  for (const Case& c : cases) {
    WidgetLayout picture = layout(c.family);
    SCOPED_TRACE(std::string(familyName(c.family)));
    EXPECT_EQ(picture.budget, c.budget);
    std::vector<std::string> ids;
    for (const auto& row : picture.rows) ids.push_back(row.id());
    EXPECT_EQ(ids, c.rowIds);
    ASSERT_NE(picture.find("dayNumber"), nullptr);
    EXPECT_EQ(picture.find("dayNumber")->text, "5");
    EXPECT_EQ(picture.find("weekday")->text, "周四");
    EXPECT_EQ(picture.find("summary")->text, "3月 · 3 项");
    EXPECT_EQ(picture.find("caption", "d:2026-03-06")->text, "明天");
    EXPECT_EQ(picture.find("time", "e:seen")->text, "14:00");
    EXPECT_EQ(picture.find("title", "e:seen")->text, "需求评审");
    // Every item stays inside the widget.
    for (const WidgetItem& item : picture.items) {
      EXPECT_GE(item.x, 0) << item.role << " " << item.rowId;
      EXPECT_LE(item.x + item.width, picture.size.width + 0.001) << item.role << " " << item.rowId;
      EXPECT_LE(item.y + item.height, picture.size.height + 0.001) << item.role << " " << item.rowId;
    }
  }
}

TEST_F(WidgetLayoutTest, TheMoreRowCountsWhatDidNotFit) {
  // Six events today fill six of the seven rows; tomorrow's needs two.
  entry.tasks.clear();
  for (int i = 0; i < 5; ++i) {
    entry.occurrences.push_back(Occurrence{"x" + std::to_string(i), "会", false, "2026-03-05T16:00",
                                           "2026-03-05T17:00", "work"});
  }
  WidgetLayout picture = layout(WidgetFamily::medium);
  ASSERT_EQ(picture.rows.size(), 7u);
  const WidgetItem* more = picture.find("caption", "more");
  ASSERT_NE(more, nullptr);
  EXPECT_EQ(more->text, "还有 1 项");
  EXPECT_EQ(more->font.weight, TovarinType::captionWeight);
  EXPECT_DOUBLE_EQ(more->font.tracking, TovarinType::micro * TovarinType::trackingCaps);
}

TEST_F(WidgetLayoutTest, TheMediumHeaderStandsInItsOwnColumnAndTheOthersShareABaseline) {
  WidgetLayout medium = layout(WidgetFamily::medium);
  const WidgetItem* number = medium.find("dayNumber");
  const WidgetItem* weekday = medium.find("weekday");
  const WidgetItem* summary = medium.find("summary");
  EXPECT_EQ(number->width, 74);
  EXPECT_EQ(number->font.size, TovarinType::widgetDate);
  EXPECT_EQ(weekday->x, number->x);
  EXPECT_GT(weekday->y, number->y);
  EXPECT_GT(summary->y, weekday->y);
  EXPECT_GE(medium.find("title", "e:seen")->x, number->x + 74 + 14);

  for (WidgetFamily family : {WidgetFamily::small, WidgetFamily::large}) {
    WidgetLayout picture = layout(family);
    const WidgetItem* day = picture.find("dayNumber");
    const WidgetItem* name = picture.find("weekday");
    EXPECT_EQ(day->font.size, family == WidgetFamily::small ? TovarinType::widgetDateCompact : TovarinType::widgetDate);
    EXPECT_EQ(day->anchor, WidgetItem::Anchor::baseline);
    EXPECT_EQ(name->anchor, WidgetItem::Anchor::baseline);
    EXPECT_EQ(name->baseline, day->baseline);
    EXPECT_GT(name->x, day->x + day->width);
    EXPECT_GT(picture.find("summary")->baseline, name->baseline);
  }
}

TEST_F(WidgetLayoutTest, RowsOpenTheirPagesExceptInTheSmallFamily) {
  for (WidgetFamily family : {WidgetFamily::medium, WidgetFamily::large}) {
    WidgetLayout picture = layout(family);
    const WidgetItem* event = picture.find("title", "e:seen");
    const WidgetItem* task = picture.find("title", "t:late");
    const WidgetItem* section = picture.find("caption", "s:待办");
    EXPECT_EQ(picture.linkAt(event->x + 2, middleY(*event)), WidgetRoute::agenda);
    EXPECT_EQ(picture.linkAt(task->x + 2, middleY(*task)), WidgetRoute::tasks);
    EXPECT_EQ(picture.linkAt(section->x + 2, middleY(*section)), WidgetRoute::app);
    EXPECT_EQ(picture.linkAt(2, 2), WidgetRoute::app);
  }
  WidgetLayout small = layout(WidgetFamily::small);
  EXPECT_TRUE(small.links.empty());
  const WidgetItem* event = small.find("title", "e:seen");
  EXPECT_EQ(small.linkAt(event->x + 2, middleY(*event)), WidgetRoute::app);
}

TEST_F(WidgetLayoutTest, EventColoursComeFromTheFeedOrTheAccentOfTheAppearance) {
  WidgetLayout light = layout(WidgetFamily::medium, Scheme::light);
  WidgetLayout dark = layout(WidgetFamily::medium, Scheme::dark);
  EXPECT_EQ(light.find("capsule", "e:seen")->color, rgb255(0xd1, 0x36, 0x2f));
  EXPECT_EQ(dark.find("capsule", "e:seen")->color, rgb255(0xd1, 0x36, 0x2f));
  EXPECT_EQ(light.find("capsule", "e:nocolor")->color, TovarinAccent::base.light);
  EXPECT_EQ(dark.find("capsule", "e:nocolor")->color, TovarinAccent::base.dark);
  EXPECT_EQ(light.find("capsule", "e:seen")->height, 15);
  EXPECT_EQ(layout(WidgetFamily::small).find("capsule", "e:seen")->height, 12);
  EXPECT_EQ(dark.background, TovarinGround::surface.dark);
  EXPECT_EQ(dark.find("title", "e:seen")->color, TovarinInk::primary.dark);
}

TEST_F(WidgetLayoutTest, TaskMarksAndTheOverdueText) {
  WidgetLayout picture = layout(WidgetFamily::medium);
  const WidgetItem* late = picture.find("mark", "t:late");
  EXPECT_EQ(late->kind, WidgetItem::Kind::square);
  EXPECT_EQ(late->color, TovarinSignal::danger.light);
  EXPECT_EQ(late->opacity, 0.6);
  EXPECT_EQ(late->width, 10);
  const WidgetItem* overdue = picture.find("overdue", "t:late");
  ASSERT_NE(overdue, nullptr);
  EXPECT_EQ(overdue->text, "已过期");
  const WidgetItem* title = picture.find("title", "t:late");
  EXPECT_LE(title->x + title->width, overdue->x);
  EXPECT_TRUE(overdue->followsPreviousText);
  EXPECT_EQ(&*std::prev(std::find(picture.items.begin(), picture.items.end(), *overdue)), title)
      << "the tag follows its title";

  const WidgetItem* follow = picture.find("mark", "t:f");
  EXPECT_EQ(follow->kind, WidgetItem::Kind::ring);
  EXPECT_EQ(follow->color, TovarinSignal::warning.light);
  EXPECT_EQ(picture.find("overdue", "t:f"), nullptr);

  entry.tasks[1].activeFrom = "2026-03-05";
  WidgetLayout onTime = layout(WidgetFamily::medium);
  EXPECT_EQ(onTime.find("mark", "t:late")->color, TovarinInk::faint.light);
  EXPECT_EQ(onTime.find("mark", "t:late")->opacity, 0.7);
  EXPECT_EQ(onTime.find("overdue", "t:late"), nullptr);
  EXPECT_EQ(layout(WidgetFamily::small).find("mark", "t:f")->width, 9);
}

TEST_F(WidgetLayoutTest, AFailureShowsOnlyTheSymbolAndItsHintInEveryFamily) {
  CalendarEntry failed;
  failed.date = entry.date;
  failed.failure = FeedFailure::zoneUnavailable;
  for (WidgetFamily family : {WidgetFamily::small, WidgetFamily::medium, WidgetFamily::large}) {
    WidgetLayout picture = WidgetLayout::make(failed, family, defaultSize(family), Scheme::light, device);
    SCOPED_TRACE(std::string(familyName(family)));
    ASSERT_EQ(picture.items.size(), 2u);
    EXPECT_EQ(picture.items[0].kind, WidgetItem::Kind::alertMark);
    EXPECT_EQ(picture.items[1].text, "账号时区未就绪 · 请打开日历");
    EXPECT_TRUE(picture.items[1].centered);
    EXPECT_EQ(picture.items[1].color, TovarinInk::muted.light);
    EXPECT_TRUE(picture.rows.empty());
    EXPECT_EQ(picture.linkAt(picture.size.width / 2, picture.size.height / 2), WidgetRoute::app);
    // Centred in the widget.
    EXPECT_NEAR(picture.items[0].x + picture.items[0].width / 2, picture.size.width / 2, 0.5);
  }
}

TEST_F(WidgetLayoutTest, AnEmptyListSaysSo) {
  entry.tasks.clear();
  entry.occurrences = {Occurrence{"gone", "早会", false, "2026-03-05T08:00", "2026-03-05T09:00", "work"}};
  EXPECT_EQ(layout(WidgetFamily::large).find("empty")->text, "暂无后续安排");
  entry.occurrences.clear();
  WidgetLayout empty = layout(WidgetFamily::small);
  EXPECT_EQ(empty.find("empty")->text, "今日暂无安排");
  EXPECT_EQ(empty.find("empty")->color, TovarinInk::muted.light);
  EXPECT_EQ(empty.find("summary")->text, "3月 · 空闲");
}

}  // namespace
}  // namespace tovarin
