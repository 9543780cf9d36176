#pragma once

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/Eventually.h"
#include "tests/support/FileContents.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/ProcessTable.h"
#include "tests/support/StagedProgram.h"

namespace tovarin {
namespace fs = std::filesystem;

// The staged program in a bundle of its own under the test's display, with its own
// session bus, home and port; the stand-in server it starts is reachable over HTTP.
// A test keeps what it started in program_ and the server's pid in serverPid_: both are
// killed outright at the end, whatever state the test left them in.
class StagedProgramFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::getenv("DISPLAY")) << "run under xvfb-run";
    ASSERT_FALSE(bus_.address().empty()) << bus_.error();
  }

  ~StagedProgramFixture() override {
    if (program_ && program_->isRunning()) {
      program_->signal(SIGKILL);
      (void)program_->wait();
    }
    if (serverPid_ > 0 && ProcessTable::contains(serverPid_)) ::kill(serverPid_, SIGKILL);
  }

  const std::string& root() const { return staged_.root(); }
  uint16_t port() const { return staged_.port(); }
  fs::path logFile() const { return staged_.logFile(); }
  std::vector<std::string> environment() const { return staged_.environment(); }

  // The program with its standard error appended to the log file.
  std::shared_ptr<ChildProcess> start(const std::vector<std::string>& arguments) {
    auto launch = staged_.launch(arguments);
    EXPECT_TRUE(launch.process) << launch.error;
    return launch.process;
  }
  // A tool run to its end; its exit status, its output in lastOutput().
  int run(const std::string& executable, const std::vector<std::string>& arguments) {
    return staged_.run(executable, arguments);
  }
  const std::string& lastOutput() const { return staged_.lastOutput(); }

  std::optional<Json> get(const std::string& path) { return staged_.get(path); }
  // The status of a POST with a JSON body; 0 when nothing answered.
  int post(const std::string& path, const std::string& body) { return staged_.request("POST", path, body).status; }
  int64_t pageLoads(const char* page) { return staged_.pageLoads(page); }
  bool logHas(const std::string& line) { return staged_.logHas(line); }
  int visibleWindows() {
    if (run("/usr/bin/xdotool", {"search", "--onlyvisible", "--classname", "TheTovarin"}) < 0) return -1;
    return static_cast<int>(std::count(lastOutput().begin(), lastOutput().end(), '\n'));
  }

  PrivateDbus bus_;
  // Its environment also names TOVARIN_TEST_INTROSPECT; a test adds to it before start().
  StagedProgram staged_{{.busAddress = bus_.address(), .environment = {"TOVARIN_TEST_INTROSPECT=1"}}};
  std::shared_ptr<ChildProcess> program_;
  pid_t serverPid_ = -1;
};

}  // namespace tovarin
