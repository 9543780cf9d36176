// Voice through the staged program on its own sound server: the stand-in pages post
// voice requests queued by the test and report every event they receive, so dictation,
// read-aloud, streamed speech and the release of a closed window are checked from the
// page's side, with the real microphone, espeak-ng and playback on a private PulseAudio.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "base/BeastHttpClient.h"
#include "base/ChildProcess.h"
#include "base/Json.h"
#include "base/SerialQueue.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/PrivatePulse.h"
#include "tests/support/ProcessTable.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {
namespace fs = std::filesystem;

using Clock = std::chrono::steady_clock;

bool eventually(const std::function<bool()>& condition, double seconds) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return condition();
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class VoiceE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::getenv("DISPLAY")) << "run under xvfb-run";
    ASSERT_FALSE(bus_.address().empty()) << bus_.error();
    ASSERT_FALSE(pulse_.server().empty()) << pulse_.error();
    ASSERT_TRUE(pulse_.addSineSource("microphone", 48000, 1, 300));
    ASSERT_TRUE(pulse_.setDefaultSource("microphone"));
    port_ = LocalPorts::unused();
    makeBundle();
    program_ = start();
    ASSERT_TRUE(program_);
    ASSERT_TRUE(eventually([&] { return get("/__test/process").has_value(); }, 60)) << readFile(logFile());
    serverPid_ = static_cast<pid_t>(jsonInteger(*get("/__test/process"), "pid").value_or(-1));
    ASSERT_TRUE(eventually([&] { return pageLoads("main") >= 1 && pageLoads("widget") >= 1; }, 60))
        << readFile(logFile());
  }

  ~VoiceE2ETest() override {
    if (program_ && program_->isRunning()) {
      program_->signal(SIGKILL);
      (void)program_->wait();
    }
    if (serverPid_ > 0 && ProcessTable::contains(serverPid_)) ::kill(serverPid_, SIGKILL);
  }

  void makeBundle() {
    const fs::path stage(TOVARIN_STAGE_DIR);
    prefix_ = fs::path(root_.path()) / "prefix";
    fs::create_directories(prefix_ / "bin");
    fs::copy_file(stage / "bin" / "TheTovarin", prefix_ / "bin" / "TheTovarin");
    const fs::path resources = prefix_ / "share" / "the-tovarin";
    fs::create_directories(resources / "tools");
    fs::copy_file(stage / "share" / "the-tovarin" / "Info.json", resources / "Info.json");
    fs::copy_file(stage / "share" / "the-tovarin" / "TheTovarinMark.svg", resources / "TheTovarinMark.svg");
    fs::copy_file(fs::path(TOVARIN_SOURCE_DIR) / "tools" / "server.mjs", resources / "tools" / "server.mjs");
    fs::copy(fs::path(TOVARIN_SOURCE_DIR) / "tools" / "server", resources / "tools" / "server",
             fs::copy_options::recursive);
    std::ofstream(resources / "config.json") << R"({"port":)" << port_ << R"(,"autoStartServer":true})";
    fs::create_directories(prefix_ / "lib" / "the-tovarin");
    fs::create_directory_symlink(stage / "lib" / "the-tovarin" / "webext", prefix_ / "lib" / "the-tovarin" / "webext");
    fs::create_symlink(stage / "lib" / "the-tovarin" / "libtovarin-ocr.so", prefix_ / "lib" / "the-tovarin" / "libtovarin-ocr.so");
    for (const char* dir : {"home", "config", "data", "cache", "run"}) fs::create_directories(fs::path(root_.path()) / dir);
    fs::permissions(fs::path(root_.path()) / "run", fs::perms::owner_all, fs::perm_options::replace);
  }

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
        "PULSE_SERVER=" + pulse_.server(),
        "TOVARIN_TEST_INTROSPECT=1",
        "TOVARIN_TEST_VOICE_PAGE=1",
        "NO_AT_BRIDGE=1",
    };
    for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
      if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return env;
  }

  std::shared_ptr<ChildProcess> start() {
    const std::string command = "exec \"$0\" 2>>" + logFile().string();
    auto launch = ChildProcess::launch(ChildProcessOptions{
        "/bin/sh", {"-c", command, (prefix_ / "bin" / "TheTovarin").string()}, root_.path(), environment(), false,
        false});
    EXPECT_TRUE(launch.process) << launch.error;
    return launch.process;
  }

  int run(const std::string& executable, const std::vector<std::string>& arguments) {
    auto launch = ChildProcess::launch(ChildProcessOptions{executable, arguments, root_.path(), environment(), false, true});
    if (!launch.process) return -1;
    (void)launch.process->readAllOutput();
    const int status = launch.process->wait();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::optional<Json> call(const std::string& method, const std::string& path, const std::string& body = {}) {
    std::promise<std::optional<Json>> answer;
    HttpHeaders headers;
    if (!body.empty()) headers.emplace_back("Content-Type", "application/json");
    http_.send(HttpRequest{method, "http://127.0.0.1:" + std::to_string(port_) + path, headers, body, 5}, queue_,
               [&](HttpResponse response) {
                 answer.set_value(response.responded && response.status == 200 ? parseJson(response.body)
                                                                                : std::nullopt);
               });
    return answer.get_future().get();
  }
  std::optional<Json> get(const std::string& path) { return call("GET", path); }
  int64_t pageLoads(const char* page) {
    auto state = get("/__test/state");
    if (!state || !state->contains("pageLoads")) return -1;
    const Json& loads = (*state)["pageLoads"];
    return loads.contains(page) && loads[page].is_array() ? static_cast<int64_t>(loads[page].size()) : -1;
  }

  // Has the page post this body as if its own script did.
  void ask(const std::string& page, Json body) {
    body["protocol"] = 1;
    ASSERT_TRUE(call("POST", "/__test/voice-page/request", Json{{"page", page}, {"body", body}}.dump()));
  }
  // The first event of that type and id the page received, waiting for it.
  std::optional<Json> event(const std::string& page, const std::string& type, const std::string& id,
                            double seconds = 30) {
    std::optional<Json> found;
    eventually(
        [&] {
          auto events = get("/__test/voice-page/events");
          if (!events || !events->contains(page)) return false;
          for (const auto& payload : (*events)[page]) {
            if (payload.value("type", "") == type && payload.value("id", "") == id) {
              found = payload;
              return true;
            }
          }
          return false;
        },
        seconds);
    return found;
  }

  PrivateDbus bus_;
  PrivatePulse pulse_;
  TempDir root_;
  fs::path prefix_;
  uint16_t port_ = 0;
  BeastHttpClient http_;
  SerialQueue queue_{"e2e-http"};
  std::shared_ptr<ChildProcess> program_;
  pid_t serverPid_ = -1;
};

