#include "platform/linux/LinuxActivityCapturePlatform.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace tovarin {

LinuxActivityCapturePlatform::LinuxActivityCapturePlatform(MainLoop& loop, LinuxActivityPlatform::Options options)
    : loop_(loop),
      options_(std::move(options)),
      entries_(std::make_shared<DesktopEntryIndex>(
          options_.applicationFolders.empty() ? DesktopEntryIndex::defaultFolders() : options_.applicationFolders,
          options_.locale.value_or(DesktopEntryIndex::defaultLocale()))) {}

LinuxActivityCapturePlatform::~LinuxActivityCapturePlatform() = default;

std::shared_ptr<ActivityCapture> LinuxActivityCapturePlatform::makeCapture(ActivityCapture::Policy policy,
                                                                           ActivityCapture::Sink sink) {
  assert(loop_.isMainThread());
  if (!platform_) platform_ = std::make_unique<LinuxActivityPlatform>(loop_, options_);
  capture_ = ActivityCapture::create(loop_, platform_->capturePlatform(), std::move(policy),
                                     [this, sink = std::move(sink)](const ActivityEvent& event) {
                                       remember(event);
                                       sink(event);
                                     });
  return capture_;
}

void LinuxActivityCapturePlatform::remember(const ActivityEvent& event) {
  const auto* front = std::get_if<ActivityEvent::Frontmost>(&event.payload());
  if (!front || !front->app) return;
  auto found = std::find_if(seen_.begin(), seen_.end(), [&](const auto& app) { return app.id == front->app->bundleId; });
  if (found == seen_.end()) {
    seen_.push_back({front->app->bundleId, front->app->name});
  } else {
    found->name = front->app->name;
  }
}

bool LinuxActivityCapturePlatform::accessibilityTrusted() {
  return platform_ && platform_->capturePlatform().desktop->accessibilityTrusted();
}

void LinuxActivityCapturePlatform::requestAccessibility() {
  if (capture_) capture_->requestAccessibility();
}

std::optional<std::string> LinuxActivityCapturePlatform::installedName(const std::string& id) {
  const DesktopEntryIndex::Entry* entry = entries_->find(id);
  if (!entry || entry->name.empty()) return std::nullopt;
  return entry->name;
}

bool LinuxActivityCapturePlatform::supportsDomain(const std::string& id) {
  return capture_ && capture_->supportsDomain(id);
}

std::int32_t LinuxActivityCapturePlatform::automationStatus(const std::string& id) {
  // The capture is made once and lives as long as this platform.
  return capture_ ? capture_->automationStatus(id, false) : -600;
}

void LinuxActivityCapturePlatform::requestAutomation(const std::string& id, std::function<void()> completion) {
  if (!capture_) return;
  capture_->requestAutomation(id, [completion = std::move(completion)](std::int32_t) { completion(); });
}

}  // namespace tovarin
