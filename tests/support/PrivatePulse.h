#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace tovarin {

// A PulseAudio server of the test's own: a real pulseaudio child with its home, runtime
// directory and socket in a private directory, a null sink to play into and nothing
// else; never the user's server. Ended with the object. server() is empty when it
// could not start.
class PrivatePulse final {
 public:
  PrivatePulse();
  ~PrivatePulse();
  PrivatePulse(const PrivatePulse&) = delete;
  PrivatePulse& operator=(const PrivatePulse&) = delete;

  const std::string& server() const { return server_; }  // "unix:<dir>/native"
  const std::string& error() const { return error_; }

  // Runs pactl against this server; its standard output, or nullopt when it failed.
  std::optional<std::string> pactl(const std::vector<std::string>& arguments) const;
  // Adds a microphone fed from a pipe with a steady sine (float samples) until the
  // object ends. False when the source could not be added.
  bool addSineSource(const std::string& name, int rate, int channels, double frequency = 440);
  bool setDefaultSource(const std::string& name) const;
  // The lines of "pactl list short <what>" (sources, source-outputs, sink-inputs).
  std::vector<std::string> list(const std::string& what) const;

 private:
  std::vector<std::string> environment() const;

  TempDir dir_;
  std::shared_ptr<ChildProcess> daemon_;
  std::string server_;
  std::string error_;
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> feeders_;
};

}  // namespace tovarin
