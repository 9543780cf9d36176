#include "widget/CalendarProvider.h"

#include <gtest/gtest.h>

#include "tests/support/FakeHttpClient.h"
#include "tests/support/ManualLoop.h"
#include "tests/widget/WidgetTestData.h"

namespace tovarin {
namespace {

using namespace widget_test;

Occurrence timed(std::string key, std::string start, std::string end) {
  return Occurrence{std::move(key), "t", false, std::move(start), std::move(end), "c"};
}

std::vector<double> datesOf(const std::vector<CalendarEntry>& entries) {
  std::vector<double> dates;
  for (const auto& entry : entries) dates.push_back(entry.date);
  return dates;
}

CalendarEntry entryAt(double date) {
  CalendarEntry entry;
  entry.date = date;
  entry.accountEpoch = "e";
  return entry;
}

TEST(CalendarProviderTest, WithoutTimedOccurrencesTheTimelineIsTheEntryAndTheNextTwoMidnights) {
  const Calendar device = shanghai();
  CalendarEntry entry = entryAt(at(device, 2026, 3, 5, 10, 17));
  entry.occurrences = {Occurrence{"a", "全天", true, "2026-03-05T00:00", "2026-03-05T18:00", "c"}};
  auto entries = CalendarProvider::timeline(entry, device);
  EXPECT_EQ(datesOf(entries), (std::vector<double>{entry.date, at(device, 2026, 3, 6), at(device, 2026, 3, 7)}));
  EXPECT_EQ(entries[0], entry);
  EXPECT_EQ(entries[2], entry.at(at(device, 2026, 3, 7)));
}

TEST(CalendarProviderTest, EndsStrictlyAfterTheEntryAddOneEntryEach) {
  const Calendar device = shanghai();
  CalendarEntry entry = entryAt(at(device, 2026, 3, 5, 10, 0));
  entry.occurrences = {
      timed("ended", "2026-03-05T08:00", "2026-03-05T09:00"),
      timed("ends now", "2026-03-05T09:00", "2026-03-05T10:00"),
      timed("a", "2026-03-05T10:00", "2026-03-05T11:30"),
      timed("same end", "2026-03-05T11:00", "2026-03-05T11:30"),
      timed("unreadable", "2026-03-05T11:00", "later"),
      timed("midnight", "2026-03-05T22:00", "2026-03-06T00:00"),
  };
  EXPECT_EQ(datesOf(CalendarProvider::timeline(entry, device)),
            (std::vector<double>{entry.date, at(device, 2026, 3, 5, 11, 30), at(device, 2026, 3, 6),
                                 at(device, 2026, 3, 7)}));
}

TEST(CalendarProviderTest, TheTimelineHoldsAtMostThirtySixEntries) {
  const Calendar device = shanghai();
  CalendarEntry entry = entryAt(at(device, 2026, 3, 5, 0, 0));
  for (int i = 0; i < 40; ++i) {
    char end[20];
    std::snprintf(end, sizeof end, "2026-03-05T%02d:%02d", 1 + i / 2, (i % 2) * 30);
    entry.occurrences.push_back(timed("o" + std::to_string(i), "2026-03-05T00:00", end));
  }
  auto entries = CalendarProvider::timeline(entry, device);
  ASSERT_EQ(entries.size(), CalendarProvider::maxEntries);
  EXPECT_EQ(entries[1].date, at(device, 2026, 3, 5, 1, 0));
  EXPECT_EQ(entries[35].date, at(device, 2026, 3, 5, 18, 0));  // the 35th end; the midnights are cut off
}

TEST(CalendarProviderTest, EndsAndMidnightsAreReadInTheAccountZone) {
  const Calendar device = shanghai();
  CalendarEntry entry = entryAt(at(newYork(), 2026, 3, 7, 12, 0));
  entry.zoneId = "America/New_York";
  entry.occurrences = {timed("a", "2026-03-07T12:00", "2026-03-07T13:00")};
  // The clocks in New York skip an hour on the night of 8 March 2026: the midnights are
  // still midnights there.
  EXPECT_EQ(datesOf(CalendarProvider::timeline(entry, device)),
            (std::vector<double>{entry.date, at(newYork(), 2026, 3, 7, 13), at(newYork(), 2026, 3, 8),
                                 at(newYork(), 2026, 3, 9)}));
  // An unknown zone falls back to the device's, where that end is long past (noon in
  // New York is 01:00 the next day in Shanghai).
  entry.zoneId = "Mars/Olympus";
  EXPECT_EQ(datesOf(CalendarProvider::timeline(entry, device)),
            (std::vector<double>{entry.date, at(device, 2026, 3, 9), at(device, 2026, 3, 10)}));
}

TEST(CalendarProviderTest, ReloadComesTenMinutesAfterAFailureAndHalfAnHourAfterSuccess) {
  CalendarEntry entry = entryAt(1000);
  EXPECT_EQ(CalendarProvider::reloadDate(entry), 2800);
  entry.failure = FeedFailure::unreachable;
  EXPECT_EQ(CalendarProvider::reloadDate(entry), 1600);
  auto timeline = CalendarProvider::timelineWithReload(entry, shanghai());
  EXPECT_EQ(timeline.reloadDate, 1600);
  EXPECT_EQ(timeline.entries.size(), 3u);
}

TEST(CalendarProviderTest, ALoadedEntryIsDatedAtTheRequestNotTheAnswer) {
  ManualLoop loop;
  FakeHttpClient http;
  FeedRequest request;
  request.now = at(shanghai(), 2026, 3, 5, 10);
  request.device = shanghai();
  std::vector<CalendarEntry> loaded;
  CalendarProvider::load(http, loop, request, [&](CalendarEntry entry) { loaded.push_back(std::move(entry)); });
  ASSERT_EQ(http.requestCount(), 1u);
  EXPECT_EQ(http.request(0).url, "http://127.0.0.1:4173/api/widget-feed?from=2026-03-03&to=2026-03-16");
  EXPECT_EQ(http.request(0).timeoutSeconds, 8);
  loop.advance(30);
  HttpResponse response;
  response.responded = true;
  response.status = 200;
  response.body = feedBody().dump();
  http.complete(0, response);
  loop.runUntilIdle();
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].date, request.now);
  EXPECT_EQ(loaded[0].accountEpoch, "e-1");
  EXPECT_EQ(loaded[0].zoneId, "America/New_York");
  EXPECT_FALSE(loaded[0].offline());

