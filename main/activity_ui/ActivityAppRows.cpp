#include "main/activity_ui/ActivityAppRows.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>

#include "base/Text.h"
#include "main/activity_core/ExclusionPolicy.h"

namespace tovarin::ActivityAppRows {
namespace {

std::unique_ptr<icu::Collator> makeCollator() {
  UErrorCode status = U_ZERO_ERROR;
  // The C locale maps to en_US_POSIX, whose order puts every capital before every small
  // letter; people expect the common order there.
  icu::Locale locale = icu::Locale::getDefault();
  if (std::string(locale.getName()) == "en_US_POSIX") locale = icu::Locale::getRoot();
  std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
  if (U_FAILURE(status) || !collator) return nullptr;
  collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
  collator->setStrength(icu::Collator::SECONDARY);  // letter case does not order names
  return collator;
}

bool listedIgnoringCase(const std::vector<std::string>& included, const std::string& id) {
  const std::string lowered = text::lowercased(id);
  return std::any_of(included.begin(), included.end(),
                     [&](const std::string& each) { return text::lowercased(each) == lowered; });
}

}  // namespace

int compareNames(const std::string& left, const std::string& right) {
  // Collators are not cheap to make and not safe to share across threads unguarded.
  thread_local std::unique_ptr<icu::Collator> collator = makeCollator();
  if (!collator) return left < right ? -1 : (right < left ? 1 : 0);
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult result = collator->compareUTF8(left, right, status);
  if (U_FAILURE(status)) return left < right ? -1 : (right < left ? 1 : 0);
  return result == UCOL_LESS ? -1 : (result == UCOL_GREATER ? 1 : 0);
}

std::vector<ActivityAppRow> build(const std::vector<Running>& running, const std::vector<std::string>& included,
                                  const Sources& sources) {
  std::vector<std::pair<std::string, std::string>> entries;  // id -> name, first-seen order
  auto store = [&](const std::string& id, std::string name) {
    auto found = std::find_if(entries.begin(), entries.end(), [&](const auto& entry) { return entry.first == id; });
    if (found == entries.end()) {
      entries.emplace_back(id, std::move(name));
    } else {
      found->second = std::move(name);
    }
  };
  for (const Running& app : running) {
    if (app.id.empty() || text::lowercased(app.id) == ExclusionPolicy::ownBundleId) continue;
    store(app.id, app.name.value_or(app.id));
  }
  for (const std::string& id : included) {
    if (std::any_of(entries.begin(), entries.end(), [&](const auto& entry) { return entry.first == id; })) continue;
    std::optional<std::string> installed = sources.installedName ? sources.installedName(id) : std::nullopt;
    store(id, installed.value_or(id));
  }
  std::vector<ActivityAppRow> rows;
  for (auto& [id, name] : entries) {
    ActivityAppRow row;
    row.id = id;
    row.name = name;
    row.included = listedIgnoringCase(included, id);
    row.exclusion = ExclusionPolicy::category(id);
    row.isBrowser = ExclusionPolicy::isBrowserLike(id);
    row.supportsDomain = sources.supportsDomain && sources.supportsDomain(id);
    rows.push_back(std::move(row));
  }
  std::stable_sort(rows.begin(), rows.end(), [](const ActivityAppRow& left, const ActivityAppRow& right) {
    if (left.included != right.included) return left.included;
    return compareNames(left.name, right.name) < 0;
  });
  return rows;
}

}  // namespace tovarin::ActivityAppRows
