#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "main/activity_ui/ActivityViewModel.h"

namespace tovarin {

// What the settings window shows for one state of the view model: cards in order, each
// a list of elements (text, a control, or a row with a control), with every text, every
// enabled flag and the action each control sends. The toolkit only draws it. Pure.
namespace ActivitySettingsView {

inline constexpr const char* windowTitle = "活动记录";

enum class TextKind { title, explanation, note, faint, muted };
enum class Style { primary, secondary, destructive };

enum class Action {
  setEnabled,          // toggle
  setPaused,           // button: the negation of the current setting
  retryKeyAccess,
  resetAfterKeyLoss,   // deferred
  rebind,              // deferred
  keepForOriginal,
  requestAccessibility,
  setIncluded,         // toggle; `argument` is the app id
  addApp,              // deferred
  setBrowserDomains,   // toggle
  requestAutomation,   // `argument` is the browser's id
  setRetentionDays,    // stepper
  clear,               // `argument` is the range's raw value; deferred for "all"
  deleteAll,           // deferred: the retry of a failed deletion, or turning off
};

struct Control {
  enum class Kind { toggle, button, stepper };
  Kind kind = Kind::button;
  std::string title;
  Action action = Action::setEnabled;
  std::string argument;
  Style style = Style::secondary;
  bool enabled = true;
  bool on = false;        // toggle
  int64_t value = 0;      // stepper
  int64_t minimum = 0;    // stepper
  int64_t maximum = 0;    // stepper
  bool deferred = false;  // runs one main-loop turn later: it may open a dialog
  bool operator==(const Control&) const = default;
};

struct Element {
  std::string text;
  TextKind kind = TextKind::note;
  std::string detail;  // a row's second line or column
  std::string extra;   // a disclosure row's third column
  std::vector<Control> controls;
  bool operator==(const Element&) const = default;
};

struct Card {
  std::string title;
  std::vector<Element> elements;
};

struct Page {
  std::string title;
  std::string explanation;
  std::vector<Card> cards;
  std::string footer;
};

[[nodiscard]] Page describe(const ActivityViewModel& model);

// Lookups for tests and the toolkit: the card titled so, the first control titled so.
[[nodiscard]] const Card* card(const Page& page, const std::string& title);
[[nodiscard]] const Control* control(const Page& page, const std::string& title);

}  // namespace ActivitySettingsView
}  // namespace tovarin
