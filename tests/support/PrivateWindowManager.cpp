#include "tests/support/PrivateWindowManager.h"

#include <signal.h>

#include <chrono>

#include "tests/support/Eventually.h"

extern char** environ;

namespace tovarin {
namespace {

// The window of the root's check property, as xprop prints it ("... # 0x200001").
std::string checkWindow(const std::string& rootProperty) {
  const size_t hash = rootProperty.find("# ");
  if (hash == std::string::npos) return "";
  return rootProperty.substr(hash + 2, rootProperty.find_first_of(" \n", hash + 2) - hash - 2);
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

bool PrivateWindowManager::start(std::vector<std::string> environment, double seconds) {
  if (environment.empty()) {
    for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
  }
  environment_ = std::move(environment);
  auto launch = ChildProcess::launch(
      ChildProcessOptions{"/usr/bin/openbox", {"--replace", "--sm-disable"}, "", environment_, false, false});
  if (!launch.process) {
    error_ = "openbox: " + launch.error;
    return false;
  }
  openbox_ = launch.process;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  if (!eventually([&] { return openboxNamesItself(); }, seconds)) {
    error_ = "openbox did not take the display";
    return false;
  }
  const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
  if (!managesProbe(std::max(left, 5.0))) {
    error_ = "openbox took the display but managed no window";
    return false;
  }
  return true;
}

bool PrivateWindowManager::openboxNamesItself() {
  const std::string window = checkWindow(tool("/usr/bin/xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}));
  return !window.empty() &&
         tool("/usr/bin/xprop", {"-id", window, "_NET_WM_NAME"}).find("\"Openbox\"") != std::string::npos;
}

bool PrivateWindowManager::managesProbe(double seconds) {
  auto launch = ChildProcess::launch(ChildProcessOptions{
      TOVARIN_BINARY_DIR "/tests/tovarin_x_test_window", {"--title", "window manager probe"}, "", environment_,
      false, false});
  if (!launch.process) return false;
  const std::string pid = std::to_string(launch.process->pid());
  auto lastMap = std::chrono::steady_clock::now();
  const bool managed = eventually(
      [&] {
        const std::string window = firstLine(tool("/usr/bin/xdotool", {"search", "--pid", pid}));
        if (window.empty()) return false;
        if (tool("/usr/bin/xprop", {"-id", window, "WM_STATE"}).find("Normal") != std::string::npos) return true;
        if (std::chrono::steady_clock::now() - lastMap > std::chrono::seconds(2)) {
          tool("/usr/bin/xdotool", {"windowmap", window});
          lastMap = std::chrono::steady_clock::now();
        }
        return false;
      },
      seconds);
  launch.process->signal(SIGTERM);
  (void)launch.process->wait();
  return managed;
}

std::string PrivateWindowManager::tool(const std::string& executable, const std::vector<std::string>& arguments) {
  auto launch = ChildProcess::launch(ChildProcessOptions{executable, arguments, "", environment_, false, true});
  if (!launch.process) return "";
  std::string output = launch.process->readAllOutput();
  (void)launch.process->wait();
  return output;
}

PrivateWindowManager::~PrivateWindowManager() {
  if (openbox_ && openbox_->signal(SIGTERM)) (void)openbox_->wait();
}

}  // namespace tovarin
