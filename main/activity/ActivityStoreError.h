#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "base/Outcome.h"
#include "main/activity/ActivityKeyStore.h"
#include "main/activity_core/ActivityStoreState.h"

namespace tovarin {

// Why the encrypted store refused or failed an operation.
struct ActivityStoreError {
  enum class Kind {
    notReady,      // no connection, not ready, or no current key; `state` says which state
    sqlite,        // `code` is SQLite's result, `message` its text
    corrupt,       // declared for unreadable records; unreadable rows are skipped instead
    invalidOwner,  // an owner that is not an account hash
    keyStore,      // the key store refused; `keyError` says how
    fileSystem,    // making the directory or removing a file failed; `code` is errno
    sealFailed,    // the cipher produced nothing (no random source, no key)
  };
  Kind kind = Kind::sqlite;
  ActivityStoreState state = ActivityStoreState::absent;
  int32_t code = 0;
  std::string message;
  std::optional<ActivityKeyError> keyError;

  static ActivityStoreError notReady(ActivityStoreState state) { return {Kind::notReady, state, 0, {}, {}}; }
  static ActivityStoreError sqlite(int32_t code, std::string message) {
    return {Kind::sqlite, ActivityStoreState::absent, code, std::move(message), {}};
  }
  static ActivityStoreError invalidOwner() { return {Kind::invalidOwner, ActivityStoreState::absent, 0, {}, {}}; }
  static ActivityStoreError keyStore(ActivityKeyError why) {
    return {Kind::keyStore, ActivityStoreState::absent, why.status, {}, why};
  }
  static ActivityStoreError fileSystem(int32_t error, std::string message) {
    return {Kind::fileSystem, ActivityStoreState::absent, error, std::move(message), {}};
  }
  static ActivityStoreError sealFailed() { return {Kind::sealFailed, ActivityStoreState::absent, 0, {}, {}}; }

  bool operator==(const ActivityStoreError&) const = default;
};

// A store operation's answer.
template <typename T>
using ActivityStoreOutcome = Outcome<T, ActivityStoreError>;

using ActivityStoreDone = std::monostate;

}  // namespace tovarin
