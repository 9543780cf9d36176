#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace tovarin {

// A Secret Service of the test's own: a real gnome-keyring-daemon child on the test's
// private bus, which makes a login keyring unlocked by a password of the test. Never the
// user's keyring. Ended with the object.
class PrivateKeyring final {
 public:
  PrivateKeyring() = default;
  ~PrivateKeyring();
  PrivateKeyring(const PrivateKeyring&) = delete;
  PrivateKeyring& operator=(const PrivateKeyring&) = delete;

  // Starts the daemon with this whole environment, which names the private bus and the
  // private home and XDG folders it keeps its keyrings in. True once the daemon owns the
  // service's name on the bus; the login keyring is made a moment after that, so a
  // caller that saves keys waits for its first save to succeed.
  bool start(const std::string& busAddress, const std::vector<std::string>& environment, double seconds = 20);
  const std::string& error() const { return error_; }

 private:
  TempDir dir_;
  std::shared_ptr<ChildProcess> daemon_;
  std::string error_;
};

}  // namespace tovarin
