#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "base/UserDefaults.h"
#include "main/windows/StickyWindowController.h"
#include "tests/support/FakeAccessibilitySettings.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/FakeServerSupervisor.h"
#include "tests/support/FakeStickyChromeSurface.h"
#include "tests/support/FakeWebViewProvider.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {

// Records what the sticky window hands to the settings exchange.
class RecordingSettingsExchange final : public StickySettingsExchange {
 public:
  using Change = std::tuple<std::string, std::string, std::string>;  // key, value, fallback
  void settingChanged(const std::string& key, const std::string& value, const std::string& fallback) override {
    changes.emplace_back(key, value, fallback);
  }
  void syncFromServer() override { ++syncs; }

  std::vector<Change> changes;
  int syncs = 0;
};

// A sticky window on fakes and virtual time. The background runner that gathers
// start-up facts is the same ManualLoop, so its work runs when the test advances.
class StickyWindowFixture : public testing::Test {
 protected:
  static constexpr const char* widgetPage = "http://127.0.0.1:4173/widget.html";

  void create(AppConfig config = AppConfig(".", 4173, true)) {
    controller_ = StickyWindowController::create(
        std::move(config), {{loop_, loop_, server_, desktop_, webViews_, accessibility_}, defaults_, surfaces_});
    controller_->setSettingsExchange(exchange_);
    controller_->onLevelChanged = [this] { ++levelChanges_; };
    controller_->onNavigate = [this](const std::map<std::string, std::string>& body) { navigations_.push_back(body); };
    controller_->onShowMain = [this] { ++showMains_; };
    view_ = webViews_.last();
    window_ = desktop_.lastWindow();
    surface_ = surfaces_.last();
  }

  // The widget page finished loading: the real page counts as loaded from now on.
  void finishWidgetPage() { view_->finishNavigation(widgetPage); }

  size_t widgetLoads() const {
    size_t count = 0;
    for (const auto& load : view_->loads()) {
      count += load.kind == FakeWebView::Load::Kind::url && load.url == widgetPage ? 1 : 0;
    }
    return count;
  }
  std::string lastHtml() const {
    const auto* load = view_->lastLoad();
    return load && load->kind == FakeWebView::Load::Kind::html ? load->html : std::string();
  }

  ManualLoop loop_;  // first: built first, destroyed last
  TempDir dir_;
  FakeDesktop desktop_;  // one 1440 x 900 screen, visible 1440 x 875
  FakeWebViewProvider webViews_;
  FakeAccessibilitySettings accessibility_;
  FakeStickyChromeSurfaceProvider surfaces_;
  UserDefaults defaults_{dir_.path() + "/defaults.json"};
  std::shared_ptr<FakeServerSupervisor> server_ = std::make_shared<FakeServerSupervisor>();
  std::shared_ptr<RecordingSettingsExchange> exchange_ = std::make_shared<RecordingSettingsExchange>();
  std::shared_ptr<StickyWindowController> controller_;
  std::shared_ptr<FakeWebView> view_;
  std::shared_ptr<FakeWindow> window_;
  std::shared_ptr<FakeStickyChromeSurface> surface_;
  int levelChanges_ = 0;
  int showMains_ = 0;
  std::vector<std::map<std::string, std::string>> navigations_;
};

}  // namespace tovarin
