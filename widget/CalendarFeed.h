#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/Calendar.h"
#include "base/HttpClient.h"
#include "base/Json.h"
#include "tokens/TovarinColorToken.h"
#include "widget/FeedFailure.h"
#include "widget/Occurrence.h"
#include "widget/WidgetTask.h"

namespace tovarin {

using CalendarColors = std::map<std::string, TovarinColorToken::Channels>;

// What a good answer of the feed yields.
struct FeedData {
  std::vector<Occurrence> occurrences;  // in the server's order
  CalendarColors colors;
  std::vector<WidgetTask> tasks;
  std::string epoch;
  std::optional<std::string> zoneId;  // the account's zone, when the server vouches for it

  bool operator==(const FeedData&) const = default;
};

using FeedResult = std::variant<FeedFailure, FeedData>;

// One fetch: where the server listens, how many days, the moment asked about and the
// device's zone (which keys the request window).
struct FeedRequest {
  int64_t port = 4173;
  int days = 8;
  double now = 0;
  Calendar device = Calendar::gregorianInCurrentZone();
};

// The local server's widget feed "/api/widget-feed": the request, the checks of its
// answer and the values it yields. Pure functions, except fetch(). Any thread.
namespace CalendarFeed {

inline constexpr int64_t defaultPort = 4173;
inline constexpr int horizonDays = 8;
inline constexpr int followUpLookbackDays = 14;
inline constexpr double requestTimeoutSeconds = 8;
inline constexpr const char* portKey = "VORNServerPort";

// The port from the widget's own Info.json value: an integer as it stands; a text of
// an optional sign and decimal digits that fits 64 bits; 4173 otherwise.
[[nodiscard]] int64_t portFromInfo(const std::optional<Json>& info);
// Reads the Info.json file at `path` anew on each call.
[[nodiscard]] int64_t readPort(const std::string& infoPath);
// "http://127.0.0.1:<port>".
[[nodiscard]] std::string base(int64_t port);

// "yyyy-MM-dd" of `time` in the calendar's zone; "" when the time is out of range.
[[nodiscard]] std::string dayKey(double time, const Calendar& zone);
// `days` calendar days after `time` (before, when negative); `time` itself when the
// calendar cannot say.
[[nodiscard]] double addingDaysOrSame(double time, int days, const Calendar& zone);

// The feed URL for two days back to days + 3 ahead in the device's zone; nullopt when
// no URL can be made (a port that is not one).
[[nodiscard]] std::optional<std::string> requestUrl(const FeedRequest& request);

// The failure that the status and the body's markers alone decide; none for a 200 or
// when no response arrived.
[[nodiscard]] std::optional<FeedFailure> failureFor(const HttpResponse& response);
// The whole judgement of one answer to `request`.
[[nodiscard]] FeedResult interpret(const HttpResponse& response, const FeedRequest& request);

// The tasks to show: follow-ups that came due since followUpFloor, then due tasks,
// each up to the horizon and sorted stably by the day they become active.
[[nodiscard]] std::vector<WidgetTask> parseTasks(const std::vector<Json>& objects, const std::string& horizon,
                                                 const std::string& followUpFloor);

// Sends the request and calls `completion` exactly once on `completionQueue`, or at
// once on the calling thread when no URL can be made (with unreachable).
void fetch(HttpClient& http, TaskRunner& completionQueue, const FeedRequest& request,
           std::function<void(FeedResult)> completion);

}  // namespace CalendarFeed
}  // namespace tovarin
