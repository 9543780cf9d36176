#pragma once

#include <functional>
#include <string>

namespace tovarin {

// The desktop's notifications. Main loop only; the activation handler runs there.
class SystemNotifier {
 public:
  using ActivationHandler = std::function<void(const std::string& id)>;
  virtual ~SystemNotifier() = default;
  // False when the desktop cannot show our notifications at all (no registered
  // application on a session bus); then nothing else is called.
  [[nodiscard]] virtual bool available() const = 0;
  // Shows a notification now; one with the same id replaces the earlier one.
  virtual void show(const std::string& id, const std::string& title, const std::string& body) = 0;
  virtual void withdraw(const std::string& id) = 0;
  // Called with the id of the notification the user clicked.
  virtual void setActivationHandler(ActivationHandler handler) = 0;
};

}  // namespace tovarin
