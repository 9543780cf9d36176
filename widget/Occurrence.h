#pragma once

#include <optional>
#include <string>

#include "base/Calendar.h"
#include "base/Json.h"

namespace tovarin {

// One calendar occurrence of the widget feed. Local times are wall-clock texts of the
// account's zone, "yyyy-MM-ddTHH:mm"; times are seconds since 1970. A value: any thread.
struct Occurrence {
  std::string key;
  std::string title;
  bool allDay = false;
  std::string startLocal;
  std::string endLocal;
  std::string calendarId;

  // All six keys are required with their JSON types; other keys are ignored.
  [[nodiscard]] static std::optional<Occurrence> decode(const Json& value);

  // The first 10 characters of startLocal.
  [[nodiscard]] std::string dayKey() const;
  // The later of `day` and dayKey(): an occurrence still running is filed under `day`.
  [[nodiscard]] std::string displayDayKey(const std::string& day) const;
  // "全天", or the "HH:mm" that ends startLocal.
  [[nodiscard]] std::string timeText() const;
  [[nodiscard]] std::optional<double> startDate(const Calendar& zone) const;
  [[nodiscard]] std::optional<double> endDate(const Calendar& zone) const;

  // Reads exactly "yyyy-MM-ddTHH:mm" with a real month, day, hour and minute, in `zone`.
  // A wall-clock time the zone skips reads as the moment the clocks show it after
  // the jump.
  [[nodiscard]] static std::optional<double> parse(std::string_view text, const Calendar& zone);

  bool operator==(const Occurrence&) const = default;
};

}  // namespace tovarin
