#include "main/activity_core/ActivityApp.h"

#include <functional>

namespace tovarin {

Json ActivityApp::toJson() const { return Json{{"bundleId", bundleId}, {"name", name}}; }

std::optional<ActivityApp> ActivityApp::fromJson(const Json& json) {
  auto bundleId = jsonString(json, "bundleId");
  auto name = jsonString(json, "name");
  if (!bundleId || !name) return std::nullopt;
  return ActivityApp{std::move(*bundleId), std::move(*name)};
}

std::size_t ActivityAppHash::operator()(const ActivityApp& app) const {
  std::size_t seed = std::hash<std::string>{}(app.bundleId);
  seed ^= std::hash<std::string>{}(app.name) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
  return seed;
}

}  // namespace tovarin
