#pragma once

#include <map>

#include "main/activity/ActivityKeyStore.h"

namespace tovarin {

// Keys in memory, for tests and for trying the record without a secret store. Unlike a
// real store, save() and put() replace a key already held under the id. One thread at a
// time.
class MemoryKeyStore final : public ActivityKeyStore {
 public:
  ActivityKeyOutcome<std::optional<SecretBytes>> load(const std::string& id) override;
  ActivityKeyOutcome<ActivityKeyDone> save(const std::string& id, const SecretBytes& key) override;
  ActivityKeyOutcome<ActivityKeyDone> remove(const std::string& id) override;
  ActivityKeyOutcome<std::vector<std::string>> allIds() override;

  // While set, every load() fails with it; the other operations keep working.
  std::optional<ActivityKeyError> loadError;

  std::vector<std::string> ids() const;
  void put(const std::string& id, SecretBytes key) { keys_[id] = std::move(key); }
  void removeAll() { keys_.clear(); }
  const std::map<std::string, SecretBytes>& keys() const { return keys_; }

 private:
  std::map<std::string, SecretBytes> keys_;
};

}  // namespace tovarin
