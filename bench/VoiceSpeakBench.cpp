// Voice latency through the engine, figures from one run side by side, on a private
// PulseAudio server with a null sink and the stand-in server as the relay:
//
//   build/default/bench/VoiceSpeakBench [--runs N]
//
// 1. From a page's "speak" (the engine call) to the first audio reaching the sink: the
//    system voice (espeak-ng through the engine), the cloud voice (relay synthesis, a
//    decoded clip) and, as the baseline, the espeak-ng command writing the same text to
//    the same sink. "Reaching the sink" is the moment a playback stream shows up on the
//    server, found by polling it, the same way for all three; median of N runs.
// 2. From "listen.stop" to the final text reaching the page's owner, with a pipe-fed
//    microphone and the relay on loopback: p50 and p99 of N runs.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "base/BeastHttpClient.h"
#include "base/BeastWebSocketClient.h"
#include "base/ChildProcess.h"
#include "base/SerialQueue.h"
#include "bench/BenchSupport.h"
#include "main/voice/CloudVoiceSpeaker.h"
#include "main/voice/MainLoopVoiceTimers.h"
#include "main/voice/RelayVoiceCloudTransport.h"
#include "main/voice/VoiceEngine.h"
#include "platform/linux/EspeakVoiceCatalog.h"
#include "platform/linux/EspeakVoiceSpeaker.h"
#include "platform/linux/NoVoiceRecognizerFactory.h"
#include "platform/linux/PulseMicrophone.h"
#include "platform/linux/SndfileClipPlayer.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/PrivatePulse.h"

using namespace tovarin;
using namespace tovarin::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kText = "你好，今天的天气很好，我们一起去公园散步吧。";


struct Recorder final : VoiceEngineClient {
  std::vector<VoiceEngineEvent> events;
  void voiceEngine(const VoiceEngineEvent& event) override { events.push_back(event); }
  template <class Case>
  bool has(const std::string& id) const {
    return std::any_of(events.begin(), events.end(), [&](const VoiceEngineEvent& event) {
      const auto* value = std::get_if<Case>(&event.value);
      return value && value->id == id;
    });
  }
};

struct AllowAll final : VoiceAuthorizer {
  std::vector<std::string> missingUsageKeys() const override { return {}; }
  VoicePermission microphone() const override { return VoicePermission::granted; }
  VoicePermission speech() const override { return VoicePermission::granted; }
  bool hasInputDevice() const override { return true; }
  void request(Completion completion) override { completion(std::nullopt); }
};

struct NoVoices final : VoiceCatalog {
  std::vector<SystemVoice> voices() override { return {}; }
};

class Bench {
 public:
  explicit Bench(int runs) : runs_(runs) {}

  int run() {
    if (pulse_.server().empty()) return fail("no private PulseAudio: " + pulse_.error());
    if (!pulse_.addSineSource("microphone", 48000, 1, 300) || !pulse_.setDefaultSource("microphone")) {
      return fail("no pipe microphone");
    }
    if (!startRelay()) return fail("the stand-in server did not start");
    std::vector<double> system, cloud, command, stops;
    auto systemEngine = engine(std::make_shared<EspeakVoiceCatalog>());
    auto cloudEngine = engine(std::make_shared<NoVoices>());
    for (int i = 0; i < runs_; ++i) {
      system.push_back(speakLatency(*systemEngine, i));
      cloud.push_back(speakLatency(*cloudEngine, i));
      command.push_back(commandLatency());
      stops.push_back(stopLatency(*cloudEngine, i));
    }
    std::printf("speak -> first audio at the sink, median of %d runs (ms)\n", runs_);
    std::printf("  espeak-ng command (baseline)  %8.1f\n", percentile(command, 0.5));
    std::printf("  system voice via the engine   %8.1f  (%.2fx the baseline)\n", percentile(system, 0.5),
                percentile(system, 0.5) / percentile(command, 0.5));
    std::printf("  cloud voice via the relay     %8.1f\n", percentile(cloud, 0.5));
    std::printf("listen.stop -> final text on loopback (ms): p50 %.1f  p99 %.1f\n", percentile(stops, 0.5),
                percentile(stops, 0.99));
    return 0;
  }

 private:
  int fail(const std::string& why) {
    std::fprintf(stderr, "VoiceSpeakBench: %s\n", why.c_str());
    return 1;
  }

  std::vector<std::string> environment() const {
    return {"PATH=/usr/bin:/bin", "PULSE_SERVER=" + pulse_.server(), "HOME=/tmp"};
  }

