#pragma once

namespace tovarin {

// Asks the widget to reload all its timelines. Fire and forget: it reports nothing,
// and with nobody listening it does nothing. Called from one queue at a time.
class WidgetTimelines {
 public:
  virtual ~WidgetTimelines() = default;
  virtual void reloadAllTimelines() = 0;
};

}  // namespace tovarin
