#pragma once

#include <string>

struct _GDBusConnection;

namespace tovarin {

// A private connection to a message bus, made on first use and made again after the
// bus went away. Never the process-wide shared connection of GIO, which ends the
// process when its bus disappears. Used from one thread at a time.
class DbusConnection final {
 public:
  enum class Bus { session, system };

  // The bus's address from the environment (never an auto-launched bus); empty when
  // there is none.
  [[nodiscard]] static std::string addressOf(Bus bus);

  explicit DbusConnection(std::string address);
  ~DbusConnection();
  DbusConnection(const DbusConnection&) = delete;
  DbusConnection& operator=(const DbusConnection&) = delete;

  // The open connection, or nullptr with the reason in *whyNot.
  _GDBusConnection* ensure(std::string* whyNot = nullptr);

  const std::string& address() const { return address_; }

 private:
  const std::string address_;
  _GDBusConnection* connection_ = nullptr;  // owned reference
};

}  // namespace tovarin
