#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "main/page/PageBridge.h"

namespace tovarin {

// The handlers of one page by message name. The web view registers exactly the names
// of the table, in the order they were added, and every message goes to the bridge of
// its name. Main loop only.
class PageBridgeTable final {
 public:
  // False, and the table unchanged, when a bridge of that name is in it already: two
  // handlers under one name would leave one of them deaf.
  [[nodiscard]] bool add(std::shared_ptr<PageBridge> bridge);

  [[nodiscard]] std::vector<std::string> messageNames() const;
  // A name the table does not hold is never admitted.
  [[nodiscard]] bool admits(std::string_view name, const MessageSource& source) const;
  // The bridge is asked again before it handles the message, so that nothing it would
  // refuse reaches it, whoever calls.
  void handle(const ScriptMessage& message) const;

 private:
  PageBridge* find(std::string_view name) const;

  std::vector<std::shared_ptr<PageBridge>> bridges_;
};

}  // namespace tovarin
