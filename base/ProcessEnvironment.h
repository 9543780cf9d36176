#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tovarin {

// The environment handed to child processes: the process's own environment, captured
// once, plus an overlay of variables set or removed since. It exists because nobody
// may call setenv/unsetenv while other threads run. Any thread.
class ProcessEnvironment final {
 public:
  // The program's one instance. Its first use captures environ, so make it early in
  // main(), before threads start.
  static ProcessEnvironment& shared();

  // An environment made from "NAME=value" entries; for tests and special children.
  explicit ProcessEnvironment(const std::vector<std::string>& entries);

  // False (and nothing changes) for a name that is empty or holds "=" or NUL.
  bool set(const std::string& name, const std::string& value);
  void unset(const std::string& name);
  std::optional<std::string> get(const std::string& name) const;
  // HOME when it is set and not empty, else the user's home from the password
  // database; empty when neither is known.
  std::string homeDirectory() const;
  // "NAME=value" entries, sorted by name: the captured ones with the overlay applied.
  std::vector<std::string> snapshot() const;
  std::map<std::string, std::string> values() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> values_;  // mutex_
};

}  // namespace tovarin
