#pragma once

#include <variant>

#include "main/activity/ActivityBridgeError.h"
#include "main/activity_core/ActivityDenial.h"
#include "main/activity_core/ActivityQueryResult.h"

namespace tovarin {

// The one answer of a bridge connection.
class ActivityBridgeReply final {
 public:
  struct Acknowledged {
    bool operator==(const Acknowledged&) const = default;
  };
  using Payload = std::variant<ActivityQueryResult, ActivityDenial, ActivityBridgeError, Acknowledged>;

  [[nodiscard]] static ActivityBridgeReply items(ActivityQueryResult result) { return ActivityBridgeReply(std::move(result)); }
  [[nodiscard]] static ActivityBridgeReply denied(ActivityDenial denial) { return ActivityBridgeReply(denial); }
  [[nodiscard]] static ActivityBridgeReply error(ActivityBridgeError error) { return ActivityBridgeReply(error); }
  [[nodiscard]] static ActivityBridgeReply acknowledged() { return ActivityBridgeReply(Acknowledged{}); }

  [[nodiscard]] const Payload& payload() const { return payload_; }

  bool operator==(const ActivityBridgeReply&) const = default;

 private:
  explicit ActivityBridgeReply(Payload payload) : payload_(std::move(payload)) {}

  Payload payload_;
};

}  // namespace tovarin
