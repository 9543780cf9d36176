#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "main/activity_core/ActivityApp.h"
#include "main/activity_core/ActivitySettings.h"
#include "main/activity_core/SuspendReason.h"

namespace tovarin {

// The one input of the interval builder: what the capture saw, or what the service
// decided. Every event carries the moment `at` it took effect.
class ActivityEvent final {
 public:
  struct Frontmost {
    std::optional<ActivityApp> app;
    double at = 0;
    bool operator==(const Frontmost&) const = default;
  };
  struct Title {
    std::optional<std::string> title;
    std::optional<std::string> domain;
    bool incognito = false;
    double at = 0;
    bool operator==(const Title&) const = default;
  };
  struct Suspend {
    SuspendReason reason;
    double at = 0;
    bool operator==(const Suspend&) const = default;
  };
  struct Resume {
    SuspendReason reason;
    double at = 0;
    bool operator==(const Resume&) const = default;
  };
  struct Settings {
    ActivitySettings settings;
    double at = 0;
    bool operator==(const Settings&) const = default;
  };
  struct Flush {
    double at = 0;
    bool operator==(const Flush&) const = default;
  };
  using Payload = std::variant<Frontmost, Title, Suspend, Resume, Settings, Flush>;

  [[nodiscard]] static ActivityEvent frontmost(std::optional<ActivityApp> app, double at) {
    return ActivityEvent(Frontmost{std::move(app), at});
  }
  [[nodiscard]] static ActivityEvent title(std::optional<std::string> title, std::optional<std::string> domain,
                                           bool incognito, double at) {
    return ActivityEvent(Title{std::move(title), std::move(domain), incognito, at});
  }
  [[nodiscard]] static ActivityEvent suspend(SuspendReason reason, double at) { return ActivityEvent(Suspend{reason, at}); }
  [[nodiscard]] static ActivityEvent resume(SuspendReason reason, double at) { return ActivityEvent(Resume{reason, at}); }
  [[nodiscard]] static ActivityEvent settings(ActivitySettings settings, double at) {
    return ActivityEvent(Settings{std::move(settings), at});
  }
  [[nodiscard]] static ActivityEvent flush(double at) { return ActivityEvent(Flush{at}); }

  [[nodiscard]] const Payload& payload() const { return payload_; }
  [[nodiscard]] double at() const;

  bool operator==(const ActivityEvent&) const = default;

 private:
  explicit ActivityEvent(Payload payload) : payload_(std::move(payload)) {}

  Payload payload_;
};

}  // namespace tovarin
