#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "main/page/PageHost.h"
#include "main/windows/MainWindowController.h"
#include "main/windows/StickyWindowController.h"
#include "tests/support/FakeAccessibilitySettings.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/FakeServerSupervisor.h"
#include "tests/support/FakeWebViewProvider.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {

// What the host asked of its window, in order.
class RecordingPageHostClient final : public PageHostClient {
 public:
  void pageFinishedLoading() override { calls.push_back("finished"); }
  void pageLoadSettled() override { calls.push_back("settled"); }
  void pageLostServer(const PageLoadFailure& failure) override {
    calls.push_back(std::string(failure.committed ? "lost after commit: " : "lost before commit: ") + failure.error);
  }
  void pageContentProcessEnded() override { calls.push_back("process ended"); }
  void pageAskedToRetry() override { calls.push_back("retry"); }
  void pageOpensMainWindow() override { calls.push_back("main window"); }
  void pageShouldLoad() override { calls.push_back("load"); }
  void pageRecoveryEnded(bool ready) override { calls.push_back(ready ? "kept, ready" : "kept, not ready"); }
  void pageShouldShowOffline(const StartupNotice& notice) override {
    calls.push_back("offline");
    notices.push_back(notice);
  }

  std::vector<std::string> calls;
  std::vector<StartupNotice> notices;
};

// The two windows, each by the policy its controller hosts its page with.
struct HostedWindow {
  const char* name;
  const PageHostPolicy& policy;
};

inline std::vector<HostedWindow> hostedWindows() {
  return {{"main window", MainWindowController::pagePolicy()}, {"sticky window", StickyWindowController::pagePolicy()}};
}

// One page host on fakes and virtual time, made afresh for each window's policy. The
// background runner that gathers start-up facts is the same ManualLoop.
class PageHostFixture : public testing::Test {
 protected:
  void host(const PageHostPolicy& policy, int64_t port = 4173) {
    client_ = std::make_shared<RecordingPageHostClient>();
    server_ = std::make_shared<FakeServerSupervisor>();
    host_ = PageHost::create({loop_, loop_, server_, desktop_, webViews_, accessibility_}, LocalServer(port), policy,
                             client_);
    host_->makeWebView(std::weak_ptr<Window>());
    view_ = webViews_.last();
  }

  ManualLoop loop_;  // first: built first, destroyed last
  FakeDesktop desktop_;
  FakeWebViewProvider webViews_;
  FakeAccessibilitySettings accessibility_;
  LogRecorder log_;
  std::shared_ptr<FakeServerSupervisor> server_;
  std::shared_ptr<RecordingPageHostClient> client_;
  std::shared_ptr<PageHost> host_;
  std::shared_ptr<FakeWebView> view_;
};

}  // namespace tovarin