  bool startRelay() {
    port_ = LocalPorts::unused();
    auto launch = ChildProcess::launch(ChildProcessOptions{
        "/usr/bin/node",
        {std::string(TOVARIN_STAGE_DIR) + "/share/the-tovarin/tools/server.mjs", "--port", std::to_string(port_)},
        {}, environment(), false, false, true});
    relay_ = launch.process;
    if (!relay_) return false;
    for (int i = 0; i < 100; ++i) {
      if (answersHealth()) return true;
      loop_.waitFor([] { return false; }, 0.1);
    }
    return false;
  }

  bool answersHealth() {
    std::promise<bool> answered;
    http_.send(HttpRequest{"GET", "http://127.0.0.1:" + std::to_string(port_) + "/api/health", {}, {}, 2}, queue_,
               [&](HttpResponse response) { answered.set_value(response.responded && response.status == 200); });
    return answered.get_future().get();
  }

  std::shared_ptr<VoiceEngine> engine(std::shared_ptr<VoiceCatalog> catalog) {
    VoiceEngine::Parts parts;
    parts.recognizers = std::make_shared<NoVoiceRecognizerFactory>();
    parts.microphone = std::make_shared<PulseMicrophone>(pulse_.server());
    parts.authorizer = std::make_shared<AllowAll>();
    parts.synthesizer = EspeakVoiceSpeaker::create(loop_, pulse_.server());
    parts.timers = std::make_shared<MainLoopVoiceTimers>(loop_);
    parts.catalog = std::move(catalog);
    auto clips = std::make_shared<SndfileClipPlayer>(loop_, pulse_.server());
    parts.makeCloudSpeaker = [this, clips](std::shared_ptr<VoiceCloudTransport> transport) {
      return CloudVoiceSpeaker::create(loop_, std::move(transport), clips);
    };
    auto made = VoiceEngine::create(loop_, std::move(parts));
    const std::string base = "http://127.0.0.1:" + std::to_string(port_);
    made->setCloud(std::make_shared<RelayVoiceCloudTransport>(
        RelayVoiceCloudTransport::Routes::localServer(), http_, sockets_,
        [base] { return std::optional<VoiceCloudTarget>(VoiceCloudTarget{base, {}}); }));
    return made;
  }

  bool sounding() { return !pulse_.list("sink-inputs").empty(); }

  void waitForSilence() { loop_.waitFor([&] { return !sounding(); }, 30); }

  double speakLatency(VoiceEngine& engine, int run) {
    waitForSilence();
    auto owner = std::make_shared<Recorder>();
    const std::string id = "s" + std::to_string(run);
    const auto start = Clock::now();
    engine.speak(id, kText, "zh-CN", std::nullopt, 1.0, owner);
    loop_.waitFor([&] { return sounding(); }, 30);
    const double latency = millisecondsSince(start);
    loop_.waitFor([&] { return owner->has<VoiceEngineEvent::SpeakEnded>(id) || owner->has<VoiceEngineEvent::SpeakFailed>(id); }, 60);
    return latency;
  }

  double commandLatency() {
    waitForSilence();
    const auto start = Clock::now();
    auto launch = ChildProcess::launch(
        ChildProcessOptions{"/usr/bin/espeak-ng", {"-v", "cmn", kText}, {}, environment(), false, false, true});
    if (!launch.process) return 0;
    loop_.waitFor([&] { return sounding(); }, 30);
    const double latency = millisecondsSince(start);
    (void)launch.process->wait();
    return latency;
  }

  double stopLatency(VoiceEngine& engine, int run) {
    auto owner = std::make_shared<Recorder>();
    const std::string id = "d" + std::to_string(run);
    engine.startListening(id, "zh-CN", owner, true);
    loop_.waitFor([&] { return owner->has<VoiceEngineEvent::Listening>(id); }, 10);
    loop_.waitFor([] { return false; }, 0.5);
    const auto start = Clock::now();
    engine.stopListening(true, id);
    loop_.waitFor([&] { return owner->has<VoiceEngineEvent::Finished>(id) || owner->has<VoiceEngineEvent::Failed>(id); }, 10);
    return millisecondsSince(start);
  }

  const int runs_;
  ManualLoop loop_;
  PrivatePulse pulse_;
  BeastHttpClient http_;
  SerialQueue queue_{"bench-http"};
  BeastWebSocketClient sockets_;
  uint16_t port_ = 0;
  std::shared_ptr<ChildProcess> relay_;
};

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  }
  return Bench(runs).run();
}
