#include "main/activity/ScriptRunner.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <string>

#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

ScriptRunner::Command shell(const std::string& script) { return {"/bin/sh", {"-c", script}}; }

TEST(ScriptRunnerTest, TakesTheTrimmedOutputOfAProgramThatSucceeds) {
  struct Case {
    std::string script;
    std::optional<std::string> output;
  };
  const Case cases[] = {
      {"printf '  https://example.com/\\n\\n'", "https://example.com/"},
      {"printf 'normal\\nhttps://example.com/\\n'", "normal\nhttps://example.com/"},
      {"printf '\\342\\200\\203\\345\\244\\251\\n'", "天"},  // an em space before, a line break after
      {"printf ' \\n\\t\\n'", std::nullopt},
      {"true", std::nullopt},
      {"printf 'https://example.com/'; exit 1", std::nullopt},
      {"printf 'bad \\377 byte'", std::nullopt},
      {"kill -TERM $$", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(ScriptRunner::run(shell(c.script), 10), c.output);
  }
}

TEST(ScriptRunnerTest, AProgramThatCannotStartGivesNothing) {
  EXPECT_EQ(ScriptRunner::run({"/nonexistent/tovarin-runner", {}}, 5), std::nullopt);
  EXPECT_EQ(ScriptRunner::run({"", {}}, 5), std::nullopt);
}

bool processExists(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

TEST(ScriptRunnerTest, AProgramThatOutlivesTheTimeoutIsEndedAndGivesNothing) {
  TempDir dir;
  const std::string pidFile = dir.path() + "/pid";
  const auto started = std::chrono::steady_clock::now();
  // Prints, then keeps running: the answer must not count.
  const auto output = ScriptRunner::run(shell("echo $$ > " + pidFile + "; echo early; exec sleep 60"), 0.5);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(output, std::nullopt);
  EXPECT_GE(elapsed, 0.5);
  EXPECT_LT(elapsed, 10.0);

  pid_t pid = 0;
  std::ifstream(pidFile) >> pid;
  ASSERT_GT(pid, 0);
  ManualLoop loop;
  EXPECT_TRUE(loop.waitFor([&] { return !processExists(pid); }, 10)) << "the program was not ended";
}

TEST(ScriptRunnerTest, AnOutputLargerThanThePipeEndsAtTheTimeout) {
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ScriptRunner::run(shell("head -c 1000000 /dev/zero | tr '\\0' a"), 0.5), std::nullopt);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 10.0);
}

}  // namespace
}  // namespace tovarin
