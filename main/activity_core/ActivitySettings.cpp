#include "main/activity_core/ActivitySettings.h"

#include <algorithm>

namespace tovarin {

int ActivitySettings::clampRetention(int64_t days) {
  return static_cast<int>(std::clamp<int64_t>(days, minRetentionDays, maxRetentionDays));
}

int ActivitySettings::clampIdleMinutes(int64_t minutes) {
  return static_cast<int>(std::clamp<int64_t>(minutes, minIdleMinutes, maxIdleMinutes));
}

Json ActivitySettings::toJson() const {
  return Json{{"enabled", enabled},           {"paused", paused},
              {"included", included},         {"retentionDays", retentionDays},
              {"browserDomains", browserDomains}, {"idleMinutes", idleMinutes}};
}

namespace {

// nullptr when the key is missing or null: the default stays.
const Json* present(const Json& object, const char* key) {
  auto found = object.find(key);
  if (found == object.end() || found->is_null()) return nullptr;
  return &*found;
}

bool readBool(const Json& object, const char* key, bool& field) {
  const Json* value = present(object, key);
  if (!value) return true;
  auto parsed = jsonBool(*value);
  if (!parsed) return false;
  field = *parsed;
  return true;
}

bool readInteger(const Json& object, const char* key, int& field, int (*clamp)(int64_t)) {
  const Json* value = present(object, key);
  if (!value) return true;
  auto parsed = jsonInteger(*value);
  if (!parsed) return false;
  field = clamp(*parsed);
  return true;
}

bool readStrings(const Json& object, const char* key, std::vector<std::string>& field) {
  const Json* value = present(object, key);
  if (!value) return true;
  if (!value->is_array()) return false;
  std::vector<std::string> strings;
  strings.reserve(value->size());
  for (const Json& element : *value) {
    if (!element.is_string()) return false;
    strings.push_back(element.get<std::string>());
  }
  field = std::move(strings);
  return true;
}

}  // namespace

std::optional<ActivitySettings> ActivitySettings::fromJson(const Json& json) {
  if (!json.is_object()) return std::nullopt;
  ActivitySettings settings;
  bool ok = readBool(json, "enabled", settings.enabled) && readBool(json, "paused", settings.paused) &&
            readStrings(json, "included", settings.included) &&
            readInteger(json, "retentionDays", settings.retentionDays, &clampRetention) &&
            readBool(json, "browserDomains", settings.browserDomains) &&
            readInteger(json, "idleMinutes", settings.idleMinutes, &clampIdleMinutes);
  if (!ok) return std::nullopt;
  return settings;
}

}  // namespace tovarin
