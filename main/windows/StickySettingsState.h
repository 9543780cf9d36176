#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tovarin {

// The bookkeeping of the sticky window's shared settings: which of the user's own changes
// still wait for the server to confirm them, and which read-backs of the server are new
// enough to count. A value type without timers or I/O; its owner lives on the main loop.
//
// A change or a failure moves `generation`, so that a read-back that began before it
// cannot undo it; read-backs are numbered so that an older answer arriving late is ignored.
class StickySettingsState {
 public:
  using Values = std::map<std::string, std::string>;

  // One optimistic change, already on screen.
  struct Intent {
    std::string key;
    std::string value;
    std::string fallback;  // what to return to when the change is never confirmed
    uint64_t generation = 0;
    bool dispatched = false;  // the page has taken the change into its store
    bool operator==(const Intent&) const = default;
  };

  // One read-back of the server's data.
  struct Read {
    uint64_t sequence = 0;
    uint64_t generation = 0;
    bool operator==(const Read&) const = default;
  };

  explicit StickySettingsState(std::map<std::string, Intent> pending = {}) : pending_(std::move(pending)) {}

  // A new change of `key`. A change that replaces one still pending keeps that one's
  // fallback, so a quick series rolls back to the value before the first of them.
  Intent begin(const std::string& key, const std::string& value, const std::string& fallback);
  // The intent is still the pending change of its key.
  bool isCurrent(const Intent& intent) const;
  bool needsDispatch(const Intent& intent) const;
  // Marks the current intent as taken by the page; false when it is no longer current.
  bool didDispatch(const Intent& intent);
  Read beginRead();
  // The server values of an answered read that should reach the window: none when the read
  // is stale; a key passes when nothing of the user's is pending for it, or when the
  // pending change was taken by the page and the server now holds its value (confirmed).
  Values receive(const Values& values, const Read& read);
  // The change was not confirmed in time: forgets it and returns the value to roll back
  // to (the server's last known value, else the fallback), or nothing when the intent is
  // no longer current (confirmed, replaced or failed before).
  std::optional<std::string> fail(const Intent& intent);

  const std::map<std::string, Intent>& pending() const { return pending_; }
  uint64_t generation() const { return generation_; }
  uint64_t readSequence() const { return readSequence_; }
  uint64_t lastAcceptedRead() const { return lastAcceptedRead_; }

 private:
  const Intent* pendingFor(const Intent& intent) const;

  std::map<std::string, Intent> pending_;  // at most one change per key
  Values serverValues_;                   // the last accepted server values
  uint64_t generation_ = 0;
  uint64_t readSequence_ = 0;
  uint64_t lastAcceptedRead_ = 0;
};

}  // namespace tovarin
