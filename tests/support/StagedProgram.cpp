#include "tests/support/StagedProgram.h"

#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <future>
#include <thread>

#include "tests/support/FileContents.h"
#include "tests/support/InstalledBundle.h"
#include "tests/support/LocalPorts.h"

namespace tovarin {
namespace fs = std::filesystem;

namespace {

// Asked first, so that the program stops its server child on the way out.
void end(const std::shared_ptr<ChildProcess>& process) {
  if (!process || !process->isRunning()) return;
  process->signal(SIGTERM);
  for (int i = 0; i < 100 && process->isRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (process->isRunning()) process->signal(SIGKILL);
  (void)process->wait();
}

std::string nameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

StagedProgram::StagedProgram(Options options)
    : options_(std::move(options)), port_(options_.port ? options_.port : LocalPorts::unused()) {
  layOut();
}

StagedProgram::~StagedProgram() {
  end(program_);
  end(server_);
}

void StagedProgram::layOut() {
  programPath_ = InstalledBundle::layOutProgram(options_.stage, fs::path(root()) / "prefix", port_);
  for (const char* dir : {"home", "config", "data", "cache", "run"}) fs::create_directories(fs::path(root()) / dir);
  fs::permissions(fs::path(root()) / "run", fs::perms::owner_all, fs::perm_options::replace);
}

std::vector<std::string> StagedProgram::environment(const std::vector<std::string>& more) const {
  std::vector<std::string> env = {
      "PATH=/usr/bin:/bin",
      "HOME=" + root() + "/home",
      "XDG_CONFIG_HOME=" + root() + "/config",
      "XDG_DATA_HOME=" + root() + "/data",
      "XDG_CACHE_HOME=" + root() + "/cache",
      "XDG_RUNTIME_DIR=" + root() + "/run",
      "DBUS_SESSION_BUS_ADDRESS=" + options_.busAddress,
      "NO_AT_BRIDGE=1",
  };
  for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  for (const auto* added : {&options_.environment, &more}) {
    for (const std::string& entry : *added) {
      std::erase_if(env, [&](const std::string& had) { return nameOf(had) == nameOf(entry); });
      env.push_back(entry);
    }
  }
  return env;
}

ChildProcess::Launch StagedProgram::launch(const std::vector<std::string>& arguments) const {
  std::string command = "exec \"$0\"";
  for (size_t i = 0; i < arguments.size(); ++i) command += " \"$" + std::to_string(i + 1) + "\"";
  command += " 2>>" + logFile().string();
  std::vector<std::string> args = {"-c", command, programPath_.string()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  return ChildProcess::launch(ChildProcessOptions{"/bin/sh", args, root(), environment(), false, false});
}

bool StagedProgram::start(const std::vector<std::string>& arguments) {
  auto launched = launch(arguments);
  program_ = launched.process;
  error_ = launched.error;
  return program_ != nullptr;
}

bool StagedProgram::startServer() {
  const fs::path resources = programPath_.parent_path().parent_path() / "share" / "the-tovarin";
  const auto info = parseJson(readFile(resources / "Info.json"));
  const std::string version = info ? jsonString(*info, "CFBundleShortVersionString").value_or("") : "";
  auto launched = ChildProcess::launch(ChildProcessOptions{
      "/usr/bin/node",
      {(resources / "tools" / "server.mjs").string(), "--port", std::to_string(port_)},
      root(),
      environment({"VORN_APP_VERSION=" + version}),
      false,
      false,
      true});
  server_ = launched.process;
  error_ = launched.error;
  return server_ != nullptr;
}

int StagedProgram::run(const std::string& executable, const std::vector<std::string>& arguments) {
  auto launched = ChildProcess::launch(ChildProcessOptions{executable, arguments, root(), environment(), false, true});
  if (!launched.process) return -1;
  lastOutput_ = launched.process->readAllOutput();
  const int status = launched.process->wait();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string StagedProgram::log() const { return readFile(logFile()); }

HttpResponse StagedProgram::request(const std::string& method, const std::string& path, const std::string& jsonBody,
                                    double timeoutSeconds) {
  HttpHeaders headers;
  if (!jsonBody.empty()) headers.emplace_back("Content-Type", "application/json");
  std::promise<HttpResponse> answer;
  http_.send(HttpRequest{method, "http://127.0.0.1:" + std::to_string(port_) + path, headers, jsonBody, timeoutSeconds},
             queue_, [&](HttpResponse response) { answer.set_value(std::move(response)); });
  return answer.get_future().get();
}

namespace {

std::optional<Json> jsonOf(const HttpResponse& response) {
  return response.responded && response.status == 200 ? parseJson(response.body) : std::nullopt;
}

}  // namespace

std::optional<Json> StagedProgram::get(const std::string& path) { return jsonOf(request("GET", path)); }

std::optional<Json> StagedProgram::post(const std::string& path, const Json& body) {
  return jsonOf(request("POST", path, body.is_null() ? std::string() : toJsonText(body)));
}

int64_t StagedProgram::pageLoads(const char* page) {
  auto state = get("/__test/state");
  if (!state || !state->contains("pageLoads")) return -1;
  const Json& loads = (*state)["pageLoads"];
  return loads.contains(page) && loads[page].is_array() ? static_cast<int64_t>(loads[page].size()) : -1;
}

}  // namespace tovarin
