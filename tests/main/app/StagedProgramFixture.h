#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <thread>

#include "base/BeastHttpClient.h"
#include "base/ChildProcess.h"
#include "base/Json.h"
#include "base/SerialQueue.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/ProcessTable.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace fs = std::filesystem;

// The staged program in a bundle of its own under the test's display, with its own
// session bus, home and port; the stand-in server it starts is reachable over HTTP.
class StagedProgramFixture : public ::testing::Test {
 protected:
  // Polls a condition of real processes until it holds or the time is up.
  static bool eventually(const std::function<bool()>& condition, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
  }

  static std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  void SetUp() override {
    ASSERT_TRUE(std::getenv("DISPLAY")) << "run under xvfb-run";
    ASSERT_FALSE(bus_.address().empty()) << bus_.error();
    port_ = LocalPorts::unused();
    makeBundle();
  }

  ~StagedProgramFixture() override {
    if (program_ && program_->isRunning()) {
      program_->signal(SIGKILL);
      (void)program_->wait();
    }
    if (serverPid_ > 0 && ProcessTable::contains(serverPid_)) ::kill(serverPid_, SIGKILL);
  }

  // <prefix>/bin/TheTovarin with <prefix>/share/the-tovarin beside it, as installed: the
  // program finds its bundle from its own path, so the binary is copied, not linked.
  void makeBundle() {
    const fs::path stage(TOVARIN_STAGE_DIR);
    prefix_ = fs::path(root_.path()) / "prefix";
    fs::create_directories(prefix_ / "bin");
    fs::copy_file(stage / "bin" / "TheTovarin", program());
    const fs::path resources = prefix_ / "share" / "the-tovarin";
    fs::create_directories(resources / "tools");
    fs::copy_file(stage / "share" / "the-tovarin" / "Info.json", resources / "Info.json");
    fs::copy_file(stage / "share" / "the-tovarin" / "TheTovarinMark.svg", resources / "TheTovarinMark.svg");
    fs::copy_file(fs::path(TOVARIN_SOURCE_DIR) / "tools" / "server.mjs", resources / "tools" / "server.mjs");
    if (fs::exists(fs::path(TOVARIN_SOURCE_DIR) / "tools" / "server")) {
      fs::copy(fs::path(TOVARIN_SOURCE_DIR) / "tools" / "server", resources / "tools" / "server",
               fs::copy_options::recursive);
    }
    std::ofstream(resources / "config.json") << R"({"port":)" << port_ << R"(,"autoStartServer":true})";
    fs::create_directories(prefix_ / "lib" / "the-tovarin");
    fs::create_directory_symlink(stage / "lib" / "the-tovarin" / "webext", prefix_ / "lib" / "the-tovarin" / "webext");
    fs::create_symlink(stage / "lib" / "the-tovarin" / "libtovarin-ocr.so", prefix_ / "lib" / "the-tovarin" / "libtovarin-ocr.so");
    for (const char* dir : {"home", "config", "data", "cache", "run"}) fs::create_directories(fs::path(root_.path()) / dir);
    fs::permissions(fs::path(root_.path()) / "run", fs::perms::owner_all, fs::perm_options::replace);
  }

  fs::path program() const { return prefix_ / "bin" / "TheTovarin"; }
  fs::path logFile() const { return fs::path(root_.path()) / "program.log"; }

  std::vector<std::string> environment() const {
    std::vector<std::string> env = {
        "PATH=/usr/bin:/bin",
        "HOME=" + root_.path() + "/home",
        "XDG_CONFIG_HOME=" + root_.path() + "/config",
        "XDG_DATA_HOME=" + root_.path() + "/data",
        "XDG_CACHE_HOME=" + root_.path() + "/cache",
        "XDG_RUNTIME_DIR=" + root_.path() + "/run",
        "DBUS_SESSION_BUS_ADDRESS=" + bus_.address(),
        "TOVARIN_TEST_INTROSPECT=1",
        "NO_AT_BRIDGE=1",
    };
    env.insert(env.end(), extraEnvironment_.begin(), extraEnvironment_.end());
    for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
      if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return env;
  }

  // The program with its standard error appended to the log file.
  std::shared_ptr<ChildProcess> start(const std::vector<std::string>& arguments) {
    std::string command = "exec \"$0\"";
    for (size_t i = 0; i < arguments.size(); ++i) command += " \"$" + std::to_string(i + 1) + "\"";
    command += " 2>>" + logFile().string();
    std::vector<std::string> args = {"-c", command, program().string()};
    args.insert(args.end(), arguments.begin(), arguments.end());
    auto launch = ChildProcess::launch(ChildProcessOptions{"/bin/sh", args, root_.path(), environment(), false, false});
    EXPECT_TRUE(launch.process) << launch.error;
    return launch.process;
  }

  // A tool run to its end; its exit status.
  int run(const std::string& executable, const std::vector<std::string>& arguments) {
    auto launch = ChildProcess::launch(ChildProcessOptions{executable, arguments, root_.path(), environment(), false, true});
    if (!launch.process) return -1;
    lastOutput_ = launch.process->readAllOutput();
    const int status = launch.process->wait();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::optional<Json> get(const std::string& path) {
    std::promise<std::optional<Json>> answer;
    http_.send(HttpRequest{"GET", "http://127.0.0.1:" + std::to_string(port_) + path, {}, {}, 5}, queue_,
               [&](HttpResponse response) {
                 answer.set_value(response.responded && response.status == 200 ? parseJson(response.body)
                                                                                : std::nullopt);
               });
    return answer.get_future().get();
  }
  // The status of a POST with a JSON body; 0 when nothing answered.
  int post(const std::string& path, const std::string& body) {
    std::promise<int> status;
    http_.send(HttpRequest{"POST", "http://127.0.0.1:" + std::to_string(port_) + path,
                           {{"Content-Type", "application/json"}}, body, 5},
               queue_, [&](HttpResponse response) { status.set_value(response.responded ? response.status : 0); });
    return status.get_future().get();
  }
  int64_t pageLoads(const char* page) {
    auto state = get("/__test/state");
    if (!state || !state->contains("pageLoads")) return -1;
    const Json& loads = (*state)["pageLoads"];
    return loads.contains(page) && loads[page].is_array() ? static_cast<int64_t>(loads[page].size()) : -1;
  }
  bool logHas(const std::string& line) { return readFile(logFile()).find(line) != std::string::npos; }
  int visibleWindows() {
    if (run("/usr/bin/xdotool", {"search", "--onlyvisible", "--classname", "TheTovarin"}) < 0) return -1;
    return static_cast<int>(std::count(lastOutput_.begin(), lastOutput_.end(), '\n'));
  }

  PrivateDbus bus_;
  TempDir root_;
  fs::path prefix_;
  uint16_t port_ = 0;
  BeastHttpClient http_;
  SerialQueue queue_{"e2e-http"};
  std::shared_ptr<ChildProcess> program_;
  pid_t serverPid_ = -1;
  std::string lastOutput_;
  // Added to the program's environment (and so to its server's).
  std::vector<std::string> extraEnvironment_;
};

}  // namespace tovarin
