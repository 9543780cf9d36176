#include "base/Calendar.h"

#include <cmath>
#include <limits>

#include <unicode/gregocal.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace tovarin {

struct Calendar::Zone {
  std::unique_ptr<icu::TimeZone> timeZone;
  std::unique_ptr<icu::GregorianCalendar> prototype;
};

namespace {

bool inRange(double time) { return std::isfinite(time) && std::fabs(time) <= Calendar::maxMagnitude; }

std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

std::unique_ptr<icu::GregorianCalendar> makePrototype(const icu::TimeZone& zone) {
  UErrorCode status = U_ZERO_ERROR;
  auto calendar = std::make_unique<icu::GregorianCalendar>(zone, icu::Locale::getRoot(), status);
  if (U_FAILURE(status)) return nullptr;
  // Proleptic: day arithmetic must agree with plain day counting for every year.
  calendar->setGregorianChange(-std::numeric_limits<double>::max(), status);
  calendar->setLenient(true);
  calendar->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
  calendar->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
  if (U_FAILURE(status)) return nullptr;
  return calendar;
}

std::unique_ptr<icu::Calendar> working(const icu::GregorianCalendar& prototype) {
  return std::unique_ptr<icu::Calendar>(prototype.clone());
}

std::optional<double> timeOf(icu::Calendar& calendar) {
  UErrorCode status = U_ZERO_ERROR;
  UDate millis = calendar.getTime(status);
  if (U_FAILURE(status)) return std::nullopt;
  double seconds = millis / 1000.0;
  if (!inRange(seconds)) return std::nullopt;
  return seconds;
}

}  // namespace

Calendar::Calendar(std::string zoneId, std::shared_ptr<const Zone> zone)
    : zoneId_(std::move(zoneId)), zone_(std::move(zone)) {}

std::optional<Calendar> Calendar::gregorian(std::string_view timeZoneId) {
  icu::UnicodeString id = icu::UnicodeString::fromUTF8(
      icu::StringPiece(timeZoneId.data(), static_cast<int32_t>(timeZoneId.size())));
  auto zone = std::make_shared<Zone>();
  zone->timeZone.reset(icu::TimeZone::createTimeZone(id));
  if (!zone->timeZone) return std::nullopt;
  icu::UnicodeString resolved;
  zone->timeZone->getID(resolved);
  if (resolved == icu::UnicodeString(u"Etc/Unknown")) return std::nullopt;
  zone->prototype = makePrototype(*zone->timeZone);
  if (!zone->prototype) return std::nullopt;
  return Calendar(toUtf8(resolved), std::move(zone));
}

Calendar Calendar::gregorianInCurrentZone() {
  std::unique_ptr<icu::TimeZone> current(icu::TimeZone::createDefault());
  icu::UnicodeString id;
  if (current) current->getID(id);
  if (auto calendar = gregorian(toUtf8(id))) return *calendar;
  return *gregorian("UTC");
}

std::optional<int> Calendar::offsetSeconds(double time) const {
  if (!inRange(time)) return std::nullopt;
  int32_t raw = 0;
  int32_t dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  zone_->timeZone->getOffset(time * 1000.0, false, raw, dst, status);
  if (U_FAILURE(status)) return std::nullopt;
  return (raw + dst) / 1000;
}

std::optional<DateInterval> Calendar::hourInterval(double time) const {
  auto offset = offsetSeconds(time);
  if (!offset) return std::nullopt;
  double local = time + *offset;
  double start = std::floor(local / 3600.0) * 3600.0 - *offset;
  double end = start + 3600.0;
  // A jump inside this hour: find it to the second by bisection (zone offsets change
  // only on whole seconds) and cut the hour there.
  auto startOffset = offsetSeconds(start);
  if (!startOffset) return std::nullopt;
  if (*startOffset != *offset) {
    double before = start;
    double after = std::floor(time);
    while (after - before > 1.0) {
      double middle = std::floor((before + after) / 2.0);
      auto middleOffset = offsetSeconds(middle);
      if (!middleOffset) return std::nullopt;
      (*middleOffset == *offset ? after : before) = middle;
    }
    start = after;
  }
  auto endOffset = offsetSeconds(end);
  if (!endOffset) return std::nullopt;
  if (*endOffset != *offset) {
    double before = std::floor(time);
    double after = end;
    while (after - before > 1.0) {
      double middle = std::floor((before + after) / 2.0);
      auto middleOffset = offsetSeconds(middle);
      if (!middleOffset) return std::nullopt;
      (*middleOffset == *offset ? before : after) = middle;
    }
    end = after;
  }
  return DateInterval{start, end};
}

std::optional<CivilFields> Calendar::fields(double time) const {
  if (!inRange(time)) return std::nullopt;
  auto calendar = working(*zone_->prototype);
  UErrorCode status = U_ZERO_ERROR;
  calendar->setTime(time * 1000.0, status);
  CivilFields out;
  out.year = calendar->get(UCAL_EXTENDED_YEAR, status);
  out.month = calendar->get(UCAL_MONTH, status) + 1;
  out.day = calendar->get(UCAL_DATE, status);
  out.hour = calendar->get(UCAL_HOUR_OF_DAY, status);
  out.minute = calendar->get(UCAL_MINUTE, status);
  out.second = calendar->get(UCAL_SECOND, status);
  if (U_FAILURE(status)) return std::nullopt;
  return out;
}

std::optional<double> Calendar::date(const CivilFields& fields) const {
  auto calendar = working(*zone_->prototype);
  calendar->clear();
  calendar->set(UCAL_EXTENDED_YEAR, fields.year);
  calendar->set(UCAL_MONTH, fields.month - 1);
  calendar->set(UCAL_DATE, fields.day);
  calendar->set(UCAL_HOUR_OF_DAY, fields.hour);
  calendar->set(UCAL_MINUTE, fields.minute);
  calendar->set(UCAL_SECOND, fields.second);
  return timeOf(*calendar);
}

std::optional<double> Calendar::startOfDay(double time) const {
  auto civil = fields(time);
  if (!civil) return std::nullopt;
  return date(CivilFields{civil->year, civil->month, civil->day, 0, 0, 0});
}

std::optional<double> Calendar::addingDays(double time, int days) const {
  if (!inRange(time)) return std::nullopt;
  auto calendar = working(*zone_->prototype);
  UErrorCode status = U_ZERO_ERROR;
  calendar->setTime(time * 1000.0, status);
  calendar->add(UCAL_DATE, days, status);
  if (U_FAILURE(status)) return std::nullopt;
  return timeOf(*calendar);
}

}  // namespace tovarin
