#pragma once

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

// The staged program installed under a private root as the package lays it out
// (binary copied, the stand-in server and its feature modules beside it), run with its
// own home, XDG folders and the given session bus, its standard error appended to a
// log file; and an HTTP client for the stand-in server's test routes.
class StagedProgram final {
 public:
  StagedProgram(uint16_t port, std::string busAddress, std::vector<std::string> extraEnvironment = {});
  ~StagedProgram();
  StagedProgram(const StagedProgram&) = delete;
  StagedProgram& operator=(const StagedProgram&) = delete;

  bool start(const std::vector<std::string>& arguments = {});
  const std::shared_ptr<ChildProcess>& process() const { return program_; }
  std::string log() const;
  bool logHas(const std::string& line) const { return log().find(line) != std::string::npos; }
  const std::string& root() const { return root_.path(); }

  // The stand-in server's answer as JSON when it answered 200; nothing otherwise.
  std::optional<Json> get(const std::string& path);
  std::optional<Json> post(const std::string& path, const Json& body);
  // How many times the server saw the named page load (-1 when it cannot tell).
  int64_t pageLoads(const char* page);

 private:
  void layOut();
  std::vector<std::string> environment() const;
  std::optional<Json> send(HttpRequest request);

  TempDir root_;
  const uint16_t port_;
  const std::string busAddress_;
  const std::vector<std::string> extraEnvironment_;
  std::filesystem::path prefix_;
  BeastHttpClient http_;
  SerialQueue queue_{"staged-program-http"};
  std::shared_ptr<ChildProcess> program_;
};

}  // namespace tovarin
