#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/UserDefaults.h"
#include "main/windows/MainWindowController.h"
#include "tests/support/FakeAccessibilitySettings.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/FakeServerSupervisor.h"
#include "tests/support/FakeWebViewProvider.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {

// A main window on fakes and virtual time. The background runner that gathers start-up
// facts is the same ManualLoop, so its work runs when the test advances.
class MainWindowFixture : public testing::Test {
 protected:
  static constexpr const char* mainPage = "http://127.0.0.1:4173/index.html";

  void create(AppConfig config = AppConfig(".", 4173, true)) {
    controller_ = MainWindowController::create(
        std::move(config), {{loop_, loop_, server_, desktop_, webViews_, accessibility_}, defaults_});
    view_ = webViews_.last();
    window_ = desktop_.lastWindow();
  }

  // The main page finished loading: the page counts as loaded from now on.
  void finishMainPage() { view_->finishNavigation(mainPage); }

  size_t urlLoads() const {
    size_t count = 0;
    for (const auto& load : view_->loads()) count += load.kind == FakeWebView::Load::Kind::url ? 1 : 0;
    return count;
  }
  // The HTML of the last load, or "" when the last load was a URL.
  std::string lastHtml() const {
    const auto* load = view_->lastLoad();
    return load && load->kind == FakeWebView::Load::Kind::html ? load->html : std::string();
  }
  bool lastLoadIsMainPage() const {
    const auto* load = view_->lastLoad();
    return load && load->kind == FakeWebView::Load::Kind::url && load->url == mainPage;
  }
  bool lastLoadIsOfflinePage() const { return lastHtml().find("data-offline-headline") != std::string::npos; }

  std::vector<std::string> logLines() const { return logs_.lines(); }
  size_t logCount(const std::string& line) const { return logs_.count("[orvik] " + line); }

  // Facts that the diagnosis reads as a server still starting.
  static ServerStartupFacts slowFacts() {
    ServerStartupFacts facts;
    facts.port = 4173;
    facts.autoStartEnabled = true;
    facts.nodeFound = true;
    facts.childAlive = true;
    return facts;
  }
  // Facts of a server that may not be started at all.
  static ServerStartupFacts disabledFacts() {
    ServerStartupFacts facts;
    facts.port = 4173;
    return facts;
  }

  ManualLoop loop_;  // first: built first, destroyed last
  TempDir dir_;
  FakeDesktop desktop_;
  FakeWebViewProvider webViews_;
  FakeAccessibilitySettings accessibility_;
  UserDefaults defaults_{dir_.path() + "/defaults.json"};
  std::shared_ptr<FakeServerSupervisor> server_ = std::make_shared<FakeServerSupervisor>();
  std::shared_ptr<MainWindowController> controller_;
  std::shared_ptr<FakeWebView> view_;
  std::shared_ptr<FakeWindow> window_;

 private:
  LogRecorder logs_;  // last: stops recording before the window goes
};

}  // namespace tovarin
