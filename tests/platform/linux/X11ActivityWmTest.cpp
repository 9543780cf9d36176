#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "base/ChildProcess.h"
#include "main/activity/ActivityCapture.h"
#include "main/server/ShellOutput.h"
#include "platform/linux/LinuxActivityCapturePlatform.h"
#include "platform/linux/LinuxActivityPlatform.h"
#include "tests/support/ActivityEventText.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/PrivateWindowManager.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace tovarin {
namespace {

std::vector<std::string> inheritedEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry; ++entry) entries.emplace_back(*entry);
  return entries;
}

std::shared_ptr<ChildProcess> launch(const std::string& executable, std::vector<std::string> arguments) {
  ChildProcessOptions options;
  options.executable = executable;
  options.arguments = std::move(arguments);
  options.environment = inheritedEnvironment();
  options.inheritStdin = false;
  options.endsWithProgram = true;
  auto launched = ChildProcess::launch(options);
  EXPECT_TRUE(launched.process) << launched.error;
  return launched.process;
}

std::string xdotool(const std::vector<std::string>& arguments) {
  std::string out = shellOutput("/usr/bin/xdotool", arguments);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// Real windows of real processes on the X server, managed by openbox; the capture
// built from the Linux platform parts, as the program builds it.
class X11ActivityWmTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X display (run under xvfb-run)";
    windowManager_ = std::make_unique<PrivateWindowManager>();
    ASSERT_TRUE(windowManager_->start()) << windowManager_->error();
  }
  static void TearDownTestSuite() {
    windowManager_.reset();
  }

  void SetUp() override {
    write("org.example.Editor.desktop", "Name=Editor\nName[zh_CN]=编辑器");
    write("org.example.Viewer.desktop", "Name=Viewer\nStartupWMClass=ViewerClass");
    editor_ = openWindow({"--title", "Draft — 草稿", "--gtk-id", "org.example.Editor", "--class", "editor", "Editor"},
                         "Draft");
    viewer_ = openWindow({"--legacy-title", "Café menu", "--class", "viewer", "ViewerClass"}, "Café");
    ASSERT_FALSE(editorWindow_.empty());
    ASSERT_FALSE(viewerWindow_.empty());
    ASSERT_FALSE(bus_.address().empty()) << bus_.error();
    platform_ = std::make_unique<LinuxActivityPlatform>(
        loop_, LinuxActivityPlatform::Options{"", bus_.address(), {apps_}, "zh_CN", "x11"});
    capture_ = ActivityCapture::create(
        loop_, platform_->capturePlatform(), {[](const std::string&) { return true; }, nullptr, 300},
        [this](const ActivityEvent& e) { events_.push_back(activityEventText(e, 0)); }, [] { return 0.0; });
  }
  void TearDown() override {
    capture_.reset();
    platform_.reset();
    for (auto& window : {editor_, viewer_}) {
      if (window) {
        window->signal(SIGTERM);
        window->wait();
      }
    }
  }

  void write(const std::string& name, const std::string& body) {
    std::filesystem::create_directories(apps_);
    std::ofstream(apps_ + "/" + name) << "[Desktop Entry]\nType=Application\nExec=true\n" << body << "\n";
  }

  std::shared_ptr<ChildProcess> openWindow(std::vector<std::string> arguments, const std::string& titlePart) {
    auto process = launch(TOVARIN_BINARY_DIR "/tests/tovarin_x_test_window", std::move(arguments));
    std::string id;
    loop_.waitFor(
        [&] {
          id = xdotool({"search", "--onlyvisible", "--pid", std::to_string(process->pid())});
          return !id.empty();
        },
        60);  // only ends a hung test: a loaded machine may take long to map it
    EXPECT_FALSE(id.empty()) << titlePart << ": no window mapped; the window's process "
                             << (process->isRunning() ? "still runs" : "has ended");
    (titlePart == "Draft" ? editorWindow_ : viewerWindow_) = id.substr(0, id.find('\n'));
    return process;
  }

  void activate(const std::string& window) { xdotool({"windowactivate", "--sync", window}); }

  // Waits until the events end with these.
  bool eventsEndWith(const std::vector<std::string>& expected) {
    return loop_.waitFor(
        [&] {
          return events_.size() >= expected.size() &&
                 std::equal(expected.begin(), expected.end(), events_.end() - static_cast<long>(expected.size()));
        },
        20);
  }

  static inline std::unique_ptr<PrivateWindowManager> windowManager_;
  ManualLoop loop_;
  TempDir dir_;
  const std::string apps_ = dir_.path() + "/applications";
  PrivateDbus bus_;
  std::shared_ptr<ChildProcess> editor_;
  std::shared_ptr<ChildProcess> viewer_;
  std::string editorWindow_;
  std::string viewerWindow_;
  std::unique_ptr<LinuxActivityPlatform> platform_;
  std::shared_ptr<ActivityCapture> capture_;
  std::vector<std::string> events_;
};

