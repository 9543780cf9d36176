#include "main/activity_core/ActivityInterval.h"

#include <cmath>

namespace tovarin {

double ActivityInterval::seconds() const {
  double difference = end - start;
  if (std::isnan(difference) || difference < 0) return 0;
  return difference;
}

Json ActivityInterval::toJson() const {
  Json json{{"id", id}, {"bundleId", bundleId}, {"appName", appName}, {"title", title}, {"start", start}, {"end", end}};
  if (domain) json["domain"] = *domain;
  return json;
}

std::optional<ActivityInterval> ActivityInterval::fromJson(const Json& json) {
  if (!json.is_object()) return std::nullopt;
  auto id = jsonString(json, "id");
  auto bundleId = jsonString(json, "bundleId");
  auto appName = jsonString(json, "appName");
  auto title = jsonString(json, "title");
  auto start = jsonNumber(json, "start");
  auto end = jsonNumber(json, "end");
  if (!id || !bundleId || !appName || !title || !start || !end) return std::nullopt;
  std::optional<std::string> domain;
  if (!readOptionalString(json, "domain", domain)) return std::nullopt;
  return ActivityInterval{std::move(*id), std::move(*bundleId), std::move(*appName), std::move(*title),
                          std::move(domain), *start, *end};
}

}  // namespace tovarin
