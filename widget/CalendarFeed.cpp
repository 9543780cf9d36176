#include "widget/CalendarFeed.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

#include "base/TaskRunner.h"
#include "base/Text.h"
#include "widget/HexColor.h"
#include "widget/WidgetText.h"

namespace tovarin::CalendarFeed {

namespace {

std::optional<int64_t> parseSignedDecimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulate towards the negative side, which holds one more value than the positive.
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    int digit = c - '0';
    if (value < (std::numeric_limits<int64_t>::min() + digit) / 10) return std::nullopt;
    value = value * 10 - digit;
  }
  if (negative) return value;
  if (value == std::numeric_limits<int64_t>::min()) return std::nullopt;
  return -value;
}

bool bodyContains(const HttpResponse& response, std::string_view marker) {
  return text::isValidUtf8(response.body) && response.body.find(marker) != std::string::npos;
}

struct Envelope {
  std::vector<Occurrence> occurrences;
  std::string epoch;
  bool runtimeReady = false;
  std::optional<std::string> zone;
};

// Every key required, each with its JSON type; a null zone counts as missing.
std::optional<Envelope> decodeEnvelope(const Json& body) {
  if (!body.is_object()) return std::nullopt;
  auto rev = body.find("rev");
  if (rev == body.end() || !jsonInteger(*rev)) return std::nullopt;
  auto epoch = jsonString(body, "epoch");
  auto occurrences = body.find("occurrences");
  auto zone = body.find("calendarTimeZone");
  if (!epoch || occurrences == body.end() || !occurrences->is_array() || zone == body.end()) return std::nullopt;
  Envelope envelope;
  envelope.epoch = *epoch;
  for (const Json& item : *occurrences) {
    auto occurrence = Occurrence::decode(item);
    if (!occurrence) return std::nullopt;
    envelope.occurrences.push_back(std::move(*occurrence));
  }
  if (!zone->is_object()) return std::nullopt;
  auto ready = jsonBool(*zone, "runtimeReady");
  if (!ready || !readOptionalString(*zone, "zone", envelope.zone)) return std::nullopt;
  envelope.runtimeReady = *ready;
  return envelope;
}

bool isArrayOfObjects(const Json& body, const char* key) {
  auto found = body.find(key);
  if (found == body.end() || !found->is_array()) return false;
  return std::all_of(found->begin(), found->end(), [](const Json& item) { return item.is_object(); });
}

CalendarColors colorsOf(const Json& calendars) {
  CalendarColors colors;
  for (const Json& calendar : calendars) {
    auto id = jsonString(calendar, "id");
    auto color = jsonString(calendar, "color");
    if (!id || !color) continue;
    colors[*id] = HexColor::channels(*color);
  }
  return colors;
}

// A follow-up's first day, or nullopt when the follow-up is not waiting for the user.
std::optional<std::string> followUpDay(const Json& task) {
  auto followUp = task.find("followUp");
  if (followUp == task.end() || !followUp->is_object() || followUp->empty()) return std::nullopt;
  if (jsonString(*followUp, "policy") != "after_complete") return std::nullopt;
  std::string status = jsonString(*followUp, "status").value_or("idle");
  if (status == "answered" || status == "dismissed") return std::nullopt;
  auto completion = task.find("completion");
  if (completion != task.end() && completion->is_object() && jsonString(*completion, "confirmedAt")) {
    return std::nullopt;
  }
  auto nextAt = jsonString(*followUp, "nextAt");
  if (!nextAt) return std::nullopt;
  std::string day = WidgetText::prefix(*nextAt, 10);
  if (auto snoozed = jsonString(*followUp, "snoozedUntil")) day = std::max(day, WidgetText::prefix(*snoozed, 10));
  return day;
}

void sortByActiveFrom(std::vector<WidgetTask>& tasks) {
  std::stable_sort(tasks.begin(), tasks.end(),
                   [](const WidgetTask& a, const WidgetTask& b) { return a.activeFrom < b.activeFrom; });
}

}  // namespace

int64_t portFromInfo(const std::optional<Json>& info) {
  if (!info || !info->is_object()) return defaultPort;
  auto value = info->find(portKey);
  if (value == info->end()) return defaultPort;
  if (auto integer = jsonInteger(*value)) return *integer;
  if (value->is_string()) {
    if (auto parsed = parseSignedDecimal(value->get_ref<const std::string&>())) return *parsed;
  }
  return defaultPort;
}

int64_t readPort(const std::string& infoPath) {
  std::ifstream file(infoPath, std::ios::binary);
  if (!file) return defaultPort;
  std::ostringstream text;
  text << file.rdbuf();
  return portFromInfo(parseJson(text.str()));
}

std::string base(int64_t port) { return "http://127.0.0.1:" + std::to_string(port); }

