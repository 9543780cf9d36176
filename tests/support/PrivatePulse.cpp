#include "tests/support/PrivatePulse.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <sstream>

namespace tovarin {

PrivatePulse::PrivatePulse() {
  if (dir_.path().empty()) {
    error_ = "no temporary directory";
    return;
  }
  const std::string socket = dir_.path() + "/native";
  ChildProcessOptions options;
  options.executable = "/usr/bin/pulseaudio";
  options.arguments = {"-n",
                       "--daemonize=no",
                       "--system=false",
                       "--exit-idle-time=-1",
                       "--disable-shm=yes",
                       "--use-pid-file=no",
                       "--log-target=stderr",
                       "-L",
                       "module-native-protocol-unix auth-anonymous=1 socket=" + socket,
                       "-L",
                       "module-null-sink sink_name=speakers"};
  options.workingDirectory = dir_.path();
  options.environment = environment();
  options.inheritStdin = false;
  options.endsWithProgram = true;
  auto launch = ChildProcess::launch(options);
  if (!launch.process) {
    error_ = "cannot start pulseaudio: " + launch.error;
    return;
  }
  daemon_ = launch.process;
  server_ = "unix:" + socket;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (pactl({"info"})) return;
    if (!daemon_->isRunning()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  error_ = "pulseaudio did not answer";
  server_.clear();
}

PrivatePulse::~PrivatePulse() {
  stopping_ = true;
  for (auto& feeder : feeders_) feeder.join();
  if (daemon_ && daemon_->isRunning()) {
    daemon_->signal(SIGTERM);
    daemon_->wait();
  }
}

std::vector<std::string> PrivatePulse::environment() const {
  return {"HOME=" + dir_.path(), "XDG_RUNTIME_DIR=" + dir_.path(), "PULSE_RUNTIME_PATH=" + dir_.path(),
          "XDG_CONFIG_HOME=" + dir_.path() + "/config", "PATH=/usr/bin:/bin",
          "PULSE_SERVER=" + (server_.empty() ? "unix:" + dir_.path() + "/native" : server_)};
}

std::optional<std::string> PrivatePulse::pactl(const std::vector<std::string>& arguments) const {
  ChildProcessOptions options;
  options.executable = "/usr/bin/pactl";
  options.arguments = arguments;
  options.environment = environment();
  options.inheritStdin = false;
  options.captureStdout = true;
  auto launch = ChildProcess::launch(options);
  if (!launch.process) return std::nullopt;
  std::string output = launch.process->readAllOutput();
  const int status = launch.process->wait();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

bool PrivatePulse::setDefaultSource(const std::string& name) const {
  return pactl({"set-default-source", name}).has_value();
}

std::vector<std::string> PrivatePulse::list(const std::string& what) const {
  std::vector<std::string> lines;
  std::istringstream output(pactl({"list", "short", what}).value_or(""));
  for (std::string line; std::getline(output, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

bool PrivatePulse::addSineSource(const std::string& name, int rate, int channels, double frequency) {
  const std::string fifo = dir_.path() + "/" + name + ".fifo";
  if (!pactl({"load-module", "module-pipe-source", "source_name=" + name, "file=" + fifo, "format=float32le",
              "rate=" + std::to_string(rate), "channels=" + std::to_string(channels)})) {
    return false;
  }
  const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  feeders_.emplace_back([this, fd, rate, channels, frequency] {
    // 10 ms at a time, roughly in real time; a full pipe just waits.
    const size_t frames = static_cast<size_t>(rate / 100);
    std::vector<float> block(frames * static_cast<size_t>(channels));
    uint64_t frame = 0;
    while (!stopping_) {
      for (size_t i = 0; i < frames; ++i, ++frame) {
        const float value =
            static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(frame) / rate));
        for (int channel = 0; channel < channels; ++channel) block[i * channels + channel] = value;
      }
      const char* bytes = reinterpret_cast<const char*>(block.data());
      size_t left = block.size() * sizeof(float);
      while (left > 0 && !stopping_) {
        const ssize_t written = ::write(fd, bytes, left);
        if (written > 0) {
          bytes += written;
          left -= static_cast<size_t>(written);
        } else {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(8));
    }
    ::close(fd);
  });
  return true;
}

}  // namespace tovarin
