#pragma once

#include <optional>
#include <string>

namespace tovarin {

// A one-entry memory of the last browser page read, so that the capture does not ask
// the same browser window again within a few seconds. Used on the capture's read
// queue only.
class BrowserContextCache final {
 public:
  struct Key {
    std::string bundle;
    std::string title;
    bool operator==(const Key&) const = default;
  };
  struct Value {
    std::optional<std::string> domain;
    bool incognito = false;
    bool operator==(const Value&) const = default;
  };

  static constexpr double ttl = 6.0;

  // The stored answer for this window, when it is younger than ttl.
  [[nodiscard]] std::optional<Value> lookup(const std::string& bundle, const std::string& title, double at) const;
  // Replaces the one entry; an answer without a host is kept too, so a failed read is
  // not retried within ttl.
  void store(const std::string& bundle, const std::string& title, double at, std::optional<std::string> domain,
             bool incognito);

  [[nodiscard]] const std::optional<Key>& key() const { return key_; }
  [[nodiscard]] double storedAt() const { return at_; }
  [[nodiscard]] const Value& value() const { return value_; }

 private:
  std::optional<Key> key_;
  double at_ = 0;
  Value value_;
};

}  // namespace tovarin
