#pragma once

#include <optional>
#include <string>
#include <variant>

#include "main/activity_core/ActivityQueryArgs.h"

namespace tovarin {

// What the local server asks of the activity record, as parsed from one request line.
class ActivityBridgeRequest final {
 public:
  // A question for items; the owner is the account the server has signed in.
  struct Query {
    std::string owner;
    ActivityQueryArgs args;
    bool operator==(const Query&) const = default;
  };
  // Which account is signed in; none when nobody is.
  struct OwnerReport {
    std::optional<std::string> owner;
    bool operator==(const OwnerReport&) const = default;
  };
  using Payload = std::variant<Query, OwnerReport>;

  [[nodiscard]] static ActivityBridgeRequest query(std::string owner, ActivityQueryArgs args) {
    return ActivityBridgeRequest(Query{std::move(owner), std::move(args)});
  }
  [[nodiscard]] static ActivityBridgeRequest ownerReport(std::optional<std::string> owner) {
    return ActivityBridgeRequest(OwnerReport{std::move(owner)});
  }

  [[nodiscard]] const Payload& payload() const { return payload_; }
  [[nodiscard]] const Query* asQuery() const { return std::get_if<Query>(&payload_); }
  [[nodiscard]] const OwnerReport* asOwnerReport() const { return std::get_if<OwnerReport>(&payload_); }
  // The owner either kind carries: a query's owner counts as a report too.
  [[nodiscard]] std::optional<std::string> reportedOwner() const;

  bool operator==(const ActivityBridgeRequest&) const = default;

 private:
  explicit ActivityBridgeRequest(Payload payload) : payload_(std::move(payload)) {}

  Payload payload_;
};

}  // namespace tovarin
