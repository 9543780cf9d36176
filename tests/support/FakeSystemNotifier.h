#pragma once

#include <string>
#include <vector>

#include "main/bridges/SystemNotifier.h"

namespace tovarin {

// Records what the code shows and withdraws; the test clicks notifications by id.
class FakeSystemNotifier final : public SystemNotifier {
 public:
  struct Shown {
    std::string id;
    std::string title;
    std::string body;
    bool operator==(const Shown&) const = default;
  };

  bool available() const override { return available_; }
  void show(const std::string& id, const std::string& title, const std::string& body) override {
    shown_.push_back({id, title, body});
  }
  void withdraw(const std::string& id) override { withdrawn_.push_back(id); }
  void setActivationHandler(ActivationHandler handler) override { handler_ = std::move(handler); }

  void setAvailable(bool available) { available_ = available; }
  // What a click on the notification of this id does; false when nobody listens.
  bool click(const std::string& id) {
    if (!handler_) return false;
    handler_(id);
    return true;
  }
  const std::vector<Shown>& shown() const { return shown_; }
  const std::vector<std::string>& withdrawn() const { return withdrawn_; }

 private:
  bool available_ = true;
  ActivationHandler handler_;
  std::vector<Shown> shown_;
  std::vector<std::string> withdrawn_;
};

}  // namespace tovarin
