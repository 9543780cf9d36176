#include "base/SecureRandom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace tovarin {
namespace {

bool allZero(std::vector<unsigned char>::const_iterator from, std::vector<unsigned char>::const_iterator to) {
  return std::all_of(from, to, [](unsigned char byte) { return byte == 0; });
}

TEST(SecureRandomTest, TwoDrawsDiffer) {
  std::vector<unsigned char> first(32), second(32);
  ASSERT_TRUE(fillSecureRandom(first.data(), first.size()));
  ASSERT_TRUE(fillSecureRandom(second.data(), second.size()));
  EXPECT_NE(first, second);
}

// The kernel serves at most 32 MiB a call: the tail of a larger request must be
// filled by the calls after the first.
TEST(SecureRandomTest, ARequestLargerThanOneKernelCallIsFilledToTheEnd) {
  std::vector<unsigned char> bytes(40u << 20, 0);
  ASSERT_TRUE(fillSecureRandom(bytes.data(), bytes.size()));
  EXPECT_FALSE(allZero(bytes.end() - 4096, bytes.end()));
  EXPECT_FALSE(allZero(bytes.begin(), bytes.begin() + 4096));
}

}  // namespace
}  // namespace tovarin
