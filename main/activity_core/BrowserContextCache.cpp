#include "main/activity_core/BrowserContextCache.h"

namespace tovarin {

std::optional<BrowserContextCache::Value> BrowserContextCache::lookup(const std::string& bundle,
                                                                      const std::string& title, double at) const {
  if (!key_ || key_->bundle != bundle || key_->title != title) return std::nullopt;
  // Written so that a time that is not a number misses.
  if (!(at_ <= at) || !(at - at_ < ttl)) return std::nullopt;
  return value_;
}

void BrowserContextCache::store(const std::string& bundle, const std::string& title, double at,
                                std::optional<std::string> domain, bool incognito) {
  key_ = Key{bundle, title};
  at_ = at;
  value_ = Value{std::move(domain), incognito};
}

}  // namespace tovarin
