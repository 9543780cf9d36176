#include "main/bridges/ReminderScheduler.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <fstream>
#include <utility>

#include <unistd.h>

#include "base/AtomicFile.h"
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

std::string compactText(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

// The file's text: the reminders, one a line and those this version reads first, then
// the file's other keys as they were. Written out one entry at a time, so that a large list
// is never held twice.
std::string documentText(const Json& document, const std::map<std::string, Reminder>& reminders,
                         const std::vector<Json>& unread) {
  std::string text = "{\"reminders\": [";
  const char* separator = "\n  ";
  const auto add = [&](const Json& item) { text.append(std::exchange(separator, ",\n  ")).append(compactText(item)); };
  for (const auto& [id, reminder] : reminders) add(toJson(reminder));
  for (const auto& item : unread) add(item);
  text += "\n]";
  for (const auto& [key, value] : document.items()) {
    if (key != "reminders") text.append(",\n").append(compactText(Json(key))).append(": ").append(compactText(value));
  }
  return text + "}\n";
}

}  // namespace

ReminderScheduler::ReminderScheduler(std::string path, SystemNotifier& notifier, WallClockAlarm& alarm,
                                     MainLoop& loop, TaskRunner& background)
    : path_(std::move(path)), notifier_(notifier), alarm_(alarm), loop_(loop), background_(background) {}

ReminderScheduler::~ReminderScheduler() { alarm_.disarm(); }

void ReminderScheduler::start() {
  assert(loop_.isMainThread());
  if (std::exchange(started_, true)) return;
  background_.post([path = path_, &loop = loop_, weak = std::weak_ptr<ReminderScheduler*>(self_)] {
    auto contents = std::make_shared<Contents>(read(path));
    keepWithinCap(path, *contents);
    loop.post([weak, contents] {
      if (auto self = weak.lock()) (*self)->adopt(std::move(*contents));
    });
  });
}

void ReminderScheduler::whenLoaded(Task task) {
  if (loaded_) {
    task();
  } else {
    waiting_.push_back(std::move(task));
  }
}

void ReminderScheduler::adopt(Contents contents) {
  document_ = std::move(contents.document);
  reminders_ = std::move(contents.reminders);
  unread_ = std::move(contents.unread);
  fileKept_ = contents.fileKept;
  loaded_ = true;
  fireDue();
  for (auto& task : std::exchange(waiting_, {})) task();
}

std::optional<ReminderScheduler::Refusal> ReminderScheduler::schedule(const Reminder& reminder) {
  if (!loaded_) return Refusal{Refusal::Kind::notSaved, "the pending reminders are not read yet"};
  auto unread = unreadWithout({reminder.id});
  const bool replaces = reminders_.contains(reminder.id) || unread.size() < unread_.size();
  if (!replaces && reminders_.size() + unread_.size() >= maxPending) return Refusal{Refusal::Kind::full, {}};
  auto next = reminders_;
  next[reminder.id] = reminder;
  if (auto failure = save(next, unread)) return Refusal{Refusal::Kind::notSaved, *failure};
  reminders_ = std::move(next);
  unread_ = std::move(unread);
  arm();
  return std::nullopt;
}

void ReminderScheduler::cancel(const std::vector<std::string>& ids) {
  if (!loaded_) return whenLoaded([this, ids] { cancel(ids); });
  auto next = reminders_;
  for (const auto& id : ids) next.erase(id);
  auto unread = unreadWithout(ids);
  if (next.size() == reminders_.size() && unread.size() == unread_.size()) return;
  // Cancelling must take effect even when the file cannot be written: the reminder
  // then stays forgotten for this run, and the log tells why it may come back.
  if (auto failure = save(next, unread)) log("notify: cannot save the pending reminders: " + *failure);
  reminders_ = std::move(next);
  unread_ = std::move(unread);
  arm();
}

void ReminderScheduler::fireDue() {
  if (!loaded_) return;
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
    if (auto failure = save(reminders_, unread_)) log("notify: cannot save the pending reminders: " + *failure);
    for (const auto& reminder : due) notifier_.show(reminder.id, reminder.title, reminder.body);
  }
  arm();
}

std::vector<Reminder> ReminderScheduler::pending() const {
  std::vector<Reminder> out;
  for (const auto& [id, reminder] : reminders_) out.push_back(reminder);
  return out;
}