TEST_F(X11ActivityWmTest, FocusingAWindowIsSeenAsItsApplicationWithItsTitle) {
  activate(viewerWindow_);
  capture_->start();
  ASSERT_TRUE(eventsEndWith({"frontmost(org.example.Viewer/Viewer)@0ms", "resume(noAccess)@0ms",
                             "title(Café menu,<none>,normal)@0ms"}))
      << testing::PrintToString(events_);
  events_.clear();

  activate(editorWindow_);
  ASSERT_TRUE(eventsEndWith({"frontmost(org.example.Editor/编辑器)@0ms", "title(Draft — 草稿,<none>,normal)@0ms"}))
      << testing::PrintToString(events_);
  const auto front = platform_->capturePlatform().desktop->frontmostApplication();
  ASSERT_TRUE(front.has_value());
  EXPECT_EQ(front->processId, editor_->pid());
  EXPECT_EQ(std::to_string(front->window), editorWindow_);
  events_.clear();

  // A new title of the window in front is read at the next sample.
  xdotool({"set_window", "--name", "Final", editorWindow_});
  loop_.advance(3);
  ASSERT_TRUE(eventsEndWith({"title(Final,<none>,normal)@0ms"})) << testing::PrintToString(events_);
  events_.clear();

  activate(viewerWindow_);
  activate(editorWindow_);
  ASSERT_TRUE(eventsEndWith({"frontmost(org.example.Editor/编辑器)@0ms", "title(Final,<none>,normal)@0ms"}))
      << testing::PrintToString(events_);
}

// The record's platform watches nothing until it makes its capture, then remembers
// each application it saw in front once, named as the capture named it.
TEST_F(X11ActivityWmTest, TheRecordsPlatformRemembersTheApplicationsSeenInFront) {
  LinuxActivityCapturePlatform record(loop_, {"", bus_.address(), {apps_}, "zh_CN", "x11"});
  EXPECT_FALSE(record.accessibilityTrusted());
  EXPECT_EQ(record.automationStatus("firefox"), -600);
  std::vector<std::string> heard;
  auto capture = record.makeCapture({[](const std::string&) { return true; }, nullptr, 300},
                                    [&](const ActivityEvent& e) { heard.push_back(activityEventText(e, 0)); });
  ASSERT_TRUE(capture);
  EXPECT_TRUE(record.accessibilityTrusted());
  auto inFront = [&](const std::string& app) {
    return loop_.waitFor(
        [&] {
          return std::any_of(heard.begin(), heard.end(), [&](const std::string& event) {
            return event.starts_with("frontmost(" + app + "/");
          });
        },
        20);
  };
  activate(viewerWindow_);
  capture->start();
  ASSERT_TRUE(inFront("org.example.Viewer")) << testing::PrintToString(heard);
  heard.clear();
  activate(editorWindow_);
  ASSERT_TRUE(inFront("org.example.Editor")) << testing::PrintToString(heard);
  heard.clear();
  activate(viewerWindow_);
  ASSERT_TRUE(inFront("org.example.Viewer")) << testing::PrintToString(heard);

  EXPECT_EQ(record.runningApplications(),
            (std::vector<SeenApplication>{{"org.example.Viewer", "Viewer"}, {"org.example.Editor", "编辑器"}}));
  EXPECT_EQ(record.installedName("org.example.Editor"), "编辑器");
  EXPECT_EQ(record.installedName("org.example.Missing"), std::nullopt);
  capture->stop();
}

}  // namespace
}  // namespace tovarin