TEST_F(VoiceE2ETest, DictationFromTheMicrophoneReachesThePageAsFinalText) {
  ask("main", {{"type", "capabilities"}, {"id", "caps"}});
  const auto ready = event("main", "ready", "caps");
  ASSERT_TRUE(ready) << readFile(logFile());
  EXPECT_EQ((*ready)["input"], true);
  EXPECT_EQ((*ready)["cloudFallback"], true);

  ask("main", {{"type", "listen.start"}, {"id", "d1"}, {"hold", true}});
  const auto listening = event("main", "listen.state", "d1");
  ASSERT_TRUE(listening) << readFile(logFile());
  EXPECT_EQ((*listening)["onDevice"], false);
  ASSERT_TRUE(event("main", "listen.partial", "d1")) << "a second of sound gives a partial";
  ask("main", {{"type", "listen.stop"}, {"id", "stop"}, {"target", "d1"}});
  const auto final = event("main", "listen.final", "d1");
  ASSERT_TRUE(final) << readFile(logFile());
  EXPECT_EQ((*final)["text"].get<std::string>().rfind("听到了", 0), 0u) << final->dump();
  EXPECT_TRUE(eventually([&] { return pulse_.list("source-outputs").empty(); }, 5)) << "the microphone is closed";
}

TEST_F(VoiceE2ETest, ReadAloudAndStreamedSpeechPlayToTheirEndFromBothWindows) {
  ask("widget", {{"type", "speak"}, {"id", "s1"}, {"text", "你好，今天天气很好。"}});
  ASSERT_TRUE(event("widget", "speak.start", "s1")) << readFile(logFile());
  const auto ended = event("widget", "speak.end", "s1");
  ASSERT_TRUE(ended) << readFile(logFile());
  EXPECT_EQ((*ended)["cancelled"], false);

  ask("main", {{"type", "speak.stream.start"}, {"id", "t"}, {"target", "t1"}});
  ask("main", {{"type", "speak.stream.text"}, {"id", "p1"}, {"target", "t1"}, {"text", "第一段话。"}});
  ask("main", {{"type", "speak.stream.text"}, {"id", "p2"}, {"target", "t1"}, {"text", "第二段话。"}});
  ask("main", {{"type", "speak.stream.end"}, {"id", "e"}, {"target", "t1"}});
  ASSERT_TRUE(event("main", "speak.start", "t1")) << readFile(logFile());
  const auto streamed = event("main", "speak.end", "t1");
  ASSERT_TRUE(streamed) << readFile(logFile());
  EXPECT_EQ((*streamed)["cancelled"], false);
}

TEST_F(VoiceE2ETest, ClosingTheMainWindowWhileSpeakingReleasesTheVoice) {
  std::string longText;
  for (int i = 0; i < 30; ++i) longText += "这是一段很长的朗读，用来确认关窗之后声音会停下来。";
  ask("main", {{"type", "speak"}, {"id", "long"}, {"text", longText}});
  ASSERT_TRUE(event("main", "speak.start", "long")) << readFile(logFile());
  ASSERT_EQ(run("/usr/bin/gapplication", {"action", "com.orvik.TheTovarin", "close-window"}), 0);
  const auto ended = event("main", "speak.end", "long", 15);
  ASSERT_TRUE(ended) << readFile(logFile());
  EXPECT_EQ((*ended)["cancelled"], true);
  EXPECT_TRUE(eventually([&] { return pulse_.list("sink-inputs").empty(); }, 5)) << "nothing sounds any more";
}

}  // namespace
}  // namespace tovarin
