#include "tests/support/ActivityEventText.h"

#include <cmath>
#include <sstream>

namespace tovarin {

std::string activityEventText(const ActivityEvent& event, double origin) {
  std::ostringstream out;
  std::visit(
      [&](const auto& payload) {
        using T = std::decay_t<decltype(payload)>;
        if constexpr (std::is_same_v<T, ActivityEvent::Frontmost>) {
          out << "frontmost(" << (payload.app ? payload.app->bundleId + "/" + payload.app->name : "none") << ")";
        } else if constexpr (std::is_same_v<T, ActivityEvent::Title>) {
          out << "title(" << payload.title.value_or("<none>") << "," << payload.domain.value_or("<none>") << ","
              << (payload.incognito ? "incognito" : "normal") << ")";
        } else if constexpr (std::is_same_v<T, ActivityEvent::Suspend>) {
          out << "suspend(" << rawValue(payload.reason) << ")";
        } else if constexpr (std::is_same_v<T, ActivityEvent::Resume>) {
          out << "resume(" << rawValue(payload.reason) << ")";
        } else if constexpr (std::is_same_v<T, ActivityEvent::Settings>) {
          out << "settings";
        } else {
          out << "flush";
        }
        out << "@" << std::lround((payload.at - origin) * 1000) << "ms";
      },
      event.payload());
  return out.str();
}

}  // namespace tovarin
