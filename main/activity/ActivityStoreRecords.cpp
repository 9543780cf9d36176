// The record operations of ActivityStore: appending, reading, querying, summarising,
// pruning, clearing, moving to a new key, starting over and destroying.

#include <openssl/crypto.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "main/activity/ActivityStore.h"
#include "main/activity_core/ActivityIntervalReader.h"
#include "main/activity_core/ActivityOwnership.h"
#include "main/activity_core/ActivityQuery.h"
#include "main/activity_core/ClearPlanner.h"
#include "main/activity_core/HourlyAggregator.h"
#include "main/activity_core/RetentionPolicy.h"

namespace tovarin {
namespace {

constexpr const char* kPutInterval = "INSERT OR REPLACE INTO intervals (id, payload) VALUES (?, ?)";
constexpr const char* kAddInterval = "INSERT INTO intervals (id, payload) VALUES (?, ?)";
constexpr const char* kPutSummary = "INSERT OR REPLACE INTO summaries (id, payload) VALUES (?, ?)";

std::string intervalLabel(const std::string& id) { return "intervals:" + id; }
std::string summaryLabel(const std::string& id) { return "summaries:" + id; }

// Invalid UTF-8 is replaced rather than thrown on: a value is always stored.
std::vector<uint8_t> encode(const Json& json) {
  const std::string text = json.dump(-1, ' ', false, Json::error_handler_t::replace);
  return {text.begin(), text.end()};
}

std::optional<Json> decode(const std::vector<uint8_t>& bytes) {
  return parseJson(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// An hour start as the whole number its row id names. One that is not a number a
// 64-bit integer can hold has none, rather than reaching an undefined conversion; such
// a summary is not stored.
std::optional<int64_t> wholeHourStart(double hourStart) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!std::isfinite(hourStart) || hourStart >= kLimit || hourStart < -kLimit) return std::nullopt;
  return static_cast<int64_t>(std::trunc(hourStart));
}

// The opaque row id of an hour summary under `cipher`: it changes with every key.
std::optional<std::string> summaryRowId(const ActivityCipher& cipher, double hourStart) {
  auto whole = wholeHourStart(hourStart);
  if (!whole) return std::nullopt;
  return cipher.opaqueId("hour_", "hour\x1f" + std::to_string(*whole));
}

}  // namespace

ActivityStore::Failure ActivityStore::writeInterval(const ActivityCipher& cipher, const ActivityInterval& interval,
                                                    const char* sql) {
  auto sealed = cipher.seal(encode(interval.toJson()), intervalLabel(interval.id));
  if (!sealed.ok()) return ActivityStoreError::sealFailed();
  return run(sql, {Binding::ofText(interval.id), Binding::ofBlob(std::move(sealed.value))});
}

ActivityStore::Failure ActivityStore::writeSummary(const ActivityCipher& cipher, const std::string& rowId,
                                                   const HourSummary& summary) {
  auto sealed = cipher.seal(encode(summary.toJson()), summaryLabel(rowId));
  if (!sealed.ok()) return ActivityStoreError::sealFailed();
  return run(kPutSummary, {Binding::ofText(rowId), Binding::ofBlob(std::move(sealed.value))});
}

ActivityStoreOutcome<ActivityStoreDone> ActivityStore::append(const std::vector<ActivityInterval>& intervals) {
  using Outcome = ActivityStoreOutcome<ActivityStoreDone>;
  auto ready = requireReady();
  if (!ready.ok()) return Outcome::failed(*ready.error);
  if (intervals.empty()) return {};
  const ActivityCipher& cipher = *ready.value;
  Failure failure = inWriteTransaction([&]() -> Failure {
    for (const ActivityInterval& interval : intervals) {
      if (auto f = writeInterval(cipher, interval, kPutInterval)) return f;
    }
    return std::nullopt;
  });
  if (failure) return Outcome::failed(*failure);
  return {};
}

ActivityStoreOutcome<std::vector<ActivityInterval>> ActivityStore::allIntervals() {
  using Outcome = ActivityStoreOutcome<std::vector<ActivityInterval>>;
  auto ready = requireReady();
  if (!ready.ok()) return Outcome::failed(*ready.error);
  const ActivityCipher& cipher = *ready.value;
  std::vector<ActivityInterval> intervals;
  // One buffer serves every row and is wiped at the end: the decrypted text lives no
  // longer than the reading.
  std::vector<uint8_t> plain;
  std::string label = intervalLabel("");
  const size_t labelPrefix = label.size();
  Failure failure = selectEach("SELECT id, payload FROM intervals", {},
                               [&](const char* id, std::span<const uint8_t> payload) {
                                 label.resize(labelPrefix);
                                 label.append(id);
                                 if (cipher.openInto(payload, label, plain)) return;
                                 auto interval = ActivityIntervalReader::read(
                                     std::string_view(reinterpret_cast<const char*>(plain.data()), plain.size()));
                                 if (!interval || interval->id != id) return;
                                 intervals.push_back(std::move(*interval));
                               });
  if (!plain.empty()) OPENSSL_cleanse(plain.data(), plain.size());
  if (failure) return Outcome::failed(*failure);
  std::sort(intervals.begin(), intervals.end(), [](const ActivityInterval& a, const ActivityInterval& b) {
    if (a.start != b.start) return a.start < b.start;
    return a.id < b.id;
  });
  return {std::move(intervals), std::nullopt};
}

ActivityStoreOutcome<std::vector<ActivityStore::StoredSummary>> ActivityStore::storedSummaries() {
  using Outcome = ActivityStoreOutcome<std::vector<StoredSummary>>;
  auto ready = requireReady();
  if (!ready.ok()) return Outcome::failed(*ready.error);
  auto rows = select("SELECT id, payload FROM summaries");
  if (!rows.ok()) return Outcome::failed(*rows.error);
  std::vector<StoredSummary> stored;
  for (const auto& [id, payload] : rows.value) {
    auto opened = ready.value->open(payload, summaryLabel(id));
    if (!opened.ok()) continue;
    auto json = decode(opened.value);
    auto summary = json ? HourSummary::fromJson(*json) : std::nullopt;
    if (!summary) continue;
    stored.push_back({id, std::move(*summary)});
  }
  std::stable_sort(stored.begin(), stored.end(), [](const StoredSummary& a, const StoredSummary& b) {
    return a.summary.hourStart < b.summary.hourStart;
  });
  return {std::move(stored), std::nullopt};
}

ActivityStoreOutcome<std::vector<HourSummary>> ActivityStore::allSummaries() {
  using Outcome = ActivityStoreOutcome<std::vector<HourSummary>>;
  auto stored = storedSummaries();
  if (!stored.ok()) return Outcome::failed(*stored.error);
  std::vector<HourSummary> summaries;
  summaries.reserve(stored.value.size());
  for (auto& entry : stored.value) summaries.push_back(std::move(entry.summary));
  return {std::move(summaries), std::nullopt};
}

ActivityStoreOutcome<std::optional<ActivityQueryResult>> ActivityStore::query(const ActivityQueryArgs& args,
                                                                              double now, const Calendar& calendar) {
  using Outcome = ActivityStoreOutcome<std::optional<ActivityQueryResult>>;
  auto ready = requireReady();
  if (!ready.ok()) return Outcome::failed(*ready.error);
  auto intervals = allIntervals();
  if (!intervals.ok()) return Outcome::failed(*intervals.error);
  const ActivityCipher* cipher = ready.value;
  auto itemId = [cipher](const std::string& rowKey) { return cipher->itemId(rowKey); };
  return {ActivityQuery::run(args, intervals.value, now, calendar, itemId), std::nullopt};
}

ActivityStoreOutcome<int64_t> ActivityStore::refreshSummaries(double now, const Calendar& calendar) {
  using Outcome = ActivityStoreOutcome<int64_t>;
  auto ready = requireReady();
  if (!ready.ok()) return Outcome::failed(*ready.error);
  const ActivityCipher& cipher = *ready.value;
  auto hour = calendar.hourInterval(now);
  if (!hour) return {0, std::nullopt};
  auto intervals = allIntervals();
  if (!intervals.ok()) return Outcome::failed(*intervals.error);
  // The current hour is still being recorded: only complete hours are summarised.
  const auto fresh = HourlyAggregator::summaries(intervals.value, calendar, DateInterval{0, hour->start},
                                                 HourlyAggregator::storedRowsPerHour);
  std::map<std::string, HourSummary> freshById;
  for (const HourSummary& summary : fresh) {
    if (auto id = summaryRowId(cipher, summary.hourStart)) freshById[*id] = summary;  // the later one wins
  }
  auto stored = storedSummaries();
  if (!stored.ok()) return Outcome::failed(*stored.error);
  std::map<std::string, HourSummary> storedById;
  for (const auto& entry : stored.value) storedById.emplace(entry.rowId, entry.summary);  // the first one wins

  Failure failure = inWriteTransaction([&]() -> Failure {
    // Every row, also those that no longer open, so that unreadable ones go too.
    auto rows = select("SELECT id, payload FROM summaries");
    if (!rows.ok()) return rows.error;
    for (const auto& row : rows.value) {
      if (freshById.count(row.first)) continue;
      if (auto f = run("DELETE FROM summaries WHERE id = ?", {Binding::ofText(row.first)})) return f;
    }
    for (const auto& [id, summary] : freshById) {
      auto same = storedById.find(id);
      if (same != storedById.end() && same->second == summary) continue;
      if (auto f = writeSummary(cipher, id, summary)) return f;
    }
    return std::nullopt;
  });
  if (failure) return Outcome::failed(*failure);
  return {static_cast<int64_t>(fresh.size()), std::nullopt};
}

ActivityStoreOutcome<ActivityClearCounts> ActivityStore::prune(double now, int64_t retentionDays) {
  using Outcome = ActivityStoreOutcome<ActivityClearCounts>;
  auto ready = requireReady();
  if (!ready.ok()) return Outcome::failed(*ready.error);
  const ActivityCipher& cipher = *ready.value;
  const double cutoff = RetentionPolicy::cutoff(now, retentionDays);
  auto current = allIntervals();
  if (!current.ok()) return Outcome::failed(*current.error);
  const PruneOutcome outcome = RetentionPolicy::apply(current.value, now, retentionDays);
  auto stored = storedSummaries();
  if (!stored.ok()) return Outcome::failed(*stored.error);
  std::vector<std::string> expired;
  for (const auto& entry : stored.value) {
    if (entry.summary.hourStart < cutoff) expired.push_back(entry.rowId);
  }
  if (outcome.removed + outcome.trimmed + static_cast<int64_t>(expired.size()) < 1) return {};

  std::map<std::string, const ActivityInterval*> keptById;
  for (const ActivityInterval& interval : outcome.kept) keptById[interval.id] = &interval;
  Failure failure = inWriteTransaction([&]() -> Failure {
    for (const ActivityInterval& interval : current.value) {
      auto kept = keptById.find(interval.id);
      if (kept == keptById.end()) {
        if (auto f = run("DELETE FROM intervals WHERE id = ?", {Binding::ofText(interval.id)})) return f;
      } else if (!(*kept->second == interval)) {
        if (auto f = writeInterval(cipher, *kept->second, kPutInterval)) return f;
      }
    }
    for (const std::string& id : expired) {
      if (auto f = run("DELETE FROM summaries WHERE id = ?", {Binding::ofText(id)})) return f;
    }
    return std::nullopt;
  });
  if (failure) return Outcome::failed(*failure);
  return {{outcome.removed, outcome.trimmed, static_cast<int64_t>(expired.size())}, std::nullopt};
}

ActivityStoreOutcome<ActivityClearCounts> ActivityStore::clear(ClearRange range, double now) {
  using Outcome = ActivityStoreOutcome<ActivityClearCounts>;
  if (auto ready = requireReady(); !ready.ok()) return Outcome::failed(*ready.error);
  auto intervals = allIntervals();
  if (!intervals.ok()) return Outcome::failed(*intervals.error);
  const ClearOutcome outcome = ClearPlanner::apply(range, intervals.value, now);
  const std::optional<double> cutoff = ClearPlanner::cutoff(range, now);
  auto stored = storedSummaries();
  if (!stored.ok()) return Outcome::failed(*stored.error);
  std::vector<HourSummary> keptSummaries;
  for (const auto& entry : stored.value) {
    if (cutoff && entry.summary.hourEnd <= *cutoff && wholeHourStart(entry.summary.hourStart)) {
      keptSummaries.push_back(entry.summary);
    }
  }
  auto counts = rowCounts();
  if (!counts.ok()) return Outcome::failed(*counts.error);
  auto rotated = rotateKey(outcome.kept, keptSummaries, boundOwner_);
  if (!rotated.ok()) return Outcome::failed(*rotated.error);
  // Rows that did not open count as deleted: the rotation dropped them.
  return {{counts.value.intervals - static_cast<int64_t>(outcome.kept.size()), outcome.trimmed,
           counts.value.summaries - static_cast<int64_t>(keptSummaries.size())},
          std::nullopt};
}

ActivityStoreOutcome<ActivityStoreDone> ActivityStore::rotateKey(const std::vector<ActivityInterval>& keeping,
                                                                 const std::vector<HourSummary>& summaries,
                                                                 const std::optional<std::string>& owner) {
  using Outcome = ActivityStoreOutcome<ActivityStoreDone>;
  if (!keyId_) return Outcome::failed(ActivityStoreError::notReady(state_));
  auto key = makeKey();
  if (!key.ok()) return Outcome::failed(*key.error);
  const ActivityCipher& cipher = key.value.cipher;
  Failure failure = inWriteTransaction([&]() -> Failure {
    if (auto f = exec("DELETE FROM intervals")) return f;
    if (auto f = exec("DELETE FROM summaries")) return f;
    for (const ActivityInterval& interval : keeping) {
      if (auto f = writeInterval(cipher, interval, kAddInterval)) return f;  // a repeated id fails
    }
    for (const HourSummary& summary : summaries) {
      auto id = summaryRowId(cipher, summary.hourStart);
      if (!id) continue;  // never kept: the caller filters such hours out
      if (auto f = writeSummary(cipher, *id, summary)) return f;
    }
    return writeKeyRows(key.value, owner);
  });
  if (failure) {
    forgetKey(key.value.id);
    return Outcome::failed(*failure);
  }
  const std::string oldId = *std::exchange(keyId_, key.value.id);
  cipher_ = std::move(key.value.cipher);
  boundOwner_ = owner;
  forgetKey(oldId);
  return {};
}

ActivityStoreOutcome<ActivityClearCounts> ActivityStore::rebind(const std::string& owner) {
  using Outcome = ActivityStoreOutcome<ActivityClearCounts>;
  if (auto ready = requireReady(); !ready.ok()) return Outcome::failed(*ready.error);
  if (!isOwnerHash(owner)) return Outcome::failed(ActivityStoreError::invalidOwner());
  auto counts = rowCounts();
  if (!counts.ok()) return Outcome::failed(*counts.error);
  auto rotated = rotateKey({}, {}, owner);
  if (!rotated.ok()) return Outcome::failed(*rotated.error);
  return {{counts.value.intervals, 0, counts.value.summaries}, std::nullopt};
}

ActivityStore::ResetOutcome ActivityStore::resetAfterKeyLoss(const std::optional<std::string>& owner) {
  if (!db_) return {{}, ActivityStoreError::notReady(state_), false};
  auto counts = rowCounts();
  if (!counts.ok()) return {{}, counts.error, false};
  Failure wipe = inWriteTransaction([&]() -> Failure {
    for (const char* sql : {"DELETE FROM intervals", "DELETE FROM summaries", "DELETE FROM meta"}) {
      if (auto f = exec(sql)) return f;
    }
    return std::nullopt;
  });
  if (wipe) return {{}, wipe, false};
  cipher_.reset();
  keyId_.reset();
  boundOwner_.reset();
  const ActivityClearCounts cleared{counts.value.intervals, 0, counts.value.summaries};
  if (auto failure = initializeKey(owner)) return {cleared, failure, true};
  return {cleared, std::nullopt, true};
}

ActivityStoreOutcome<ActivityDestroyCounts> ActivityStore::destroy() {
  using Outcome = ActivityStoreOutcome<ActivityDestroyCounts>;
  if (auto failure = refuseForeignFiles()) return Outcome::failed(*failure);
  std::error_code ignored;
  if (!db_ && std::filesystem::exists(databasePath_, ignored)) {
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(resolvedDatabasePath().c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) ==
            SQLITE_OK &&
        raw) {
      db_.reset(raw);
    } else {
      sqlite3_close(raw);
    }
  }
  RowCounts counts;
  if (db_) {
    if (auto counted = rowCounts(); counted.ok()) counts = counted.value;
  }
  close();

  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    const std::string path = databasePath_ + suffix;
    if (!std::filesystem::exists(path, ignored)) continue;
    std::error_code removal;
    if (!std::filesystem::remove(path, removal) && removal) {
      return Outcome::failed(ActivityStoreError::fileSystem(removal.value(), "cannot remove " + path + ": " +
                                                                                 removal.message()));
    }
  }

  auto ids = keyStore_->allIds();
  if (!ids.ok()) return Outcome::failed(ActivityStoreError::keyStore(*ids.error));
  for (const std::string& id : ids.value) {
    auto removed = keyStore_->remove(id);
    if (!removed.ok()) return Outcome::failed(ActivityStoreError::keyStore(*removed.error));
  }

  if (std::filesystem::is_empty(directory_, ignored) && !ignored) std::filesystem::remove(directory_, ignored);
  state_ = ActivityStoreState::absent;
  return {{counts.intervals, counts.summaries, static_cast<int64_t>(ids.value.size())}, std::nullopt};
}

}  // namespace tovarin