ReminderScheduler::Contents ReminderScheduler::read(const std::string& path) {
  Contents contents;
  std::ifstream file(path, std::ios::binary);
  if (!file) return contents;
  std::string text;
  file.seekg(0, std::ios::end);
  text.resize(static_cast<size_t>(std::max<std::streamoff>(file.tellg(), 0)));
  file.seekg(0);
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  auto json = parseJson(text);
  text = {};  // a large file's text need not stay beside what was read from it
  if (!json || !json->is_object() || !json->contains("reminders") || !(*json)["reminders"].is_array()) {
    // Kept aside rather than overwritten, next to any kept at earlier launches.
    if (auto aside = atomic_file::setAside(path, path + ".unreadable")) {
      log("notify: pending reminders unreadable, kept aside as " + *aside);
    } else {
      log("notify: pending reminders unreadable and could not be set aside, left as they are: " + path);
      contents.fileKept = true;
    }
    return contents;
  }
  for (auto& item : (*json)["reminders"]) {
    if (auto reminder = fromJson(item)) {
      contents.reminders[reminder->id] = std::move(*reminder);
    } else {
      contents.unread.push_back(std::move(item));
    }
  }
  if (!contents.unread.empty()) {
    log("notify: kept " + std::to_string(contents.unread.size()) + " pending reminders this version cannot read");
  }
  json->erase("reminders");
  contents.document = std::move(*json);
  return contents;
}

void ReminderScheduler::keepWithinCap(const std::string& path, Contents& contents) {
  if (contents.reminders.size() + contents.unread.size() <= maxPending) return;
  // The soonest stay pending; the rest move, whole, to a file of their own, so that no
  // launch reads them again and none is lost.
  std::vector<std::pair<double, std::string>> soonest;
  for (const auto& [id, reminder] : contents.reminders) soonest.emplace_back(reminder.fireAt, id);
  std::stable_sort(soonest.begin(), soonest.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::map<std::string, Reminder> surplus;
  for (size_t i = maxPending; i < soonest.size(); ++i) surplus.insert(contents.reminders.extract(soonest[i].second));
  soonest = {};
  Contents kept{contents.document, std::move(contents.reminders), {}};
  std::vector<Json> surplusUnread;
  for (auto& item : contents.unread) {
    const bool room = kept.reminders.size() + kept.unread.size() < maxPending;
    (room ? kept.unread : surplusUnread).push_back(std::move(item));
  }
  const std::string moved = std::to_string(surplus.size() + surplusUnread.size());
  const auto aside =
      atomic_file::writeAside(path + ".overflow", documentText(contents.document, surplus, surplusUnread));
  if (!aside) {
    // Nothing may be lost: everything stays pending, past the cap, until a later
    // launch can move the surplus.
    log("notify: " + moved + " pending reminders past the first " + std::to_string(maxPending) +
        " could not be kept aside; all stay");
    for (auto& item : surplusUnread) kept.unread.push_back(std::move(item));
    kept.reminders.merge(surplus);
    contents = std::move(kept);
    return;
  }
  if (auto failure = atomic_file::replace(path, documentText(kept.document, kept.reminders, kept.unread))) {
    // The surplus would stand in both files, and be moved again at every launch.
    log("notify: cannot save the pending reminders: " + *failure + "; all stay");
    ::unlink(aside->c_str());
    for (auto& item : surplusUnread) kept.unread.push_back(std::move(item));
    kept.reminders.merge(surplus);
    contents = std::move(kept);
    return;
  }
  log("notify: " + moved + " pending reminders past the first " + std::to_string(maxPending) + " kept aside in " +
      *aside);
  contents = std::move(kept);
}

std::optional<std::string> ReminderScheduler::save(const std::map<std::string, Reminder>& reminders,
                                                   const std::vector<Json>& unread) const {
  if (fileKept_) return "the pending reminders file could not be read and is left as it is";
  return atomic_file::replace(path_, documentText(document_, reminders, unread));
}

std::vector<Json> ReminderScheduler::unreadWithout(const std::vector<std::string>& ids) const {
  std::vector<Json> out;
  for (const Json& item : unread_) {
    const auto id = item.is_object() ? jsonString(item, "id") : std::nullopt;
    if (!id || std::find(ids.begin(), ids.end(), *id) == ids.end()) out.push_back(item);
  }
  return out;
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
