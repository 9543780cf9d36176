#include "main/capture/ReminderScheduler.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <utility>

#include "base/Json.h"
#include "base/Log.h"

namespace tovarin {
namespace {

Json toJson(const Reminder& reminder) {
  return {{"id", reminder.id}, {"title", reminder.title}, {"body", reminder.body}, {"fireAt", reminder.fireAt}};
}

std::optional<Reminder> fromJson(const Json& item) {
  if (!item.is_object()) return std::nullopt;
  auto id = jsonString(item, "id");
  auto title = jsonString(item, "title");
  auto body = jsonString(item, "body");
  auto fireAt = jsonNumber(item, "fireAt");
  if (!id || id->empty() || !title || !body || !fireAt || !std::isfinite(*fireAt)) return std::nullopt;
  return Reminder{std::move(*id), std::move(*title), std::move(*body), *fireAt};
}

}  // namespace

ReminderScheduler::ReminderScheduler(std::string path, SystemNotifier& notifier, WallClockAlarm& alarm)
    : path_(std::move(path)), notifier_(notifier), alarm_(alarm) {}

ReminderScheduler::~ReminderScheduler() { alarm_.disarm(); }

void ReminderScheduler::start() {
  if (std::exchange(started_, true)) return;
  load();
  fireDue();
}

std::optional<std::string> ReminderScheduler::schedule(const Reminder& reminder) {
  auto next = reminders_;
  next[reminder.id] = reminder;
  if (auto failure = save(next)) return failure;
  reminders_ = std::move(next);
  arm();
  return std::nullopt;
}

void ReminderScheduler::cancel(const std::vector<std::string>& ids) {
  auto next = reminders_;
  for (const auto& id : ids) next.erase(id);
  if (next.size() == reminders_.size()) return;
  // Cancelling must take effect even when the file cannot be written: the reminder
  // then stays forgotten for this run, and the log tells why it may come back.
  if (auto failure = save(next)) log("notify: cannot save the pending reminders: " + *failure);
  reminders_ = std::move(next);
  arm();
}

void ReminderScheduler::fireDue() {
  const double now = alarm_.now();
  std::vector<Reminder> due;
  for (auto it = reminders_.begin(); it != reminders_.end();) {
    if (it->second.fireAt <= now) {
      due.push_back(std::move(it->second));
      it = reminders_.erase(it);
    } else {
      ++it;
    }
  }
  if (!due.empty()) {
    // Forgotten before shown, so that a crash while showing never shows them twice.
    if (auto failure = save(reminders_)) log("notify: cannot save the pending reminders: " + *failure);
    for (const auto& reminder : due) notifier_.show(reminder.id, reminder.title, reminder.body);
  }
  arm();
}

std::vector<Reminder> ReminderScheduler::pending() const {
  std::vector<Reminder> out;
  for (const auto& [id, reminder] : reminders_) out.push_back(reminder);
  return out;
}

void ReminderScheduler::load() {
  std::ifstream file(path_);
  if (!file) return;
  std::stringstream text;
  text << file.rdbuf();
  const auto json = parseJson(text.str());
  if (!json || !json->is_object() || !json->contains("reminders") || !(*json)["reminders"].is_array()) {
    // Kept aside rather than overwritten, so that nothing in it is lost for good.
    std::error_code ignored;
    std::filesystem::rename(path_, path_ + ".unreadable", ignored);
    log("notify: pending reminders unreadable, kept aside as " + path_ + ".unreadable");
    return;
  }
  for (const auto& item : (*json)["reminders"]) {
    if (auto reminder = fromJson(item)) {
      reminders_[reminder->id] = std::move(*reminder);
    } else {
      log("notify: skipped a malformed pending reminder");
    }
  }
}

std::optional<std::string> ReminderScheduler::save(const std::map<std::string, Reminder>& reminders) const {
  Json list = Json::array();
  for (const auto& [id, reminder] : reminders) list.push_back(toJson(reminder));
  const std::string text = Json{{"reminders", list}}.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), error);
  const std::string temporary = path_ + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return std::string(std::strerror(errno));
  bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  written = ::fsync(fd) == 0 && written;
  const int savedErrno = errno;
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), path_.c_str()) != 0) {
    const std::string reason = std::strerror(written ? errno : savedErrno);
    ::unlink(temporary.c_str());
    return reason;
  }
  return std::nullopt;
}

void ReminderScheduler::arm() {
  if (reminders_.empty()) {
    alarm_.disarm();
    return;
  }
  double next = reminders_.begin()->second.fireAt;
  for (const auto& [id, reminder] : reminders_) next = std::min(next, reminder.fireAt);
  alarm_.arm(next, [this] { fireDue(); });
}

}  // namespace tovarin
