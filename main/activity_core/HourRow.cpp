#include "main/activity_core/HourRow.h"

namespace tovarin {

Json HourRow::toJson() const {
  Json json{{"bundleId", bundleId}, {"app", app},     {"title", title},
            {"seconds", seconds},   {"first", first}, {"last", last}};
  if (domain) json["domain"] = *domain;
  return json;
}

std::optional<HourRow> HourRow::fromJson(const Json& json) {
  if (!json.is_object()) return std::nullopt;
  auto bundleId = jsonString(json, "bundleId");
  auto app = jsonString(json, "app");
  auto title = jsonString(json, "title");
  auto seconds = jsonNumber(json, "seconds");
  auto first = jsonNumber(json, "first");
  auto last = jsonNumber(json, "last");
  if (!bundleId || !app || !title || !seconds || !first || !last) return std::nullopt;
  std::optional<std::string> domain;
  if (!readOptionalString(json, "domain", domain)) return std::nullopt;
  return HourRow{std::move(*bundleId), std::move(*app), std::move(*title), std::move(domain), *seconds, *first, *last};
}

}  // namespace tovarin
