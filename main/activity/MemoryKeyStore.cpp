#include "main/activity/MemoryKeyStore.h"

namespace tovarin {

ActivityKeyOutcome<std::optional<SecretBytes>> MemoryKeyStore::load(const std::string& id) {
  if (loadError) return ActivityKeyOutcome<std::optional<SecretBytes>>::failed(*loadError);
  auto found = keys_.find(id);
  if (found == keys_.end()) return {std::nullopt, std::nullopt};
  return {found->second, std::nullopt};
}

ActivityKeyOutcome<ActivityKeyDone> MemoryKeyStore::save(const std::string& id, const SecretBytes& key) {
  keys_[id] = key;
  return {};
}

ActivityKeyOutcome<ActivityKeyDone> MemoryKeyStore::remove(const std::string& id) {
  keys_.erase(id);
  return {};
}

ActivityKeyOutcome<std::vector<std::string>> MemoryKeyStore::allIds() { return {ids(), std::nullopt}; }

std::vector<std::string> MemoryKeyStore::ids() const {
  std::vector<std::string> ids;
  for (const auto& entry : keys_) ids.push_back(entry.first);  // a std::map is already in byte order
  return ids;
}

}  // namespace tovarin
