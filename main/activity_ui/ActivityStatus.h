#pragma once

#include <optional>
#include <string>

#include "main/activity/ActivityService.h"
#include "main/activity_core/ActivityStoreState.h"

namespace tovarin {

// What the activity record is doing, as the menu and the settings window tell it.
// Pure value; any thread.
struct ActivityStatus {
  enum class Kind {
    otherAccount,  // `kept`: the user left the record with its first account
    recording,     // `frontName`: the app in front while it is one the record keeps
    unavailable,   // `storeState`: why the store is not ready
    off,
    opening,
    waitingForAccount,
    signedOut,
    unbound,
    needsAccess,
    paused,
  };

  Kind kind = Kind::off;
  bool kept = false;
  std::optional<std::string> frontName;
  ActivityStoreState storeState = ActivityStoreState::absent;

  static ActivityStatus of(Kind kind) { return {kind, false, std::nullopt, ActivityStoreState::absent}; }
  static ActivityStatus otherAccount(bool kept) { return {Kind::otherAccount, kept, std::nullopt, {}}; }
  static ActivityStatus recording(std::optional<std::string> name) {
    return {Kind::recording, false, std::move(name), {}};
  }
  static ActivityStatus unavailable(ActivityStoreState state) { return {Kind::unavailable, false, std::nullopt, state}; }

  // The first rule that holds: off, opening, the store, then the record's owner.
  [[nodiscard]] static ActivityStatus derive(const ActivityService::Snapshot& snapshot, bool opening,
                                             const std::optional<std::string>& frontName, bool trusted);

  // The status menu item's title; never names the app.
  [[nodiscard]] std::string menuTitle() const;
  // One line about the status, for the submenu and the settings window.
  [[nodiscard]] std::string statusLine() const;

  // Payloads count only for the case that carries them.
  bool operator==(const ActivityStatus& other) const;
};

}  // namespace tovarin
