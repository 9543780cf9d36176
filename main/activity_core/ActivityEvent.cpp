#include "main/activity_core/ActivityEvent.h"

namespace tovarin {

double ActivityEvent::at() const {
  return std::visit([](const auto& event) { return event.at; }, payload_);
}

}  // namespace tovarin
