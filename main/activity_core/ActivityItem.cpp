#include "main/activity_core/ActivityItem.h"

namespace tovarin {

Json ActivityItem::toJson() const {
  Json json{{"id", id}, {"start", start}, {"end", end}, {"app", app}, {"title", title}, {"durationMin", durationMin}};
  if (domain) json["domain"] = *domain;
  return json;
}

}  // namespace tovarin
