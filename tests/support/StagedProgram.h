#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/BeastHttpClient.h"
#include "base/ChildProcess.h"
#include "base/Json.h"
#include "base/SerialQueue.h"
#include "tests/support/TempDir.h"

namespace tovarin {

// The staged program installed under a private root as the package lays it out (see
// InstalledBundle), run on the test's display with its own home and XDG folders and the
// given session bus, its standard error appended to a log file; the tools a test runs
// beside it share its environment; an HTTP client for the stand-in server's test routes.
// What it started it ends with itself, asking first.
class StagedProgram final {
 public:
  struct Options {
    // The session bus of the program, its server and the tools run beside it.
    std::string busAddress = {};
    // Added to their environment; a name given here replaces the harness's own value.
    std::vector<std::string> environment = {};
    // The stand-in server's port; 0 picks one nobody listens on.
    uint16_t port = 0;
    // The stage whose program and bundle are installed.
    std::filesystem::path stage = TOVARIN_STAGE_DIR;
  };

  explicit StagedProgram(Options options);
  ~StagedProgram();
  StagedProgram(const StagedProgram&) = delete;
  StagedProgram& operator=(const StagedProgram&) = delete;

  // Adds to the environment of what starts from now on.
  void addEnvironment(std::string entry) { options_.environment.push_back(std::move(entry)); }
  // The environment of the program and its tools; `more` replaces names as the options do.
  std::vector<std::string> environment(const std::vector<std::string>& more = {}) const;

  // Starts the program, which this object then ends; error() says why it did not.
  bool start(const std::vector<std::string>& arguments = {});
  const std::shared_ptr<ChildProcess>& process() const { return program_; }
  // Another start of the program, which the caller ends.
  ChildProcess::Launch launch(const std::vector<std::string>& arguments = {}) const;
  // The bundle's stand-in server, answering the bundle's version, which this object then
  // ends. The program starts its own server unless it finds this one already running.
  bool startServer();
  const std::string& error() const { return error_; }

  // A tool run to its end in the program's environment: its exit status (-1 when it did
  // not exit), its standard output kept as lastOutput().
  int run(const std::string& executable, const std::vector<std::string>& arguments);
  const std::string& lastOutput() const { return lastOutput_; }

  std::string log() const;
  bool logHas(const std::string& line) const { return log().find(line) != std::string::npos; }
  std::filesystem::path logFile() const { return std::filesystem::path(root()) / "program.log"; }
  const std::string& root() const { return root_.path(); }
  const std::filesystem::path& programPath() const { return programPath_; }
  uint16_t port() const { return port_; }

  // The stand-in server's answer to one request; a JSON body is sent as such.
  HttpResponse request(const std::string& method, const std::string& path, const std::string& jsonBody = {},
                       double timeoutSeconds = 5);
  // The stand-in server's answer as JSON when it answered 200; nothing otherwise. A null
  // body sends none.
  std::optional<Json> get(const std::string& path);
  std::optional<Json> post(const std::string& path, const Json& body = Json());
  // How many times the server saw the named page load (-1 when it cannot tell).
  int64_t pageLoads(const char* page);

 private:
  void layOut();

  TempDir root_;
  Options options_;
  const uint16_t port_;
  std::filesystem::path programPath_;
  BeastHttpClient http_;
  SerialQueue queue_{"staged-program-http"};
  std::shared_ptr<ChildProcess> server_;
  std::shared_ptr<ChildProcess> program_;
  std::string lastOutput_;
  std::string error_;
};

}  // namespace tovarin
