#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "main/voice/VoiceMicrophone.h"

namespace tovarin {

// The microphone over PulseAudio's asynchronous API (also PipeWire's Pulse server): a
// record stream on the default source at that source's own rate and channels, in float
// samples, run by a threaded main loop of its own. Buffers, configuration changes (a new
// default source, or the stream moved to another) and interruptions (the stream died)
// are reported on that loop's thread, with its lock held: callers hop elsewhere before
// calling open() or close() again. Monitor sources are not microphones.
class PulseMicrophone final : public VoiceMicrophone {
 public:
  // server: a Pulse server address ("unix:/path"); empty for the user's own.
  explicit PulseMicrophone(std::string server = {});
  ~PulseMicrophone() override;

  void setOnConfigurationChange(std::function<void()> callback) override;
  void setOnInterruption(std::function<void()> callback) override;
  [[nodiscard]] std::optional<VoiceFailure> open(BufferCallback onBuffer) override;
  void close() override;

  // Whether the server has a default source that is a real input, not a monitor.
  static bool hasInputDevice(const std::string& server = {});

  struct Connection;
  struct Callbacks {
    std::mutex mutex;
    std::function<void()> onConfigurationChange;  // mutex
    std::function<void()> onInterruption;          // mutex
  };

 private:
  const std::string server_;
  const std::shared_ptr<Callbacks> callbacks_ = std::make_shared<Callbacks>();
  std::unique_ptr<Connection> connection_;
};

}  // namespace tovarin
