#pragma once

#include <string_view>

#include "main/page/WebView.h"

namespace tovarin {

// One script-message handler of a hosted page: the name the page posts to, which
// frames may post to it, and what a message does. Main loop only.
class PageBridge {
 public:
  virtual ~PageBridge() = default;

  virtual std::string_view messageName() const = 0;
  // Whether a message from this frame may be read at all; the bridge logs a refusal.
  [[nodiscard]] virtual bool admits(const MessageSource& source) = 0;
  // A message the bridge admitted.
  virtual void handle(const ScriptMessage& message) = 0;
};

}  // namespace tovarin
