#pragma once

#include <string>

#include "widget/Occurrence.h"
#include "widget/WidgetTask.h"

namespace tovarin {

// One row of the widget's list. Only the fields of its kind are meaningful.
struct WidgetRow {
  enum class Kind { dayLabel, event, section, task, more };

  Kind kind = Kind::event;
  std::string dayKey;  // dayLabel
  std::string text;    // dayLabel: the label; section: the title
  Occurrence occurrence;  // event
  WidgetTask task;        // task
  bool overdue = false;   // task
  int hidden = 0;         // more

  static WidgetRow label(std::string day, std::string label) {
    WidgetRow row;
    row.kind = Kind::dayLabel, row.dayKey = std::move(day), row.text = std::move(label);
    return row;
  }
  static WidgetRow event(Occurrence occurrence) {
    WidgetRow row;
    row.kind = Kind::event, row.occurrence = std::move(occurrence);
    return row;
  }
  static WidgetRow section(std::string title) {
    WidgetRow row;
    row.kind = Kind::section, row.text = std::move(title);
    return row;
  }
  static WidgetRow taskRow(WidgetTask task, bool overdue) {
    WidgetRow row;
    row.kind = Kind::task, row.task = std::move(task), row.overdue = overdue;
    return row;
  }
  static WidgetRow more(int hidden) {
    WidgetRow row;
    row.kind = Kind::more, row.hidden = hidden;
    return row;
  }

  // Unique within one list: "d:<day>", "e:<key>", "s:<title>", "t:<id>" or "more".
  [[nodiscard]] std::string id() const {
    switch (kind) {
      case Kind::dayLabel: return "d:" + dayKey;
      case Kind::event: return "e:" + occurrence.key;
      case Kind::section: return "s:" + text;
      case Kind::task: return "t:" + task.id;
      case Kind::more: return "more";
    }
    return "more";
  }

  bool operator==(const WidgetRow&) const = default;
};

}  // namespace tovarin
