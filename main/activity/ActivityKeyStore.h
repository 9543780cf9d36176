#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Outcome.h"
#include "main/activity/SecretBytes.h"

namespace tovarin {

// Why a key store refused. Both kinds keep the status that caused them; the numbers are
// those the record has always used (the store only tells the two kinds apart).
struct ActivityKeyError {
  enum class Kind {
    accessDenied,  // the secret store refused access now (locked, not allowed); the key may exist
    failure,       // anything else
  };
  Kind kind = Kind::failure;
  int32_t status = 0;

  static constexpr int32_t kItemNotFound = -25300;
  static constexpr int32_t kDuplicateItem = -25299;
  static constexpr int32_t kInteractionNotAllowed = -25308;
  static constexpr int32_t kGenericFailure = -1;

  static ActivityKeyError accessDenied(int32_t status) { return {Kind::accessDenied, status}; }
  static ActivityKeyError failure(int32_t status) { return {Kind::failure, status}; }
  bool operator==(const ActivityKeyError&) const = default;
};

// A key store's answer.
template <typename T>
using ActivityKeyOutcome = Outcome<T, ActivityKeyError>;

struct ActivityKeyDone {};

// Where the record's keys live, by key id. The store calls it from its service queue only.
class ActivityKeyStore {
 public:
  virtual ~ActivityKeyStore() = default;
  // The key stored under `id`, or nothing when there is none (never an error).
  virtual ActivityKeyOutcome<std::optional<SecretBytes>> load(const std::string& id) = 0;
  // Stores a key under a new id; an id that already holds a key is refused and left as it was.
  virtual ActivityKeyOutcome<ActivityKeyDone> save(const std::string& id, const SecretBytes& key) = 0;
  // Removing a key that does not exist succeeds.
  virtual ActivityKeyOutcome<ActivityKeyDone> remove(const std::string& id) = 0;
  // Every key id of this record, sorted ascending in byte order.
  virtual ActivityKeyOutcome<std::vector<std::string>> allIds() = 0;
};

}  // namespace tovarin
