#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "base/Json.h"

namespace tovarin {

// The user's small settings, kept in one JSON object file that is rewritten
// atomically (temporary file + rename) on every change, so a crash never leaves half
// a file. An absent key reads as 0, 0.0, false or no string. Any thread.
class UserDefaults final {
 public:
  // The program's file: $XDG_CONFIG_HOME/TheTovarin/defaults.json (else ~/.config/...).
  static std::string standardPath();
  explicit UserDefaults(std::string path);

  std::optional<std::string> string(const std::string& key) const;
  int64_t integer(const std::string& key) const;
  double number(const std::string& key) const;
  bool boolean(const std::string& key) const;
  bool contains(const std::string& key) const;

  void setString(const std::string& key, const std::string& value);
  void setInteger(const std::string& key, int64_t value);
  void setNumber(const std::string& key, double value);
  void setBoolean(const std::string& key, bool value);
  void remove(const std::string& key);

  const std::string& path() const { return path_; }

 private:
  void store(const std::string& key, Json value);
  void save() const;  // mutex_ held

  const std::string path_;
  bool saves_ = true;  // false while an unreadable file stays where it is
  mutable std::mutex mutex_;
  Json values_;  // mutex_
};

}  // namespace tovarin
