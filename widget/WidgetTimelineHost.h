#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "base/HttpClient.h"
#include "base/MainLoop.h"
#include "widget/CalendarProvider.h"

namespace tovarin {

// What the widget service of other desktops does for the widget: asks the provider
// for a timeline, shows each entry from its date on, and asks again at the reload date
// or when the application says something changed.
//
// Lives on the main loop; the feed's answers arrive there. Entries follow the wall
// clock, which may jump (resume from suspend, a changed clock): the host never sleeps
// longer than `maxWait` before it looks at the clock again, and recheck() looks at
// once.
class WidgetTimelineHost final : public std::enable_shared_from_this<WidgetTimelineHost> {
 public:
  struct Environment {
    MainLoop& loop;
    HttpClient& http;
    std::function<double()> wallClock;  // seconds since 1970
    std::function<int64_t()> port;      // read anew for each fetch
    Calendar device;
  };
  using Show = std::function<void(const CalendarEntry&)>;

  static constexpr double maxWait = 60;

  WidgetTimelineHost(Environment environment, Show show);

  // Fetches the first timeline.
  void start();
  // Fetches a new timeline now; a reload asked for while a fetch is in flight runs
  // right after it, so a change that came during the fetch is not missed.
  void reload();
  // Shows the entry that is due by the wall clock and fetches when the reload date
  // has passed.
  void recheck();

  [[nodiscard]] const std::optional<CalendarTimeline>& timeline() const { return timeline_; }
  [[nodiscard]] int fetchesStarted() const { return fetchesStarted_; }

 private:
  void fetch();
  void onLoaded(CalendarEntry entry);
  void scheduleNextCheck();

  Environment env_;
  Show show_;
  std::optional<CalendarTimeline> timeline_;  // loop only
  std::size_t shownIndex_ = SIZE_MAX;          // loop only
  bool fetching_ = false;                      // loop only
  bool reloadAfterFetch_ = false;              // loop only
  int fetchesStarted_ = 0;                     // loop only
  TimerHandle check_;                          // loop only
};

}  // namespace tovarin
