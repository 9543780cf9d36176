#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/ChildProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/widget/WidgetTestData.h"
#include "widget/WidgetFamily.h"

namespace tovarin {
namespace {

namespace fs = std::filesystem;

std::string widgetProgram() { return std::string(TOVARIN_STAGE_DIR) + "/bin/TheTovarinWidgetExtension"; }

struct ToolRun {
  int exitCode = -1;
  std::string output;
};

// The sanitizers' settings go with the child, so a sanitized program is judged alike.
std::vector<std::string> environment() {
  std::vector<std::string> env = {"PATH=/usr/bin:/bin", "TZ=Asia/Shanghai"};
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  return env;
}

ToolRun run(const std::string& executable, const std::vector<std::string>& arguments) {
  auto launch = ChildProcess::launch(ChildProcessOptions{executable, arguments, "", environment(), false, true});
  if (!launch.process) return {-1, "not started: " + launch.error};
  ToolRun result;
  result.output = launch.process->readAllOutput();
  int status = launch.process->wait();
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (WIFSIGNALED(status)) result.output += "\nended by signal " + std::to_string(WTERMSIG(status));
  return result;
}

// The widget program with its standard error joined to the output through a shell, so
// that a failure (a sanitizer's report among them) says why.
ToolRun runWidget(const std::string& executable, const std::vector<std::string>& arguments) {
  std::vector<std::string> shellArguments = {"-c", "exec \"$0\" \"$@\" 2>&1", executable};
  shellArguments.insert(shellArguments.end(), arguments.begin(), arguments.end());
  return run("/bin/sh", shellArguments);
}

// Width, height and the number of distinct colours of an image.
std::string describe(const std::string& png) {
  return run("/usr/bin/identify", {"-format", "%w %h %k", png}).output;
}

TEST(WidgetRenderIntegrationTest, EachFamilyRendersWithoutADisplayAtItsSize) {
  TempDir dir;
  for (WidgetFamily family : {WidgetFamily::small, WidgetFamily::medium, WidgetFamily::large}) {
    for (int scale : {1, 2}) {
      std::string png = dir.path() + "/" + std::string(familyName(family)) + std::to_string(scale) + ".png";
      ToolRun render = runWidget(widgetProgram(), {"--render", png, "--preview", "--family",
                                                   std::string(familyName(family)), "--scale", std::to_string(scale)});
      ASSERT_EQ(render.exitCode, 0) << familyName(family) << ": " << render.output;
      WidgetSize size = defaultSize(family);
      std::istringstream facts(describe(png));
      int width = 0, height = 0, colours = 0;
      facts >> width >> height >> colours;
      EXPECT_EQ(width, static_cast<int>(size.width) * scale) << png;
      EXPECT_EQ(height, static_cast<int>(size.height) * scale) << png;
      // Text in several inks over the surface, not an empty picture.
      EXPECT_GT(colours, 20) << png;
    }
  }
}

TEST(WidgetRenderIntegrationTest, AnUnreachableServerRendersTheHint) {
  TempDir dir;
  std::string info = dir.path() + "/Info.json";
  std::ofstream(info) << R"({"VORNServerPort": "1"})";
  std::string png = dir.path() + "/offline.png";
  const ToolRun render = runWidget(widgetProgram(), {"--render", png, "--info", info, "--family", "small"});
  ASSERT_EQ(render.exitCode, 0) << render.output;
  std::istringstream facts(describe(png));
  int width = 0, height = 0, colours = 0;
  facts >> width >> height >> colours;
  EXPECT_EQ(width, 170);
  EXPECT_GT(colours, 5);
}

TEST(WidgetRenderIntegrationTest, TheProgramReadsThePortFromTheInfoBesideIt) {
  // <prefix>/bin/TheTovarinWidgetExtension with <prefix>/share/the-tovarin-widget/Info.json,
  // as installed: the program is copied, so it finds the Info.json of this prefix.
  LoopbackServer server(LoopbackServer::answering(200, widget_test::feedBody().dump()));
  TempDir prefix;
  fs::create_directories(fs::path(prefix.path()) / "bin");
  fs::create_directories(fs::path(prefix.path()) / "share" / "the-tovarin-widget");
  fs::path program = fs::path(prefix.path()) / "bin" / "TheTovarinWidgetExtension";
  fs::copy_file(widgetProgram(), program);
  std::ofstream(fs::path(prefix.path()) / "share" / "the-tovarin-widget" / "Info.json")
      << R"({"VORNServerPort": )" << server.port() << "}";
  std::string png = prefix.path() + "/medium.png";
  const ToolRun render = runWidget(program.string(), {"--render", png, "--family", "medium"});
  ASSERT_EQ(render.exitCode, 0) << render.output;
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].target.rfind("/api/widget-feed?from=", 0), 0u);
  EXPECT_TRUE(fs::file_size(png) > 0);
}

TEST(WidgetRenderIntegrationTest, ABadCommandLineIsRefused) {
  for (std::vector<std::string> arguments : {std::vector<std::string>{"--family", "huge"},
                                             {"--scale", "9", "--render", "/dev/null"},
                                             {"--position", "3"},
                                             {"--frobnicate", "1"},
                                             {"--info"}}) {
    const ToolRun refused = runWidget(widgetProgram(), arguments);
    EXPECT_EQ(refused.exitCode, 2) << arguments[0] << ": " << refused.output;
  }
}

}  // namespace
}  // namespace tovarin
