#include "main/activity/MemoryKeyStore.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(MemoryKeyStoreTest, MissingKeysAreNoErrorAndIdsComeSorted) {
  MemoryKeyStore store;
  auto missing = store.load("k_absent");
  ASSERT_TRUE(missing.ok());
  EXPECT_FALSE(missing.value.has_value());
  EXPECT_TRUE(store.remove("k_absent").ok());
  EXPECT_TRUE(store.allIds().value.empty());

  const SecretBytes key{1, 2, 3};
  for (const char* id : {"k_b", "k_a", "k_c"}) ASSERT_TRUE(store.save(id, key).ok());
  EXPECT_EQ(store.allIds().value, (std::vector<std::string>{"k_a", "k_b", "k_c"}));
  auto loaded = store.load("k_b");
  ASSERT_TRUE(loaded.ok() && loaded.value);
  EXPECT_EQ(*loaded.value, key);
}

TEST(MemoryKeyStoreTest, ASetLoadErrorFailsOnlyLoads) {
  MemoryKeyStore store;
  store.put("k_a", SecretBytes{9});
  store.loadError = ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed);
  EXPECT_EQ(store.load("k_a").error, ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed));
  EXPECT_TRUE(store.save("k_b", SecretBytes{1}).ok());
  EXPECT_EQ(store.allIds().value, (std::vector<std::string>{"k_a", "k_b"}));
  store.loadError.reset();
  EXPECT_TRUE(store.load("k_a").ok());
}

}  // namespace
}  // namespace tovarin
