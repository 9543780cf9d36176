#include "main/activity_core/BrowserContextCache.h"

#include <limits>

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(BrowserContextCacheTest, AnswersTheSameWindowForSixSeconds) {
  BrowserContextCache cache;
  EXPECT_FALSE(cache.lookup("firefox", "News", 0));
  cache.store("firefox", "News", 100, std::string("news.example"), false);
  using Value = BrowserContextCache::Value;
  struct Case {
    const char* bundle;
    const char* title;
    double at;
    std::optional<Value> expected;
  } cases[] = {
      {"firefox", "News", 100, Value{"news.example", false}},
      {"firefox", "News", 105.9, Value{"news.example", false}},
      {"firefox", "News", 106.0, std::nullopt},
      {"firefox", "News", 99.9, std::nullopt},
      {"firefox", "Other", 101, std::nullopt},
      {"chromium", "News", 101, std::nullopt},
      {"Firefox", "News", 101, std::nullopt},
      {"firefox", "News", std::numeric_limits<double>::quiet_NaN(), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cache.lookup(c.bundle, c.title, c.at), c.expected) << c.bundle << " " << c.title << " " << c.at;
  }
}

TEST(BrowserContextCacheTest, FailedReadsAreRememberedAndTheEntryIsReplaced) {
  BrowserContextCache cache;
  cache.store("firefox", "Private", 100, std::nullopt, true);
  EXPECT_EQ(cache.lookup("firefox", "Private", 101), (BrowserContextCache::Value{std::nullopt, true}));
  cache.store("firefox", "News", 102, std::string("news.example"), false);
  EXPECT_FALSE(cache.lookup("firefox", "Private", 103));
}

}  // namespace
}  // namespace tovarin
