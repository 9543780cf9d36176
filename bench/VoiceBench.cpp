// Voice throughput and latency, figures from one run side by side:
//
//   build/default/bench/VoiceBench [--seconds N] [--chunks N]
//
// 1. The PCM converter turning 48 kHz stereo float audio into the relay's 16 kHz mono
//    16-bit PCM, against the sox command resampling the same audio in the same run.
//    Throughput is seconds of audio per second of CPU (the converter's thread time;
//    sox's user and system time). Best of five runs each.
// 2. The dictation socket's added latency: from the send() that completes a chunk to
//    that chunk's arrival at a loopback relay, p50 and p99.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <numbers>
#include <string>
#include <vector>

#include "base/BeastWebSocketClient.h"
#include "main/voice/RelayVoiceCloudSession.h"
#include "main/voice/VoicePCMConverter.h"
#include "tests/support/LoopbackWebSocketServer.h"
#include "tests/support/TempDir.h"

extern char** environ;

using namespace tovarin;
using Clock = std::chrono::steady_clock;

namespace {

double threadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::vector<float> stereoSine(double seconds) {
  const size_t frames = static_cast<size_t>(48000 * seconds);
  std::vector<float> samples(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    const float value = static_cast<float>(0.4 * std::sin(2 * std::numbers::pi * 440 * static_cast<double>(i) / 48000));
    samples[2 * i] = value;
    samples[2 * i + 1] = value * 0.5f;
  }
  return samples;
}

double converterCpuSeconds(const std::vector<float>& audio) {
  constexpr size_t kFrames = 1024;  // a typical capture fragment
  VoicePCMConverter converter;
  size_t bytes = 0;
  VoiceAudioBuffer buffer{48000, 2, {}};
  const double start = threadCpuSeconds();
  for (size_t offset = 0; offset < audio.size(); offset += kFrames * 2) {
    buffer.samples.assign(audio.begin() + static_cast<long>(offset),
                          audio.begin() + static_cast<long>(std::min(audio.size(), offset + kFrames * 2)));
    bytes += converter.convert(buffer).size();
  }
  bytes += converter.flush().size();
  const double used = threadCpuSeconds() - start;
  if (bytes == 0) std::fprintf(stderr, "converter produced nothing\n");
  return used;
}

// CPU seconds (user + system) of one sox run, or a negative value when it failed.
double soxCpuSeconds(const std::string& input, const std::string& output) {
  std::vector<std::string> arguments = {"sox", "-t", "raw", "-r", "48000", "-e", "floating-point", "-b", "32",
                                        "-c", "2", input, "-t", "raw", "-r", "16000", "-e", "signed", "-b",
                                        "16", "-c", "1", output};
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, "/usr/bin/sox", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void benchConverter(double seconds) {
  const auto audio = stereoSine(seconds);
  TempDir dir;
  const std::string input = dir.path() + "/in.raw", output = dir.path() + "/out.raw";
  std::ofstream(input, std::ios::binary)
      .write(reinterpret_cast<const char*>(audio.data()), static_cast<std::streamsize>(audio.size() * sizeof(float)));
  double ours = 1e9, sox = 1e9;
  for (int run = 0; run < 5; ++run) {
    ours = std::min(ours, converterCpuSeconds(audio));
    const double soxRun = soxCpuSeconds(input, output);
    if (soxRun > 0) sox = std::min(sox, soxRun);
  }
  std::printf("converter: %.0f s of 48 kHz stereo audio\n", seconds);
  std::printf("  ours  %8.4f s CPU  %8.0f x real time\n", ours, seconds / ours);
  if (sox < 1e9) {
    std::printf("  sox   %8.4f s CPU  %8.0f x real time\n", sox, seconds / sox);
    std::printf("  ours / sox throughput: %.2f\n", sox / ours);
  } else {
    std::printf("  sox   did not run\n");
  }
}

void benchSessionLatency(size_t chunks) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Clock::time_point> arrived(chunks);
  size_t received = 0;
  LoopbackWebSocketServer server([&](LoopbackWebSocketPeer& peer) {
    if (!peer.accept()) return;
    peer.sendText(R"({"type":"ready"})");
    while (auto message = peer.read(10)) {
      if (!message->binary || message->data.size() < sizeof(uint32_t)) continue;
      uint32_t index = 0;
      std::memcpy(&index, message->data.data(), sizeof index);
      std::lock_guard lock(mutex);
      if (index < chunks) arrived[index] = Clock::now();
      ++received;
      changed.notify_all();
    }
  });
  BeastWebSocketClient client;
  std::mutex readyMutex;
  std::condition_variable readyChanged;
  bool ready = false;
  auto session = RelayVoiceCloudSession::create(
      WebSocketRequest{.url = "ws://127.0.0.1:" + std::to_string(server.port()) + "/api/voice/asr", .headers = {}},
      client, [&](VoiceCloudUpdate update) {
        if (!std::holds_alternative<VoiceCloudUpdate::Ready>(update.value)) return;
        std::lock_guard lock(readyMutex);
        ready = true;
        readyChanged.notify_all();
      });
  {
    std::unique_lock lock(readyMutex);
    readyChanged.wait_for(lock, std::chrono::seconds(10), [&] { return ready; });
  }
  std::vector<Clock::time_point> sent(chunks);
  std::string chunk(3200, '\0');
  for (uint32_t index = 0; index < chunks; ++index) {
    std::memcpy(chunk.data(), &index, sizeof index);
    // Each chunk arrives as the microphone gives it: in two pieces, the second completing it.
    session->send(chunk.substr(0, 1600));
    sent[index] = Clock::now();
    session->send(chunk.substr(1600));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(30), [&] { return received >= chunks; });
  }
  session->cancel();
  std::vector<double> latencies;
  for (size_t i = 0; i < chunks; ++i) {
    if (arrived[i] != Clock::time_point{}) {
      latencies.push_back(std::chrono::duration<double, std::milli>(arrived[i] - sent[i]).count());
    }
  }
  std::sort(latencies.begin(), latencies.end());
  auto percentile = [&](double p) { return latencies[std::min(latencies.size() - 1, static_cast<size_t>(p * latencies.size()))]; };
  std::printf("dictation socket: %zu of %zu chunks arrived\n", latencies.size(), chunks);
  if (!latencies.empty()) {
    std::printf("  chunk completed -> relay received: p50 %.3f ms  p99 %.3f ms  max %.3f ms\n", percentile(0.5),
                percentile(0.99), latencies.back());
  }
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 600;
  size_t chunks = 2000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--chunks") == 0) chunks = static_cast<size_t>(std::atol(argv[i + 1]));
  }
  benchConverter(seconds);
  benchSessionLatency(chunks);
  return 0;
}