  CalendarProvider::load(http, loop, request, [&](CalendarEntry entry) { loaded.push_back(std::move(entry)); });
  http.complete(1, FakeHttpClient::noResponse());
  loop.runUntilIdle();
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[1].failure, FeedFailure::unreachable);
  EXPECT_EQ(loaded[1].accountEpoch, std::nullopt);
  EXPECT_TRUE(loaded[1].occurrences.empty());
}

TEST(CalendarProviderTest, APortThatIsNoPortFailsAtOnceWithoutSending) {
  ManualLoop loop;
  FakeHttpClient http;
  FeedRequest request;
  request.port = 70000;
  std::optional<CalendarEntry> loaded;
  CalendarProvider::load(http, loop, request, [&](CalendarEntry entry) { loaded = std::move(entry); });
  EXPECT_EQ(http.requestCount(), 0u);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->failure, FeedFailure::unreachable);
}

TEST(CalendarProviderTest, APreviewShowsThePlaceholderWithoutTheNetwork) {
  ManualLoop loop;
  FakeHttpClient http;
  FeedRequest request;
  request.now = at(shanghai(), 2026, 3, 5, 8);
  request.device = shanghai();
  std::optional<CalendarEntry> shown;
  CalendarProvider::snapshot(true, http, loop, request, [&](CalendarEntry entry) { shown = std::move(entry); });
  EXPECT_EQ(http.requestCount(), 0u);
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown, CalendarEntry::placeholder(request.now, shanghai()));
  ASSERT_EQ(shown->occurrences.size(), 3u);
  EXPECT_EQ(shown->occurrences[1].startLocal, "2026-03-05T14:00");
  EXPECT_EQ(shown->occurrences[2].endLocal, "2026-03-05T20:30");
  EXPECT_EQ(shown->colors.at("personal"), rgb255(30, 79, 216));
  EXPECT_EQ(shown->tasks[0].kind, WidgetTask::Kind::followUp);
  EXPECT_EQ(shown->tasks[1].activeFrom, "2026-03-05");

  CalendarProvider::snapshot(false, http, loop, request, [&](CalendarEntry entry) { shown = std::move(entry); });
  EXPECT_EQ(http.requestCount(), 1u);
}

}  // namespace
}  // namespace tovarin
