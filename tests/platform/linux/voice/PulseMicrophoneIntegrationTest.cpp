#include "platform/linux/PulseMicrophone.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "main/voice/VoiceFailure.h"
#include "tests/support/PrivatePulse.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

// What the microphone delivered, from its own thread.
class Capture {
 public:
  VoiceMicrophone::BufferCallback callback() {
    return [this](const VoiceAudioBuffer& buffer) {
      std::lock_guard lock(mutex_);
      ++buffers_;
      frames_ += buffer.frames();
      rate_ = buffer.sampleRate;
      channels_ = buffer.channels;
      for (float sample : buffer.samples) peak_ = std::max(peak_, std::abs(sample));
      threads_.insert(std::this_thread::get_id());
      changed_.notify_all();
    };
  }
  bool waitForFrames(size_t frames, double seconds = 20) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return frames_ >= frames; });
  }
  size_t buffers() {
    std::lock_guard lock(mutex_);
    return buffers_;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  size_t buffers_ = 0;
  size_t frames_ = 0;
  double rate_ = 0;
  uint32_t channels_ = 0;
  float peak_ = 0;
  std::set<std::thread::id> threads_;
};

class PulseMicrophoneTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(pulse_.server().empty()) << pulse_.error(); }
  PrivatePulse pulse_;
};

TEST_F(PulseMicrophoneTest, OnlyAMonitorIsNoInputDevice) {
  EXPECT_FALSE(PulseMicrophone::hasInputDevice(pulse_.server()));
  Capture capture;
  PulseMicrophone microphone(pulse_.server());
  EXPECT_EQ(microphone.open(capture.callback()), VoiceFailure("no-input-device"))
      << "a monitor source opened as a microphone";
  EXPECT_TRUE(pulse_.list("source-outputs").empty());
}

TEST_F(PulseMicrophoneTest, NoServerIsAStartFailureWithAReason) {
  const std::string nowhere = "unix:" + pulse_.server().substr(5) + ".absent";
  EXPECT_FALSE(PulseMicrophone::hasInputDevice(nowhere));
  PulseMicrophone microphone(nowhere);
  const auto failure = microphone.open([](const VoiceAudioBuffer&) {});
  ASSERT_TRUE(failure) << "opened without a server";
  EXPECT_EQ(failure->code, "audio-start-failed");
  ASSERT_TRUE(failure->message);
  EXPECT_FALSE(failure->message->empty());
}

TEST_F(PulseMicrophoneTest, AServerThatNeverAnswersIsAStartFailureInSeconds) {
  // A socket that takes connections into its backlog and never speaks.
  TempDir dir;
  const std::string path = dir.path() + "/silent";
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 8), 0);

  const auto start = std::chrono::steady_clock::now();
  PulseMicrophone microphone("unix:" + path);
  EXPECT_EQ(microphone.open([](const VoiceAudioBuffer&) {}),
            VoiceFailure("audio-start-failed", "the sound server did not answer"))
      << "opened against a silent server";
  EXPECT_FALSE(PulseMicrophone::hasInputDevice("unix:" + path));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  ::close(listener);
}

TEST_F(PulseMicrophoneTest, CapturesTheDefaultSourceInItsOwnFormatOnItsOwnThread) {
  ASSERT_TRUE(pulse_.addSineSource("mic", 48000, 2));
  ASSERT_TRUE(pulse_.setDefaultSource("mic"));
  EXPECT_TRUE(PulseMicrophone::hasInputDevice(pulse_.server()));

  Capture second;
  Capture capture;
  PulseMicrophone microphone(pulse_.server());
  ASSERT_EQ(microphone.open(capture.callback()), std::nullopt);
  ASSERT_TRUE(capture.waitForFrames(4800));  // 100 ms
  {
    std::lock_guard lock(capture.mutex_);
    EXPECT_EQ(capture.rate_, 48000);
    EXPECT_EQ(capture.channels_, 2u);
    EXPECT_GT(capture.peak_, 0.2f);  // the 0.3 sine, not silence
    EXPECT_EQ(capture.threads_.count(std::this_thread::get_id()), 0u);
  }
  EXPECT_EQ(pulse_.list("source-outputs").size(), 1u);

  // A second open replaces the stream rather than adding one.
  ASSERT_EQ(microphone.open(second.callback()), std::nullopt);
  ASSERT_TRUE(second.waitForFrames(4800));
  EXPECT_EQ(pulse_.list("source-outputs").size(), 1u);

  microphone.close();
  const size_t afterClose = second.buffers();
  EXPECT_TRUE(pulse_.list("source-outputs").empty());
  microphone.close();  // twice is harmless
  EXPECT_EQ(second.buffers(), afterClose);
}

TEST_F(PulseMicrophoneTest, ANewDefaultSourceIsAConfigurationChange) {
  ASSERT_TRUE(pulse_.addSineSource("mic", 44100, 1));
  ASSERT_TRUE(pulse_.addSineSource("headset", 16000, 1));
  ASSERT_TRUE(pulse_.setDefaultSource("mic"));

  std::mutex mutex;
  std::condition_variable changed;
  int changes = 0;
  // Declared after what its callbacks touch, so it stops calling them before they go.
  Capture capture;
  PulseMicrophone microphone(pulse_.server());
  microphone.setOnConfigurationChange([&] {
    std::lock_guard lock(mutex);
    ++changes;
    changed.notify_all();
  });
  ASSERT_EQ(microphone.open(capture.callback()), std::nullopt);
  ASSERT_TRUE(capture.waitForFrames(4410));
  EXPECT_EQ(capture.rate_, 44100);

  ASSERT_TRUE(pulse_.setDefaultSource("headset"));
  std::unique_lock lock(mutex);
  EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [&] { return changes >= 1; }));
}

}  // namespace
}  // namespace tovarin
