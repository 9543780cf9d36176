#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/ChildProcess.h"

namespace tovarin {

// Openbox on the test's display, taking it over from any window manager a test before
// left behind. Ended with the object.
//
// Openbox names itself on the root window before it handles map requests, and a window
// mapped in between stays unmapped for good; so start() returns only once openbox has
// managed a probe window of its own, sending the probe's map again while it has not.
class PrivateWindowManager final {
 public:
  PrivateWindowManager() = default;
  ~PrivateWindowManager();
  PrivateWindowManager(const PrivateWindowManager&) = delete;
  PrivateWindowManager& operator=(const PrivateWindowManager&) = delete;

  // `environment`: the whole environment of openbox and the tools, naming the display;
  // empty: the test's own. True once openbox manages new windows.
  bool start(std::vector<std::string> environment = {}, double seconds = 60);
  const std::string& error() const { return error_; }

 private:
  bool openboxNamesItself();
  bool managesProbe(double seconds);
  std::string tool(const std::string& executable, const std::vector<std::string>& arguments);

  std::vector<std::string> environment_;
  std::shared_ptr<ChildProcess> openbox_;
  std::string error_;
};

}  // namespace tovarin
