#pragma once

#include <memory>
#include <string>

#include "base/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace tovarin {

// A message bus of the test's own: a real dbus-daemon child on a socket in a private
// directory, ended with the object. address() is empty when it could not start.
class PrivateDbus final {
 public:
  PrivateDbus();
  ~PrivateDbus();
  PrivateDbus(const PrivateDbus&) = delete;
  PrivateDbus& operator=(const PrivateDbus&) = delete;

  const std::string& address() const { return address_; }
  const std::string& error() const { return error_; }

 private:
  TempDir dir_;
  std::shared_ptr<ChildProcess> daemon_;
  std::string address_;
  std::string error_;
};

}  // namespace tovarin
