#include "base/Outcome.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

namespace tovarin {
namespace {

enum class Narrow { busy };
enum class Refusal { notAllowed };
using Wide = std::variant<Refusal, Narrow>;

TEST(OutcomeTest, WideningKeepsTheValueOrTheErrorButNeverBoth) {
  const auto carried = Outcome<std::vector<int>, Wide>::from(Outcome<std::vector<int>, Narrow>{{1, 2}, std::nullopt});
  EXPECT_TRUE(carried.ok());
  EXPECT_EQ(carried.value, (std::vector<int>{1, 2}));

  // A failed lower layer may leave a partial value behind; the widened answer drops it.
  const auto widened = Outcome<std::vector<int>, Wide>::from(Outcome<std::vector<int>, Narrow>{{3}, Narrow::busy});
  EXPECT_FALSE(widened.ok());
  EXPECT_EQ(widened.error, Wide(Narrow::busy));
  EXPECT_TRUE(widened.value.empty());
}

TEST(OutcomeTest, AFailureCarriesTheEmptyValue) {
  const auto failed = Outcome<std::string, Wide>::failed(Refusal::notAllowed);
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.error, Wide(Refusal::notAllowed));
  EXPECT_EQ(failed.value, "");
}

}  // namespace
}  // namespace tovarin
