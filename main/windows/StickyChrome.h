#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "base/MainLoop.h"
#include "base/TimerHandle.h"
#include "main/page/Window.h"
#include "main/windows/StickyChromeSurface.h"
#include "main/windows/StickyResizeSolver.h"
#include "main/windows/StickyZone.h"

namespace tovarin {

// The handling of the borderless sticky window: its nine pointer zones with their
// resize cursors, app-driven resizing from edges and corners within the size limits, a
// double click on a corner that toggles the default size, window dragging from the page
// (guided by the page's report of whether the pointer is over an interactive element),
// the drag state with its hand cursors, and reports of where the pointer is.
//
// Lives on the main loop; its timers hold it weakly.
class StickyChrome final : public StickyChromeSurfaceClient, public std::enable_shared_from_this<StickyChrome> {
 public:
  static constexpr double cursorHoldInterval = 0.05;
  static constexpr double dragWatchInterval = 0.04;
  // A hover report from the page counts for this long.
  static constexpr double interactiveReportLifetime = 0.6;
  // Without a fresh report, presses in this strip at the top of the page drag the
  // window, except in its right end.
  static constexpr double fallbackDragZoneHeight = 44;
  static constexpr double rightExclusion = 96;

  [[nodiscard]] static std::shared_ptr<StickyChrome> create(MainLoop& loop, std::shared_ptr<Window> window,
                                                            std::shared_ptr<StickyChromeSurface> surface,
                                                            std::function<std::vector<Screen>()> screens);

  // Told on every pointer move over the window.
  std::function<void()> onPointerMoved;
  // Told when the primary button goes down in the interior.
  std::function<void()> onPointerPressed;
  // Told when the pair (inside, zone) changes.
  std::function<void(bool inside, StickyZone zone)> onPointerChanged;

  // The page is not over an interactive element: a press in the interior may drag.
  void setGrabbable(bool grabbable);
  bool grabbable() const { return grabbable_; }
  // The page's report of whether the pointer is over an interactive element, timed now.
  void setOverInteractive(bool interactive);

  // The pointer no longer counts as inside (the window went off screen).
  void resetPointerState();
  void beginWindowDrag();
  void endWindowDrag();

  bool isResizing() const { return solver_.has_value(); }
  bool isDraggingWindow() const { return draggingWindow_; }
  StickyZone cursorZone() const { return cursorZone_; }

  [[nodiscard]] static StickyCursor cursorFor(StickyZone zone);

  // StickyChromeSurfaceClient
  void pointerEntered(const StickyPointerEvent& event) override;
  void pointerExited() override;
  void pointerMoved(const StickyPointerEvent& event) override;
  [[nodiscard]] StickyPressOutcome pointerPressed(const StickyPress& press) override;
  void pointerReleased(const StickyPointerEvent& event) override;
  void pointerCancelled() override;

  struct CreateKey {
    explicit CreateKey() = default;
  };
  StickyChrome(CreateKey, MainLoop& loop, std::shared_ptr<Window> window, std::shared_ptr<StickyChromeSurface> surface,
               std::function<std::vector<Screen>()> screens);

 private:
  Size windowSize() const;
  void report(bool inside, StickyZone zone);
  StickyPressOutcome pressInterior(const StickyPress& press);
  StickyPressOutcome dragWindow();
  void toggleDefaultSize();
  void beginResize(StickyZone zone, StickyPoint screenLocation);
  void finishResize(const StickyPointerEvent& event);
  void endResize();
  void scheduleCursorHold();
  void holdCursor();
  void scheduleDragWatch();
  void watchDrag();

  MainLoop& loop_;
  const std::shared_ptr<Window> window_;
  const std::shared_ptr<StickyChromeSurface> surface_;
  const std::function<std::vector<Screen>()> screens_;

  // Main loop only, all of them.
  bool grabbable_ = false;
  bool interactiveFlag_ = false;
  double interactiveAt_ = -1e300;
  std::optional<StickyResizeSolver> solver_;  // set while a resize runs
  StickyZone cursorZone_ = StickyZone::interior;
  bool draggingWindow_ = false;
  bool pointerInside_ = false;
  bool reportedInside_ = false;
  StickyZone reportedZone_ = StickyZone::interior;
  std::optional<Size> sizeBeforeReset_;
  int releaseSamples_ = 0;
  TimerHandle cursorHold_;
  TimerHandle dragWatch_;
};

}  // namespace tovarin
