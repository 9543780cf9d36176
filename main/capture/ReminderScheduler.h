#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/MainLoop.h"
#include "main/capture/Reminder.h"
#include "main/capture/SystemNotifier.h"
#include "main/capture/WallClockAlarm.h"

namespace tovarin {

// Keeps the reminders that are not due yet and shows each through the notifier at its
// time. The desktop keeps no pending notifications for us, so the pending reminders
// live in one JSON file, written atomically on every change, and are armed again when
// the program starts; a reminder that came due while the program was not running is
// shown once at start. One wall-clock alarm is armed for the next reminder due.
// Main loop only.
class ReminderScheduler final {
 public:
  ReminderScheduler(std::string path, SystemNotifier& notifier, WallClockAlarm& alarm);
  ~ReminderScheduler();
  ReminderScheduler(const ReminderScheduler&) = delete;
  ReminderScheduler& operator=(const ReminderScheduler&) = delete;

  // Reads the file, shows what came due meanwhile and arms the alarm; once.
  void start();
  // Adds or replaces the reminder of its id. On failure to keep it, nothing changes and
  // the reason is returned.
  [[nodiscard]] std::optional<std::string> schedule(const Reminder& reminder);
  // Forgets the pending reminders of these ids; unknown ids are ignored.
  void cancel(const std::vector<std::string>& ids);
  // Shows what is due now and arms the alarm for the next one.
  void fireDue();

  std::vector<Reminder> pending() const;

 private:
  void load();
  [[nodiscard]] std::optional<std::string> save(const std::map<std::string, Reminder>& reminders) const;
  void arm();

  const std::string path_;
  SystemNotifier& notifier_;
  WallClockAlarm& alarm_;
  std::map<std::string, Reminder> reminders_;
  bool started_ = false;
};

}  // namespace tovarin
