#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "main/page/PageBridge.h"

namespace tovarin {

// A page bridge made of two functions: a window's own handlers (its chrome, the
// offline page's retry), and a name the window keeps registered for a bridge it was
// made without. Main loop only.
class PageMessageHandler final : public PageBridge {
 public:
  using Admission = std::function<bool(const MessageSource&)>;
  using Handler = std::function<void(const ScriptMessage&)>;

  PageMessageHandler(std::string name, Admission admission, Handler handler)
      : name_(std::move(name)), admission_(std::move(admission)), handler_(std::move(handler)) {}

  std::string_view messageName() const override { return name_; }
  bool admits(const MessageSource& source) override { return admission_(source); }
  void handle(const ScriptMessage& message) override { handler_(message); }

 private:
  const std::string name_;
  const Admission admission_;
  const Handler handler_;
};

}  // namespace tovarin
