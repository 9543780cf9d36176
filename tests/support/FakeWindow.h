#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main/page/Window.h"

namespace tovarin {

// A drivable window: records what the code sets and lets the test act as the user and
// the window manager. Frame changes made by the code are reported to the client too,
// as a real window manager's configure events are. Test thread only.
class FakeWindow final : public Window {
 public:
  // `screens` gives the desktop's screens at the moment center() runs.
  FakeWindow(WindowStyle style, Size contentSize, std::function<std::vector<Screen>()> screens);

  // Window
  void setClient(std::weak_ptr<WindowClient> client) override { client_ = std::move(client); }
  void setContent(std::shared_ptr<WebView> webView) override { content_ = std::move(webView); }
  void setTitle(const std::string& title) override { title_ = title; }
  Rect frame() const override { return frame_; }
  void setFrame(const Rect& frame) override;
  // Centres on the primary screen's visible frame, as the window manager would.
  void center() override;
  void setMinimumSize(Size size) override { minimumSize_ = size; }
  void setMaximumSize(Size size) override { maximumSize_ = size; }
  void setBackgroundColor(Rgba color) override { backgrounds_.push_back(color); }
  void show() override;
  void orderFrontQuietly() override;
  void hide() override;
  bool isVisible() const override { return visible_; }
  void setStacking(WindowStacking stacking) override { stacking_ = stacking; }
  void setOnAllWorkspaces(bool all) override { onAllWorkspaces_ = all; }
  void setOpacity(double opacity) override { opacity_ = opacity; }
  void beginMoveDrag() override { ++moveDrags_; }

  // What the code did.
  WindowStyle style() const { return style_; }
  Size contentSize() const { return contentSize_; }
  const std::shared_ptr<WebView>& content() const { return content_; }
  const std::string& title() const { return title_; }
  std::optional<Size> minimumSize() const { return minimumSize_; }
  std::optional<Size> maximumSize() const { return maximumSize_; }
  // Every background colour set, in order.
  const std::vector<Rgba>& backgrounds() const { return backgrounds_; }
  std::optional<Rgba> background() const {
    return backgrounds_.empty() ? std::nullopt : std::optional<Rgba>(backgrounds_.back());
  }
  int showCount() const { return shows_; }
  int quietOrderFrontCount() const { return quietOrderFronts_; }
  int hideCount() const { return hides_; }
  int centerCount() const { return centers_; }
  int setFrameCount() const { return setFrames_; }
  WindowStacking stacking() const { return stacking_; }
  bool onAllWorkspaces() const { return onAllWorkspaces_; }
  double opacity() const { return opacity_; }
  int moveDragCount() const { return moveDrags_; }

  // The user and the window manager.
  // The user drags or resizes the window to `frame`.
  void userMovesTo(const Rect& frame);
  // The user presses the close button; returns whether the window went away (hidden).
  bool userCloses();
  // Screens were added, removed or rearranged.
  void screensChanged();

 private:
  void applyFrame(const Rect& frame);
  std::shared_ptr<WindowClient> client() const { return client_.lock(); }

  const WindowStyle style_;
  const Size contentSize_;
  const std::function<std::vector<Screen>()> screens_;
  std::weak_ptr<WindowClient> client_;
  std::shared_ptr<WebView> content_;
  std::string title_;
  Rect frame_;
  std::optional<Size> minimumSize_;
  std::optional<Size> maximumSize_;
  std::vector<Rgba> backgrounds_;
  bool visible_ = false;
  int shows_ = 0;
  int quietOrderFronts_ = 0;
  int hides_ = 0;
  int centers_ = 0;
  int setFrames_ = 0;
  WindowStacking stacking_ = WindowStacking::normal;
  bool onAllWorkspaces_ = false;
  double opacity_ = 1.0;
  int moveDrags_ = 0;
};

}  // namespace tovarin
