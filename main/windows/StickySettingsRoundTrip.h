#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/HttpClient.h"
#include "base/MainLoop.h"
#include "base/TimerHandle.h"
#include "main/page/PanelPresenter.h"
#include "main/windows/StickySettingsExchange.h"
#include "main/windows/StickySettingsState.h"

namespace tovarin {

class StickyWindowController;

// The sticky window's settings round trip: a change the user made on this computer is
// written into the server's data through the widget page's store, confirmed by reading
// the server's data back, and rolled back with a notice when no confirmation comes in
// time; values changed on the server side move the window unless a change of the user's
// own is still pending for that key.
//
// Lives on the main loop. The server's answer is parsed on `parseQueue` and handed back
// through the loop. Every timer and completion holds the round trip weakly.
class StickySettingsRoundTrip final : public StickySettingsExchange,
                                      public std::enable_shared_from_this<StickySettingsRoundTrip> {
 public:
  using Values = StickySettingsState::Values;

  struct Services {
    MainLoop& loop;
    TaskRunner& parseQueue;
    std::shared_ptr<HttpClient> http;
    // Shows the failure alert; modal for the whole program, not a sheet.
    std::shared_ptr<PanelPresenter> presenter;
  };

  static constexpr std::string_view floatingWindowKey = "floatingWindow";
  static constexpr std::string_view levelKey = "stickyLevel";
  static constexpr std::string_view spaceScopeKey = "stickySpaceScope";
  static constexpr double confirmationTimeout = 10;
  static constexpr double resendInterval = 0.25;
  static constexpr double readTimeout = 3;
  // After the page took a change, the server is read again at these times.
  static constexpr double readBackDelays[] = {0.5, 2, 5};
  static constexpr std::string_view failureTitle = "浮窗设置暂未确认";
  static constexpr std::string_view failureText =
      "浮窗设置尚未确认保存，窗口已恢复上次状态。请打开主窗口，在「Mac 桌面体验」中核对并重新选择。";
  static constexpr std::string_view openSettingsButton = "打开设置";
  static constexpr std::string_view laterButton = "稍后";

  [[nodiscard]] static std::shared_ptr<StickySettingsRoundTrip> create(std::string dataUrl, Services services,
                                                                       std::weak_ptr<StickyWindowController> window);

  // StickySettingsExchange
  void settingChanged(const std::string& key, const std::string& value, const std::string& fallback) override;
  void syncFromServer() override;

  // The expression the page runs to take one change into its store; true when it did.
  [[nodiscard]] static std::string dispatchScript(const StickySettingsState::Intent& intent, double expiresAtMs);
  // The settings in a "/api/data" answer, or nothing when the answer does not count.
  [[nodiscard]] static std::optional<Values> parseServerSettings(const HttpResponse& response);

  // Called with the failure text instead of showing the alert, when set. Choosing to open
  // the settings in the alert goes to the window's onNavigate with {"panel": "settings"}.
  std::function<void(const std::string&)> onSettingFailure;

  const StickySettingsState& state() const { return state_; }
  bool failureVisible() const { return failureVisible_; }
  bool readInFlight() const { return readInFlight_; }

  struct CreateKey {
    explicit CreateKey() = default;
  };
  StickySettingsRoundTrip(CreateKey, std::string dataUrl, Services services,
                          std::weak_ptr<StickyWindowController> window);

 private:
  // The timers of the change pending for one key; a newer change of the key replaces them.
  struct KeyTimers {
    TimerHandle rollback;
    TimerHandle resend;
    std::vector<TimerHandle> readBacks;
  };

  static bool isKnownSetting(const std::string& key, const std::string& value);
  void dispatchSetting(const StickySettingsState::Intent& intent, double expiresAtMs);
  void pageAnswered(const StickySettingsState::Intent& intent, double expiresAtMs, bool accepted);
  void settingFailed(const StickySettingsState::Intent& intent);
  void reportFailure();
  void readFinished(const StickySettingsState::Read& read, const std::optional<Values>& values);
  void applySettings(const Values& values);

  const std::string dataUrl_;
  MainLoop& loop_;
  TaskRunner& parseQueue_;
  const std::shared_ptr<HttpClient> http_;
  const std::shared_ptr<PanelPresenter> presenter_;
  const std::weak_ptr<StickyWindowController> window_;

  // Main loop only, all of them.
  StickySettingsState state_;
  std::map<std::string, KeyTimers> timers_;
  bool readInFlight_ = false;
  bool readRequested_ = false;
  bool failureVisible_ = false;
};

}  // namespace tovarin
