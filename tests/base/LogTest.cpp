#include "base/Log.h"

#include <gtest/gtest.h>

#include "tests/support/LogRecorder.h"

namespace tovarin {
namespace {

TEST(LogTest, AMessageIsAlwaysOneLineWithItsControlsEscaped) {
  struct Case {
    std::string message;
    std::string line;
  };
  const Case cases[] = {
      {"plain 中文 text", "[orvik] plain 中文 text"},
      {"a\nb", "[orvik] a\\nb"},
      {"a\r\nb\tc", "[orvik] a\\r\\nb\\tc"},
      {std::string("nul\0esc\x1b", 8), "[orvik] nul\\x00esc\\x1b"},
      {"del\x7f", "[orvik] del\\x7f"},
      {"line\u2028para\u2029nel\u0085", "[orvik] line\\u2028para\\u2029nel\\u0085"},
      {"backslash \\n stays", "[orvik] backslash \\n stays"},
  };
  for (const Case& testCase : cases) {
    LogRecorder recorder;
    log(testCase.message);
    EXPECT_EQ(recorder.lines(), std::vector<std::string>{testCase.line});
  }
}

}  // namespace
}  // namespace tovarin
