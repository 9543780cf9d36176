#include "main/activity_core/IntervalBuilder.h"

#include <algorithm>
#include <cmath>

#include "main/activity_core/DomainSanitizer.h"
#include "main/activity_core/ExclusionPolicy.h"
#include "main/activity_core/TitleSanitizer.h"

namespace tovarin {

IntervalBuilder::IntervalBuilder(ActivitySettings settings, double minimumSeconds, MakeId makeId)
    : settings_(std::move(settings)), minimumSeconds_(minimumSeconds), makeId_(std::move(makeId)) {}

std::vector<ActivityInterval> IntervalBuilder::handle(const ActivityEvent& event) {
  double at = event.at();
  if (!std::isfinite(at)) return {};
  if (std::holds_alternative<ActivityEvent::Flush>(event.payload())) return flush(at);
  std::visit(
      [this](const auto& payload) {
        using Payload = std::decay_t<decltype(payload)>;
        if constexpr (!std::is_same_v<Payload, ActivityEvent::Flush>) update(payload);
      },
      event.payload());
  return reconcile(at);
}

void IntervalBuilder::update(const ActivityEvent::Frontmost& event) {
  front_ = event.app;
  frontTitle_.clear();
  frontDomain_.reset();
  frontIncognito_ = false;
}

void IntervalBuilder::update(const ActivityEvent::Title& event) {
  frontTitle_ = TitleSanitizer::clean(event.title);
  frontDomain_ = DomainSanitizer::clean(event.domain);
  frontIncognito_ = event.incognito;
}

void IntervalBuilder::update(const ActivityEvent::Suspend& event) { suspended_.insert(event.reason); }

void IntervalBuilder::update(const ActivityEvent::Resume& event) { suspended_.erase(event.reason); }

void IntervalBuilder::update(const ActivityEvent::Settings& event) { settings_ = event.settings; }

std::optional<IntervalBuilder::Wanted> IntervalBuilder::wanted() const {
  if (!suspended_.empty()) return std::nullopt;
  if (!settings_.enabled || settings_.paused) return std::nullopt;
  if (!front_) return std::nullopt;
  if (ExclusionPolicy::decide(front_->bundleId, settings_) != CaptureDecision::record()) return std::nullopt;
  if (frontIncognito_) return std::nullopt;
  if (ExclusionPolicy::sensitiveContent(frontTitle_, frontDomain_, front_->bundleId)) return std::nullopt;
  return Wanted{front_->bundleId, front_->name, frontTitle_, frontDomain_};
}

std::vector<ActivityInterval> IntervalBuilder::reconcile(double at) {
  std::optional<Wanted> next = wanted();
  if (!open_) {
    if (next) open_ = Open{next->bundleId, next->appName, next->title, next->domain, at};
    return {};
  }
  if (next && next->bundleId == open_->bundleId && next->title == open_->title && next->domain == open_->domain) {
    return {};
  }
  Open closing = *std::exchange(open_, std::nullopt);
  std::vector<ActivityInterval> emitted = close(closing, at);
  if (next) open_ = Open{next->bundleId, next->appName, next->title, next->domain, std::max(at, closing.start)};
  return emitted;
}

std::vector<ActivityInterval> IntervalBuilder::flush(double at) {
  if (!open_ || !(at - open_->start >= minimumSeconds_)) return {};
  Open closing = *open_;
  std::vector<ActivityInterval> emitted = close(closing, at);
  open_->start = at;
  return emitted;
}

std::vector<ActivityInterval> IntervalBuilder::close(const Open& record, double at) {
  double end = std::max(at, record.start);
  if (!(end - record.start >= minimumSeconds_)) return {};
  return {ActivityInterval{makeId_(), record.bundleId, record.appName, record.title, record.domain, record.start, end}};
}

}  // namespace tovarin
