#include "base/ProcessEnvironment.h"

#include <pwd.h>
#include <unistd.h>

extern char** environ;

namespace tovarin {
namespace {

std::vector<std::string> capturedEnviron() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry && *entry; ++entry) entries.emplace_back(*entry);
  return entries;
}

}  // namespace

ProcessEnvironment& ProcessEnvironment::shared() {
  static ProcessEnvironment* instance = new ProcessEnvironment(capturedEnviron());
  return *instance;
}

ProcessEnvironment::ProcessEnvironment(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    size_t equals = entry.find('=');
    // An entry without "=" or with an empty name cannot be passed on faithfully; the
    // first of two entries with the same name is the one getenv would have returned.
    if (equals == std::string::npos || equals == 0) continue;
    values_.emplace(entry.substr(0, equals), entry.substr(equals + 1));
  }
}

bool ProcessEnvironment::set(const std::string& name, const std::string& value) {
  if (name.empty() || name.find('=') != std::string::npos || name.find('\0') != std::string::npos) return false;
  std::lock_guard lock(mutex_);
  values_[name] = value.substr(0, value.find('\0'));
  return true;
}

void ProcessEnvironment::unset(const std::string& name) {
  std::lock_guard lock(mutex_);
  values_.erase(name);
}

std::optional<std::string> ProcessEnvironment::get(const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto found = values_.find(name);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> ProcessEnvironment::snapshot() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> entries;
  entries.reserve(values_.size());
  for (const auto& [name, value] : values_) entries.push_back(name + "=" + value);
  return entries;
}

std::map<std::string, std::string> ProcessEnvironment::values() const {
  std::lock_guard lock(mutex_);
  return values_;
}

std::string ProcessEnvironment::homeDirectory() const {
  auto home = get("HOME");
  if (home && !home->empty()) return *home;
  if (passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && *entry->pw_dir) return entry->pw_dir;
  return {};
}

}  // namespace tovarin
