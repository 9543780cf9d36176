#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/MainLoop.h"
#include "base/TimerHandle.h"
#include "main/page/Window.h"

struct _GtkCssProvider;
struct _GtkWidget;

namespace tovarin {

// A GTK top-level window holding one web view. Lives on the main loop. Frames are
// the core's desktop rectangles (y up); the conversion happens in DesktopCoordinates.
// Closing it only hides it: the window lives as long as this object.
class GtkAppWindow final : public Window, public std::enable_shared_from_this<GtkAppWindow> {
 public:
  static std::shared_ptr<GtkAppWindow> create(MainLoop& loop, WindowStyle style, Size contentSize);
  ~GtkAppWindow() override;
  GtkAppWindow(const GtkAppWindow&) = delete;
  GtkAppWindow& operator=(const GtkAppWindow&) = delete;

  void setClient(std::weak_ptr<WindowClient> client) override;
  void setContent(std::shared_ptr<WebView> webView) override;
  void setTitle(const std::string& title) override;
  Rect frame() const override;
  void setFrame(const Rect& frame) override;
  void center() override;
  void setMinimumSize(Size size) override;
  void setMaximumSize(Size size) override;
  void setBackgroundColor(Rgba color) override;
  void show() override;
  void orderFrontQuietly() override;
  void hide() override;
  bool isVisible() const override;
  void setStacking(WindowStacking stacking) override;
  void setOnAllWorkspaces(bool all) override;
  void setOpacity(double opacity) override;
  void beginMoveDrag() override;

  _GtkWidget* widget() const { return window_; }
  // When the window last became the active one or was presented by this program, as a
  // rank among all the program's windows: higher is later, 0 is never.
  std::uint64_t activationRank() const { return activationRank_; }

  // Signal entry points (public for the C callbacks in the implementation).
  bool onDeleteRequested();
  void onConfigured();
  void onScreensChanged();
  void onActivated();

 private:
  GtkAppWindow(MainLoop& loop, WindowStyle style, Size contentSize);
  void connectSignals();
  std::shared_ptr<WindowClient> client() const { return client_.lock(); }
  void moveAndResize(const Rect& frame);
  void applySizeLimits();
  void returnToFrameIfHidden();
  void endPlacement();
  // Where GTK has the window now, as a desktop frame.
  Rect currentFrame() const;
  void markActivated();

  MainLoop& loop_;
  const WindowStyle style_;
  _GtkWidget* window_;  // strong reference
  _GtkCssProvider* background_ = nullptr;
  std::shared_ptr<WebView> content_;
  std::weak_ptr<WindowClient> client_;
  std::vector<std::pair<void*, unsigned long>> signalHandlers_;  // (instance, handler id)
  // The frame last asked for or reported by the window manager: GTK applies a move
  // or resize only later, and frame() must already answer with it.
  Rect frame_;
  Rect reportedFrame_;  // the last frame told to the client
  // GTK holds the window within these: so does frame().
  Size minimumSize_;
  Size maximumSize_ = unlimitedSize;
  bool shownBefore_ = false;
  // Armed while the window manager takes back a window shown again at frame_: where it
  // has the window on the way there is no move of the window's.
  TimerHandle placement_;
  std::uint64_t activationRank_ = 0;
};

}  // namespace tovarin
