#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tovarin {

// Civil date and time fields. `year` is the proleptic extended year (1 BC is 0).
struct CivilFields {
  int year = 0;
  int month = 1;  // 1...12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;

  bool operator==(const CivilFields&) const = default;
};

struct DateInterval {
  double start = 0;  // seconds since 1970
  double end = 0;

  bool operator==(const DateInterval&) const = default;
};

// A proleptic Gregorian calendar in one explicit time zone, over times in seconds
// since 1970. Immutable after construction and usable from any thread: every
// operation works on its own copy of the ICU calendar. Times that are not finite or
// lie beyond about 270,000 years from 1970 give no result instead of a wrong one.
class Calendar final {
 public:
  // An IANA zone id such as "Europe/Berlin"; nullopt for a zone ICU does not know.
  [[nodiscard]] static std::optional<Calendar> gregorian(std::string_view timeZoneId);
  // The process's current zone (TZ or /etc/localtime), UTC when it cannot be read.
  [[nodiscard]] static Calendar gregorianInCurrentZone();

  [[nodiscard]] const std::string& timeZoneId() const { return zoneId_; }

  // The clock hour containing `time`. On a day whose clocks jump by a whole hour the
  // hours stay one hour long; a jump that does not fall on an hour boundary ends one
  // hour and starts the next at the jump.
  [[nodiscard]] std::optional<DateInterval> hourInterval(double time) const;
  // The first moment of the local day containing `time` (a skipped midnight gives the
  // first moment that exists; a repeated midnight the earlier one).
  [[nodiscard]] std::optional<double> startOfDay(double time) const;
  // The moment of the given local fields; fields out of range roll over (month 13 is
  // January of the next year), as a lenient calendar does.
  [[nodiscard]] std::optional<double> date(const CivilFields& fields) const;
  [[nodiscard]] std::optional<CivilFields> fields(double time) const;
  // The same wall-clock time `days` later (earlier when negative).
  [[nodiscard]] std::optional<double> addingDays(double time, int days) const;

  // The largest |time| the calendar accepts, in seconds.
  static constexpr double maxMagnitude = 8.64e12;

 private:
  struct Zone;
  Calendar(std::string zoneId, std::shared_ptr<const Zone> zone);

  [[nodiscard]] std::optional<int> offsetSeconds(double time) const;

  std::string zoneId_;
  std::shared_ptr<const Zone> zone_;
};

}  // namespace tovarin
