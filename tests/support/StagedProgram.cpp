#include "tests/support/StagedProgram.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

namespace tovarin {
namespace fs = std::filesystem;

StagedProgram::StagedProgram(uint16_t port, std::string busAddress, std::vector<std::string> extraEnvironment)
    : port_(port), busAddress_(std::move(busAddress)), extraEnvironment_(std::move(extraEnvironment)) {
  layOut();
}

StagedProgram::~StagedProgram() {
  if (program_ && program_->isRunning()) {
    // Asked first, so that the program stops its server child on the way out.
    program_->signal(SIGTERM);
    for (int i = 0; i < 100 && program_->isRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (program_->isRunning()) program_->signal(SIGKILL);
    (void)program_->wait();
  }
}

void StagedProgram::layOut() {
  const fs::path stage(TOVARIN_STAGE_DIR);
  prefix_ = fs::path(root_.path()) / "prefix";
  fs::create_directories(prefix_ / "bin");
  fs::copy_file(stage / "bin" / "TheTovarin", prefix_ / "bin" / "TheTovarin");
  const fs::path resources = prefix_ / "share" / "the-tovarin";
  fs::create_directories(resources / "tools");
  fs::copy_file(stage / "share" / "the-tovarin" / "Info.json", resources / "Info.json");
  fs::copy_file(stage / "share" / "the-tovarin" / "TheTovarinMark.svg", resources / "TheTovarinMark.svg");
  fs::copy_file(fs::path(TOVARIN_SOURCE_DIR) / "tools" / "server.mjs", resources / "tools" / "server.mjs");
  fs::copy(fs::path(TOVARIN_SOURCE_DIR) / "tools" / "server", resources / "tools" / "server", fs::copy_options::recursive);
  std::ofstream(resources / "config.json") << R"({"port":)" << port_ << R"(,"autoStartServer":true})";
  fs::create_directories(prefix_ / "lib" / "the-tovarin");
  fs::create_directory_symlink(stage / "lib" / "the-tovarin" / "webext", prefix_ / "lib" / "the-tovarin" / "webext");
  fs::create_symlink(stage / "lib" / "the-tovarin" / "libtovarin-ocr.so", prefix_ / "lib" / "the-tovarin" / "libtovarin-ocr.so");
  for (const char* dir : {"home", "config", "data", "cache", "run"}) fs::create_directories(fs::path(root_.path()) / dir);
  fs::permissions(fs::path(root_.path()) / "run", fs::perms::owner_all, fs::perm_options::replace);
}

std::vector<std::string> StagedProgram::environment() const {
  std::vector<std::string> env = {
      "PATH=/usr/bin:/bin",
      "HOME=" + root_.path() + "/home",
      "XDG_CONFIG_HOME=" + root_.path() + "/config",
      "XDG_DATA_HOME=" + root_.path() + "/data",
      "XDG_CACHE_HOME=" + root_.path() + "/cache",
      "XDG_RUNTIME_DIR=" + root_.path() + "/run",
      "DBUS_SESSION_BUS_ADDRESS=" + busAddress_,
      "NO_AT_BRIDGE=1",
  };
  for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  env.insert(env.end(), extraEnvironment_.begin(), extraEnvironment_.end());
  return env;
}

bool StagedProgram::start(const std::vector<std::string>& arguments) {
  const std::string logFile = root_.path() + "/program.log";
  std::string command = "exec \"$0\"";
  for (size_t i = 0; i < arguments.size(); ++i) command += " \"$" + std::to_string(i + 1) + "\"";
  command += " 2>>" + logFile;
  std::vector<std::string> args = {"-c", command, (prefix_ / "bin" / "TheTovarin").string()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  auto launch = ChildProcess::launch(ChildProcessOptions{"/bin/sh", args, root_.path(), environment(), false, false});
  program_ = launch.process;
  return program_ != nullptr;
}

std::string StagedProgram::log() const {
  std::ifstream in(root_.path() + "/program.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<Json> StagedProgram::send(HttpRequest request) {
  std::promise<std::optional<Json>> answer;
  http_.send(std::move(request), queue_, [&](HttpResponse response) {
    answer.set_value(response.responded && response.status == 200 ? parseJson(response.body) : std::nullopt);
  });
  return answer.get_future().get();
}

std::optional<Json> StagedProgram::get(const std::string& path) {
  return send(HttpRequest{"GET", "http://127.0.0.1:" + std::to_string(port_) + path, {}, {}, 5});
}

std::optional<Json> StagedProgram::post(const std::string& path, const Json& body) {
  return send(HttpRequest{"POST", "http://127.0.0.1:" + std::to_string(port_) + path,
                          {{"Content-Type", "application/json"}}, toJsonText(body), 5});
}

int64_t StagedProgram::pageLoads(const char* page) {
  auto state = get("/__test/state");
  if (!state || !state->contains("pageLoads")) return -1;
  const Json& loads = (*state)["pageLoads"];
  return loads.contains(page) && loads[page].is_array() ? static_cast<int64_t>(loads[page].size()) : -1;
}

}  // namespace tovarin
