#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tovarin {

// A prepared message panel: an alert, a confirmation or a text prompt.
struct AlertPanel {
  // The text field of a prompt.
  struct Field {
    bool secret = false;  // hides what is typed
    std::string text;     // initial text
    std::string accessibilityLabel;
  };

  std::string messageText;      // the title line
  std::string informativeText;  // the detail under it; may be empty
  // Button titles; the first is the default one, and a "取消" button also answers Escape.
  std::vector<std::string> buttons;
  std::optional<Field> field;
  // The button drawn as destructive, if any.
  std::optional<std::size_t> destructiveButton;
  // The button Return presses; none: the first.
  std::optional<std::size_t> returnButton;
};

// How an alert ended.
struct AlertResult {
  // Index into AlertPanel::buttons; none when the panel was closed another way.
  std::optional<std::size_t> button;
  std::string fieldText;  // the field's text at that moment, when there is a field

  bool isFirstButton() const { return button == std::size_t{0}; }
};

}  // namespace tovarin
