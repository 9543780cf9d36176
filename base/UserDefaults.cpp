#include "base/UserDefaults.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/AtomicFile.h"
#include "base/Log.h"

namespace tovarin {
namespace {

// An unreadable file that could not be set aside stays as it is for the whole run:
// `settable` is false then, and nothing is saved over it.
Json readObject(const std::string& path, bool& settable) {
  settable = true;
  std::ifstream in(path, std::ios::binary);
  if (!in) return Json::object();
  std::stringstream text;
  text << in.rdbuf();
  auto parsed = parseJson(text.str());
  if (!parsed || !parsed->is_object()) {
    // Kept aside rather than overwritten, next to any kept at earlier launches.
    if (auto aside = atomic_file::setAside(path, path + ".unreadable")) {
      log("defaults: unreadable file set aside as " + *aside);
    } else {
      log("defaults: unreadable file could not be set aside, and is left as it is: " + path);
      settable = false;
    }
    return Json::object();
  }
  return *parsed;
}

}  // namespace

std::string UserDefaults::standardPath() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (configHome && configHome[0] == '/') {
    base = configHome;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : "") + "/.config";
  }
  return base + "/TheTovarin/defaults.json";
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)), values_(readObject(path_, saves_)) {}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
  std::lock_guard lock(mutex_);
  return jsonString(values_, key);
}

int64_t UserDefaults::integer(const std::string& key) const {
  std::lock_guard lock(mutex_);
  if (auto whole = jsonInteger(values_, key)) return *whole;
  if (auto number = jsonNumber(values_, key)) {
    if (std::fabs(*number) < 9.2e18) return static_cast<int64_t>(*number);
  }
  return 0;
}

double UserDefaults::number(const std::string& key) const {
  std::lock_guard lock(mutex_);
  return jsonNumber(values_, key).value_or(0.0);
}

bool UserDefaults::boolean(const std::string& key) const {
  std::lock_guard lock(mutex_);
  if (auto flag = jsonBool(values_, key)) return *flag;
  if (auto number = jsonNumber(values_, key)) return *number != 0;
  return false;
}

bool UserDefaults::contains(const std::string& key) const {
  std::lock_guard lock(mutex_);
  return values_.contains(key);
}

void UserDefaults::setString(const std::string& key, const std::string& value) { store(key, value); }
void UserDefaults::setInteger(const std::string& key, int64_t value) { store(key, value); }
void UserDefaults::setNumber(const std::string& key, double value) {
  if (std::isfinite(value)) store(key, value);
}
void UserDefaults::setBoolean(const std::string& key, bool value) { store(key, value); }

void UserDefaults::remove(const std::string& key) {
  std::lock_guard lock(mutex_);
  if (values_.erase(key) > 0) save();
}

void UserDefaults::store(const std::string& key, Json value) {
  std::lock_guard lock(mutex_);
  if (values_.contains(key) && values_[key] == value) return;
  values_[key] = std::move(value);
  save();
}

void UserDefaults::save() const {
  if (!saves_) return;
  const std::string text = values_.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  if (auto failure = atomic_file::replace(path_, text)) log("defaults: cannot save " + path_ + ": " + *failure);
}

}  // namespace tovarin
