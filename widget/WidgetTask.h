#pragma once

#include <string>

namespace tovarin {

// An open task with a due day, or a completed task whose follow-up comes due. Built
// only by CalendarFeed::parseTasks. A value: any thread.
struct WidgetTask {
  enum class Kind { due, followUp };

  std::string id;
  std::string title;  // never empty
  Kind kind = Kind::due;
  std::string activeFrom;  // "yyyy-MM-dd"

  [[nodiscard]] bool isVisible(const std::string& day) const { return activeFrom <= day; }
  // A follow-up is never overdue.
  [[nodiscard]] bool isOverdue(const std::string& day) const { return kind == Kind::due && activeFrom < day; }

  bool operator==(const WidgetTask&) const = default;
};

}  // namespace tovarin
