#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Json.h"
#include "base/MainLoop.h"
#include "base/TaskRunner.h"
#include "main/bridges/Reminder.h"
#include "main/bridges/SystemNotifier.h"
#include "main/bridges/WallClockAlarm.h"

namespace tovarin {

// Keeps the reminders that are not due yet and shows each through the notifier at its
// time. The desktop keeps no pending notifications for us, so the pending reminders
// live in one JSON file, written atomically on every change, and are armed again when
// the program starts; a reminder that came due while the program was not running is
// shown once at start. One wall-clock alarm is armed for the next reminder due.
// Main loop only; the file is read on `background`, so the window never waits for it.
class ReminderScheduler final {
 public:
  // A reminder every waking quarter hour for seven weeks is still fewer, while a file
  // of this many loads in milliseconds and is rewritten on every change without the
  // page noticing.
  static constexpr size_t maxPending = 5000;

  struct Refusal {
    enum class Kind { full, notSaved } kind;
    std::string reason;  // notSaved: why the file could not be written
  };

  ReminderScheduler(std::string path, SystemNotifier& notifier, WallClockAlarm& alarm, MainLoop& loop,
                    TaskRunner& background);
  ~ReminderScheduler();
  ReminderScheduler(const ReminderScheduler&) = delete;
  ReminderScheduler& operator=(const ReminderScheduler&) = delete;

  // Reads the file on the background runner; once it is in, shows what came due
  // meanwhile and arms the alarm. Once.
  void start();
  // Runs `task` once the file is in (at once when it is), in the order asked.
  void whenLoaded(Task task);
  bool loaded() const { return loaded_; }
  // Adds or replaces the reminder of its id. On failure to keep it, nothing changes and
  // the reason is returned. Refused until the file is in: see whenLoaded.
  [[nodiscard]] std::optional<Refusal> schedule(const Reminder& reminder);
  // Forgets the pending reminders of these ids; unknown ids are ignored.
  void cancel(const std::vector<std::string>& ids);
  // Shows what is due now and arms the alarm for the next one.
  void fireDue();

  std::vector<Reminder> pending() const;

 private:
  // What the file held. Entries this version cannot read are kept as they were, for a
  // newer version that wrote them.
  struct Contents {
    Json document = Json::object();  // the file's other keys
    std::map<std::string, Reminder> reminders;
    std::vector<Json> unread;
    bool fileKept = false;  // unreadable and not set aside: never saved over
  };
  static Contents read(const std::string& path);  // background
  static void keepWithinCap(const std::string& path, Contents& contents);  // background
  void adopt(Contents contents);
  [[nodiscard]] std::optional<std::string> save(const std::map<std::string, Reminder>& reminders,
                                                const std::vector<Json>& unread) const;
  // The unread entries without those that carry one of these ids.
  std::vector<Json> unreadWithout(const std::vector<std::string>& ids) const;
  void arm();

  const std::string path_;
  SystemNotifier& notifier_;
  WallClockAlarm& alarm_;
  MainLoop& loop_;
  TaskRunner& background_;
  Json document_ = Json::object();
  std::map<std::string, Reminder> reminders_;
  std::vector<Json> unread_;
  std::vector<Task> waiting_;
  bool started_ = false;
  bool loaded_ = false;
  bool fileKept_ = false;
  // The background read reports back only while this lives.
  std::shared_ptr<ReminderScheduler*> self_ = std::make_shared<ReminderScheduler*>(this);
};

}  // namespace tovarin
