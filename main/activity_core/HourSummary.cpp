#include "main/activity_core/HourSummary.h"

namespace tovarin {

Json HourSummary::toJson() const {
  Json rowsJson = Json::array();
  for (const HourRow& row : rows) rowsJson.push_back(row.toJson());
  return Json{{"hourStart", hourStart}, {"hourEnd", hourEnd}, {"rows", std::move(rowsJson)}, {"totalSeconds", totalSeconds}};
}

std::optional<HourSummary> HourSummary::fromJson(const Json& json) {
  if (!json.is_object()) return std::nullopt;
  auto hourStart = jsonNumber(json, "hourStart");
  auto hourEnd = jsonNumber(json, "hourEnd");
  auto totalSeconds = jsonNumber(json, "totalSeconds");
  auto rowsJson = json.find("rows");
  if (!hourStart || !hourEnd || !totalSeconds || rowsJson == json.end() || !rowsJson->is_array()) return std::nullopt;
  HourSummary summary{*hourStart, *hourEnd, {}, *totalSeconds};
  for (const Json& rowJson : *rowsJson) {
    auto row = HourRow::fromJson(rowJson);
    if (!row) return std::nullopt;
    summary.rows.push_back(std::move(*row));
  }
  return summary;
}

}  // namespace tovarin