std::string dayKey(double time, const Calendar& zone) {
  auto fields = zone.fields(time);
  if (!fields) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", fields->year, fields->month, fields->day);
  return text;
}

double addingDaysOrSame(double time, int days, const Calendar& zone) {
  return zone.addingDays(time, days).value_or(time);
}

std::optional<std::string> requestUrl(const FeedRequest& request) {
  if (request.port < 0 || request.port > 65535) return std::nullopt;
  std::string from = dayKey(addingDaysOrSame(request.now, -2, request.device), request.device);
  std::string to = dayKey(addingDaysOrSame(request.now, request.days + 3, request.device), request.device);
  if (from.empty() || to.empty()) return std::nullopt;
  return base(request.port) + "/api/widget-feed?from=" + from + "&to=" + to;
}

std::optional<FeedFailure> failureFor(const HttpResponse& response) {
  if (!response.responded) return std::nullopt;
  switch (response.status) {
    case 200:
      return std::nullopt;
    case 401:
    case 403:
      return bodyContains(response, "ACCOUNT_STORAGE_LOCKED") ? FeedFailure::signedOut : FeedFailure::locked;
    case 409:
      return bodyContains(response, "WIDGET_ACCOUNT_ZONE_NOT_PROJECTED") ? FeedFailure::zoneUnavailable
                                                                           : FeedFailure::accountChanged;
    case 503:
      return bodyContains(response, "WIDGET_ACCOUNT_ZONE_UNVERIFIED") ? FeedFailure::zoneUnverified
                                                                        : FeedFailure::malformed;
    default:
      return FeedFailure::malformed;
  }
}

FeedResult interpret(const HttpResponse& response, const FeedRequest& request) {
  if (auto failure = failureFor(response)) return *failure;
  if (!response.responded) return FeedFailure::unreachable;
  auto body = parseJson(response.body);
  if (!body) return FeedFailure::malformed;
  auto envelope = decodeEnvelope(*body);
  if (!envelope || envelope->epoch.empty()) return FeedFailure::malformed;
  if (!isArrayOfObjects(*body, "calendars") || !isArrayOfObjects(*body, "tasks")) return FeedFailure::malformed;

  FeedData data;
  Calendar working = request.device;
  if (envelope->runtimeReady) {
    auto zone = envelope->zone ? Calendar::gregorian(*envelope->zone) : std::nullopt;
    if (!zone) return FeedFailure::zoneUnavailable;
    data.zoneId = *envelope->zone;
    working = *zone;
  }
  data.colors = colorsOf((*body)["calendars"]);
  std::string horizon = dayKey(addingDaysOrSame(request.now, request.days, working), working);
  std::string floor = dayKey(addingDaysOrSame(request.now, -followUpLookbackDays, working), working);
  const Json& tasks = (*body)["tasks"];
  data.tasks = parseTasks(std::vector<Json>(tasks.begin(), tasks.end()), horizon, floor);
  data.occurrences = std::move(envelope->occurrences);
  data.epoch = std::move(envelope->epoch);
  return data;
}

std::vector<WidgetTask> parseTasks(const std::vector<Json>& objects, const std::string& horizon,
                                   const std::string& followUpFloor) {
  std::vector<WidgetTask> followUps;
  std::vector<WidgetTask> due;
  for (const Json& task : objects) {
    if (!task.is_object()) continue;
    auto id = jsonString(task, "id");
    auto title = jsonString(task, "title");
    if (!id || !title || title->empty()) continue;
    std::string status = jsonString(task, "status").value_or("open");
    if (status != "done") {
      auto dueText = jsonString(task, "due");
      if (!dueText) continue;
      std::string activeFrom = WidgetText::prefix(*dueText, 10);
      if (activeFrom <= horizon) due.push_back({*id, *title, WidgetTask::Kind::due, activeFrom});
      continue;
    }
    auto activeFrom = followUpDay(task);
    if (!activeFrom || *activeFrom < followUpFloor || *activeFrom > horizon) continue;
    followUps.push_back({*id, *title, WidgetTask::Kind::followUp, *activeFrom});
  }
  sortByActiveFrom(followUps);
  sortByActiveFrom(due);
  followUps.insert(followUps.end(), due.begin(), due.end());
  return followUps;
}

void fetch(HttpClient& http, TaskRunner& completionQueue, const FeedRequest& request,
           std::function<void(FeedResult)> completion) {
  auto url = requestUrl(request);
  if (!url) {
    completion(FeedFailure::unreachable);
    return;
  }
  HttpRequest get;
  get.url = *url;
  get.timeoutSeconds = requestTimeoutSeconds;
  http.send(std::move(get), completionQueue,
            [request, completion = std::move(completion)](HttpResponse response) {
              completion(interpret(response, request));
            });
}

}  // namespace tovarin::CalendarFeed
