#pragma once

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "main/windows/StickyChromeSurface.h"

struct _GdkCursor;
struct _GtkGesture;
struct _GtkEventController;
struct _GtkWidget;

namespace tovarin {

// The sticky window's chrome on GTK: a press gesture and a motion controller on the
// window's content widget, both in the capture phase, so the chrome sees every pointer
// event before the page does and can keep a press (a resize or a window drag) from
// reaching it. The cursor is set on the content's own GDK window, where the page sets
// its cursors too; the border ring is drawn over the content.
//
// Lives on the main loop; GTK delivers every signal there.
class StickyGtkChromeSurface final : public StickyChromeSurface,
                                     public std::enable_shared_from_this<StickyGtkChromeSurface> {
 public:
  // Takes its own reference to `content`, the widget that fills the window.
  [[nodiscard]] static std::shared_ptr<StickyGtkChromeSurface> create(_GtkWidget* content);
  ~StickyGtkChromeSurface() override;
  StickyGtkChromeSurface(const StickyGtkChromeSurface&) = delete;
  StickyGtkChromeSurface& operator=(const StickyGtkChromeSurface&) = delete;

  void setClient(std::weak_ptr<StickyChromeSurfaceClient> client) override { client_ = std::move(client); }
  void setCursor(StickyCursor cursor) override;
  bool primaryButtonDown() const override;
  std::optional<StickyPoint> pointerLocation() const override;
  bool isActive() const override;
  void setRingEmphasized(bool emphasized) override;

  StickyCursor cursor() const { return cursor_; }
  bool ringEmphasized() const { return ringEmphasized_; }
  // The ring's alpha as drawn now; it eases towards the emphasis's alpha.
  double ringAlpha() const { return ringAlpha_; }

  // Signal entry points (public for the C callbacks in the implementation).
  void onEnter(double x, double y);
  void onLeave();
  void onMotion(double x, double y);
  void onPressed(int pressCount, double x, double y);
  void onReleased(double x, double y);
  void onCancelled();
  void onDraw(void* cairo);
  // Frame-clock time in microseconds; false when the easing is over.
  bool onTick(long long frameTime);

 private:
  explicit StickyGtkChromeSurface(_GtkWidget* content);
  void connect();
  std::shared_ptr<StickyChromeSurfaceClient> client() const { return client_.lock(); }
  _GtkWidget* toplevel() const;
  // The content point (x, y) in window points, y up, and the pointer on the desktop.
  StickyPointerEvent eventAt(double x, double y) const;
  _GdkCursor* cursorObject(StickyCursor cursor);

  _GtkWidget* content_;  // strong reference
  _GtkGesture* press_ = nullptr;
  _GtkEventController* motion_ = nullptr;
  std::vector<std::pair<void*, unsigned long>> signalHandlers_;  // (instance, handler id)
  std::weak_ptr<StickyChromeSurfaceClient> client_;
  std::map<StickyCursor, _GdkCursor*> cursors_;  // strong references
  StickyCursor cursor_ = StickyCursor::arrow;
  bool pressClaimed_ = false;
  bool ringEmphasized_ = false;
  double ringAlpha_;
  double ringFrom_ = 0;
  double ringTo_ = 0;
  long long ringStart_ = -1;   // frame time of the easing's first frame; -1 before it
  unsigned ringTick_ = 0;      // the tick callback while the ring eases
};

}  // namespace tovarin
