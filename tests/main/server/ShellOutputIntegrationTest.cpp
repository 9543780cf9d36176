#include "main/server/ShellOutput.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>

#include "base/ProcessEnvironment.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

TEST(ShellOutputTest, ReturnsTheToolsWholeStandardOutput) {
  struct Case {
    const char* name;
    std::string path;
    std::vector<std::string> arguments;
    std::string expected;
  };
  const Case cases[] = {
      {"arguments passed apart", "/bin/sh", {"-c", R"(printf '%s|' "$@")", "sh", "a b", "", "-c"}, "a b||-c|"},
      {"stderr dropped", "/bin/sh", {"-c", "echo out; echo err >&2"}, "out\n"},
      {"exit status ignored", "/bin/sh", {"-c", "echo partial; exit 4"}, "partial\n"},
      {"utf-8 kept", "/bin/sh", {"-c", "printf '岚笺\\n'"}, "岚笺\n"},
      {"more than a pipe holds", "/bin/sh", {"-c", "head -c 300000 /dev/zero | tr '\\000' a"}, std::string(300000, 'a')},
      {"invalid utf-8 gives nothing", "/bin/sh", {"-c", "printf 'ok\\377'"}, ""},
      {"missing tool", "/nonexistent/tool", {}, ""},
      {"a directory", "/bin", {}, ""},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    EXPECT_EQ(shellOutput(testCase.path, testCase.arguments), testCase.expected);
  }
}

TEST(ShellOutputTest, NonExecutableFileIsNotRun) {
  TempDir dir;
  const std::string script = dir.path() + "/tool";
  const std::string marker = dir.path() + "/ran";
  std::ofstream(script) << "#!/bin/sh\ntouch " << marker << "\necho ran\n";
  ::chmod(script.c_str(), 0644);
  EXPECT_EQ(shellOutput(script, {}), "");
  ::chmod(script.c_str(), 0755);
  EXPECT_EQ(shellOutput(script, {}), "ran\n");
}

TEST(ShellOutputTest, ToolSeesTheEnvironmentOverlay) {
  ProcessEnvironment::shared().set("TOVARIN_SHELL_OUTPUT_PROBE", "overlay value");
  std::string seen = shellOutput("/bin/sh", {"-c", "printf %s \"$TOVARIN_SHELL_OUTPUT_PROBE\""});
  ProcessEnvironment::shared().unset("TOVARIN_SHELL_OUTPUT_PROBE");
  EXPECT_EQ(seen, "overlay value");
  EXPECT_EQ(shellOutput("/bin/sh", {"-c", "printf %s \"${TOVARIN_SHELL_OUTPUT_PROBE-unset}\""}), "unset");
}

}  // namespace
}  // namespace tovarin
