#pragma once

#include <string>

#include "main/bridges/SystemNotifier.h"

typedef struct _GApplication GApplication;
typedef struct _GSimpleAction GSimpleAction;

namespace tovarin {

// Desktop notifications through the application's GNotification. A click on one
// activates the application action "app.reminder-open" with the notification's id.
// Main loop only.
class GtkSystemNotifier final : public SystemNotifier {
 public:
  static constexpr const char* openActionName = "reminder-open";

  explicit GtkSystemNotifier(GApplication* application);
  ~GtkSystemNotifier() override;
  GtkSystemNotifier(const GtkSystemNotifier&) = delete;
  GtkSystemNotifier& operator=(const GtkSystemNotifier&) = delete;

  bool available() const override;
  void show(const std::string& id, const std::string& title, const std::string& body) override;
  void withdraw(const std::string& id) override;
  void setActivationHandler(ActivationHandler handler) override { handler_ = std::move(handler); }

 private:
  GApplication* application_;
  GSimpleAction* openAction_ = nullptr;
  unsigned long activateHandler_ = 0;
  ActivationHandler handler_;
};

}  // namespace tovarin
