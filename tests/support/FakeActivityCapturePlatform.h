#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "main/activity/ActivityCapturePlatform.h"
#include "main/activity/ActivityNotificationCenter.h"
#include "tests/support/FakeActivityDesktop.h"
#include "tests/support/FakeBrowserAutomation.h"

namespace tovarin {

// A desktop the test describes: a real capture over a fake X desktop, with the running
// and installed applications and the browsers' answers the test sets. Main thread,
// except automationStatus.
class FakeActivityCapturePlatform final : public ActivityCapturePlatform {
 public:
  explicit FakeActivityCapturePlatform(MainLoop& loop)
      : workspace(std::make_shared<ActivityNotificationCenter>(loop)),
        distributed(std::make_shared<ActivityNotificationCenter>(loop)),
        loop_(loop) {}

  std::shared_ptr<ActivityCapture> makeCapture(ActivityCapture::Policy policy, ActivityCapture::Sink sink) override {
    ++capturesMade;
    capture = ActivityCapture::create(loop_, {workspace, distributed, xDesktop, automation}, std::move(policy),
                                      std::move(sink));
    return capture;
  }
  bool accessibilityTrusted() override { return xDesktop->trusted.load(); }
  void requestAccessibility() override { ++accessibilityRequests; }
  std::vector<SeenApplication> runningApplications() override { return running; }
  std::optional<std::string> installedName(const std::string& id) override {
    auto found = installed.find(id);
    return found == installed.end() ? std::nullopt : std::optional<std::string>(found->second);
  }
  bool supportsDomain(const std::string& id) override { return id == "firefox" || id == "chromium"; }
  std::int32_t automationStatus(const std::string& id) override {
    std::lock_guard lock(mutex_);
    probes.push_back(id);
    auto found = automationCodes.find(id);
    return found == automationCodes.end() ? -600 : found->second;
  }
  void requestAutomation(const std::string& id, std::function<void()> completion) override {
    automationRequests.push_back(id);
    completion();
  }

  std::vector<std::string> probedIds() {
    std::lock_guard lock(mutex_);
    return probes;
  }

  std::shared_ptr<ActivityNotificationCenter> workspace;
  std::shared_ptr<ActivityNotificationCenter> distributed;
  std::shared_ptr<FakeActivityDesktop> xDesktop = std::make_shared<FakeActivityDesktop>();
  std::shared_ptr<FakeBrowserAutomation> automation = std::make_shared<FakeBrowserAutomation>();
  std::shared_ptr<ActivityCapture> capture;
  int capturesMade = 0;
  int accessibilityRequests = 0;
  std::vector<SeenApplication> running;
  std::map<std::string, std::string> installed;
  std::map<std::string, std::int32_t> automationCodes;
  std::vector<std::string> automationRequests;

 private:
  MainLoop& loop_;
  std::mutex mutex_;
  std::vector<std::string> probes;  // mutex_
};

}  // namespace tovarin
