#include "widget/WidgetTimelineHost.h"

#include <algorithm>
#include <cassert>

namespace tovarin {

WidgetTimelineHost::WidgetTimelineHost(Environment environment, Show show)
    : env_(std::move(environment)), show_(std::move(show)) {}

void WidgetTimelineHost::start() {
  assert(env_.loop.isMainThread());
  fetch();
}

void WidgetTimelineHost::reload() {
  assert(env_.loop.isMainThread());
  if (fetching_) {
    reloadAfterFetch_ = true;
    return;
  }
  fetch();
}

void WidgetTimelineHost::fetch() {
  fetching_ = true;
  reloadAfterFetch_ = false;
  ++fetchesStarted_;
  FeedRequest request;
  request.port = env_.port();
  request.days = CalendarFeed::horizonDays;
  request.now = env_.wallClock();
  request.device = env_.device;
  // The answer is posted to the loop; a host gone by then has nothing to show.
  CalendarProvider::load(env_.http, env_.loop, request, [weak = weak_from_this()](CalendarEntry entry) {
    if (auto self = weak.lock()) self->onLoaded(std::move(entry));
  });
}

void WidgetTimelineHost::onLoaded(CalendarEntry entry) {
  fetching_ = false;
  timeline_ = CalendarProvider::timelineWithReload(entry, env_.device);
  shownIndex_ = SIZE_MAX;
  if (reloadAfterFetch_) {
    fetch();
    return;
  }
  recheck();
}

void WidgetTimelineHost::recheck() {
  assert(env_.loop.isMainThread());
  if (!timeline_) return;
  double now = env_.wallClock();
  if (now >= timeline_->reloadDate && !fetching_) {
    fetch();
    return;
  }
  // The loaded entry shows at once, even when the clock has gone back since.
  std::size_t due = 0;
  for (std::size_t i = 1; i < timeline_->entries.size(); ++i) {
    if (timeline_->entries[i].date <= now) due = i;
  }
  if (due != shownIndex_) {
    shownIndex_ = due;
    show_(timeline_->entries[due]);
  }
  scheduleNextCheck();
}

void WidgetTimelineHost::scheduleNextCheck() {
  double now = env_.wallClock();
  double next = timeline_->reloadDate;
  if (shownIndex_ + 1 < timeline_->entries.size()) next = std::min(next, timeline_->entries[shownIndex_ + 1].date);
  double wait = std::clamp(next - now, 0.0, maxWait);
  check_ = env_.loop.postAfter(wait, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->recheck();
  });
}

}  // namespace tovarin
