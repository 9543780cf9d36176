#include "platform/linux/SecretServiceKeyStore.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(SecretServiceKeyStoreWithoutServiceTest, NoBusIsAFailureNotACrash) {
  SecretServiceKeyStore keys("/records/one", "unix:path=/nonexistent/bus");
  EXPECT_EQ(keys.load("k_a").error, ActivityKeyError::failure(ActivityKeyError::kGenericFailure));
  EXPECT_FALSE(keys.allIds().ok());
}

}  // namespace
}  // namespace tovarin
