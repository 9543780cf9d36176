#include "main/windows/StickySettingsState.h"

namespace tovarin {

StickySettingsState::Intent StickySettingsState::begin(const std::string& key, const std::string& value,
                                                      const std::string& fallback) {
  ++generation_;
  const auto earlier = pending_.find(key);
  Intent intent{key, value, earlier != pending_.end() ? earlier->second.fallback : fallback, generation_, false};
  pending_[key] = intent;
  return intent;
}

const StickySettingsState::Intent* StickySettingsState::pendingFor(const Intent& intent) const {
  const auto entry = pending_.find(intent.key);
  if (entry == pending_.end() || entry->second.generation != intent.generation) return nullptr;
  return &entry->second;
}

bool StickySettingsState::isCurrent(const Intent& intent) const { return pendingFor(intent) != nullptr; }

bool StickySettingsState::needsDispatch(const Intent& intent) const {
  const Intent* entry = pendingFor(intent);
  return entry && !entry->dispatched;
}

bool StickySettingsState::didDispatch(const Intent& intent) {
  if (!isCurrent(intent)) return false;
  pending_[intent.key].dispatched = true;
  return true;
}

StickySettingsState::Read StickySettingsState::beginRead() { return Read{++readSequence_, generation_}; }

StickySettingsState::Values StickySettingsState::receive(const Values& values, const Read& read) {
  if (read.generation != generation_ || read.sequence <= lastAcceptedRead_) return {};
  lastAcceptedRead_ = read.sequence;
  for (const auto& [key, value] : values) serverValues_[key] = value;

  Values passed;
  for (const auto& [key, value] : values) {
    const auto entry = pending_.find(key);
    if (entry == pending_.end()) {
      passed[key] = value;
    } else if (entry->second.dispatched && entry->second.value == value) {
      pending_.erase(entry);
      passed[key] = value;
    }
  }
  return passed;
}

std::optional<std::string> StickySettingsState::fail(const Intent& intent) {
  if (!isCurrent(intent)) return std::nullopt;
  pending_.erase(intent.key);
  ++generation_;
  const auto known = serverValues_.find(intent.key);
  return known != serverValues_.end() ? known->second : intent.fallback;
}

}  // namespace tovarin
