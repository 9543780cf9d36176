#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/MainLoop.h"
#include "base/SerialQueue.h"
#include "main/activity/ActivityDesktop.h"
#include "main/activity/ActivityNotificationCenter.h"
#include "main/activity/BrowserAutomation.h"
#include "main/activity_core/ActivityEvent.h"
#include "main/activity_core/BrowserContextCache.h"

namespace tovarin {

// Watches what the user works in and hands it to the sink as activity events: the
// application in front, its window title (and a browser's page host), idle time,
// screen lock, session changes and sleep. It decides nothing about what is kept; its
// Policy says which titles and hosts may be read and when the user counts as away.
//
// Lives on the main loop: construction, start, stop, the policy, every observer, the
// sampler and every call of the sink. Title and host reads run on readQueue_, one at a
// time.
class ActivityCapture final : public std::enable_shared_from_this<ActivityCapture> {
 public:
  struct Policy {
    std::function<bool(const std::string& bundleId)> shouldReadTitle;
    std::function<bool(const std::string& bundleId)> shouldReadDomain;
    double idleThreshold = 300;
  };
  using Sink = std::function<void(const ActivityEvent&)>;
  using WallClock = std::function<double()>;  // seconds since 1970

  struct Platform {
    std::shared_ptr<ActivityNotificationCenter> workspace;    // activation, sleep, session
    std::shared_ptr<ActivityNotificationCenter> distributed;  // screen lock
    std::shared_ptr<ActivityDesktop> desktop;
    std::shared_ptr<BrowserAutomation> automation;
  };

  static constexpr double sampleInterval = 3.0;
  static constexpr double sampleTolerance = 1.0;
  static constexpr double scriptTimeout = 1.5;
  static constexpr const char* readQueueLabel = "com.orvik.thetovarin.activity.read";

  [[nodiscard]] static std::shared_ptr<ActivityCapture> create(MainLoop& loop, Platform platform, Policy policy,
                                                               Sink sink, WallClock wallClock = nullptr);
  ~ActivityCapture();
  ActivityCapture(const ActivityCapture&) = delete;
  ActivityCapture& operator=(const ActivityCapture&) = delete;

  [[nodiscard]] const Policy& policy() const;
  void setPolicy(Policy policy);
  [[nodiscard]] bool isRunning() const;
  void start();
  void stop();

  // Whether the page host of this browser can be read here at all.
  [[nodiscard]] bool supportsDomain(const std::string& bundleId) const;
  // Any thread; blocks while the user is asked. -600 for a browser that cannot be scripted.
  [[nodiscard]] std::int32_t automationStatus(const std::string& bundleId, bool ask) const;
  // Asks off the main loop; completion on the main loop, not after the capture is gone.
  void requestAutomation(const std::string& bundleId, std::function<void(std::int32_t)> completion);
  void requestAccessibility();

 private:
  // The last title sample delivered to the sink.
  struct TitleSample {
    std::string bundle;
    std::optional<std::string> title;
    std::optional<std::string> domain;
    bool incognito = false;
    bool operator==(const TitleSample&) const = default;
  };
  // What the read queue owns; shared with queued reads so that they never need the
  // capture itself.
  struct ReadState {
    std::shared_ptr<ActivityDesktop> desktop;
    std::shared_ptr<BrowserAutomation> automation;
    BrowserContextCache domainCache;  // readQueue_ only
  };

  ActivityCapture(MainLoop& loop, Platform platform, Policy policy, Sink sink, WallClock wallClock);

  void observe(ActivityNotificationCenter& center, WorkspaceNotification name,
               std::function<void(ActivityCapture&, const WorkspaceNote&)> handler);
  void scheduleSample();
  void frontmostChanged(const std::optional<RunningApplication>& app);
  void sample();
  void emit(const ActivityEvent& event);
  void deliver(const std::string& bundle, std::optional<std::string> title,
               std::optional<BrowserContextCache::Value> context);
  static std::optional<BrowserContextCache::Value> browserContext(ReadState& state, const std::string& bundle,
                                                                  const std::string& title, double at);

  MainLoop& loop_;
  const Platform platform_;
  const Sink sink_;
  const WallClock wallClock_;
  Policy policy_;                                                            // main only
  std::vector<std::pair<ActivityNotificationCenter*, ActivityNotificationCenter::Token>> tokens_;  // main only
  TimerHandle sampler_;                                                      // main only
  bool running_ = false;                                                     // main only
  bool idle_ = false;                                                        // main only
  std::optional<bool> trusted_;                                              // main only
  std::optional<TitleSample> lastSample_;                                    // main only
  bool reading_ = false;                                                     // main only
  const std::shared_ptr<ReadState> readState_;
  std::unique_ptr<SerialQueue> automationQueue_;  // main only; made on first request
  // Last: destroyed first, so a read still running finishes before the rest goes.
  SerialQueue readQueue_{readQueueLabel};
};

}  // namespace tovarin
