#include "main/page/PageBridgeTable.h"

namespace tovarin {

bool PageBridgeTable::add(std::shared_ptr<PageBridge> bridge) {
  if (!bridge || find(bridge->messageName())) return false;
  bridges_.push_back(std::move(bridge));
  return true;
}

std::vector<std::string> PageBridgeTable::messageNames() const {
  std::vector<std::string> names;
  names.reserve(bridges_.size());
  for (const auto& bridge : bridges_) names.emplace_back(bridge->messageName());
  return names;
}

bool PageBridgeTable::admits(std::string_view name, const MessageSource& source) const {
  PageBridge* bridge = find(name);
  return bridge && bridge->admits(source);
}

void PageBridgeTable::handle(const ScriptMessage& message) const {
  PageBridge* bridge = find(message.name);
  if (bridge && bridge->admits(message.source)) bridge->handle(message);
}

PageBridge* PageBridgeTable::find(std::string_view name) const {
  for (const auto& bridge : bridges_) {
    if (bridge->messageName() == name) return bridge.get();
  }
  return nullptr;
}

}  // namespace tovarin
