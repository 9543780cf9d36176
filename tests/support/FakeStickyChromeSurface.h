#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "main/windows/StickyChromeSurface.h"

namespace tovarin {

// A drivable chrome surface: records the cursors and ring states the code sets, answers
// the button, pointer and focus questions as the test says, and delivers pointer events
// to the client as the desktop would. Test thread only.
class FakeStickyChromeSurface final : public StickyChromeSurface {
 public:
  // StickyChromeSurface
  void setClient(std::weak_ptr<StickyChromeSurfaceClient> client) override { client_ = std::move(client); }
  void setCursor(StickyCursor cursor) override { cursors_.push_back(cursor); }
  bool primaryButtonDown() const override { return buttonDown_; }
  std::optional<StickyPoint> pointerLocation() const override { return pointer_; }
  bool isActive() const override { return active_; }
  void setRingEmphasized(bool emphasized) override { rings_.push_back(emphasized); }

  // Setup.
  void setButtonDown(bool down) { buttonDown_ = down; }
  void setActive(bool active) { active_ = active; }
  void setPointer(std::optional<StickyPoint> pointer) { pointer_ = pointer; }

  // What the code did.
  const std::vector<StickyCursor>& cursors() const { return cursors_; }
  std::optional<StickyCursor> lastCursor() const {
    return cursors_.empty() ? std::nullopt : std::optional<StickyCursor>(cursors_.back());
  }
  void clearCursors() { cursors_.clear(); }
  const std::vector<bool>& rings() const { return rings_; }
  bool hasClient() const { return !client_.expired(); }

  // The pointer, as the desktop reports it. The location is in the window (y up); the
  // screen location defaults to the same point. Each returns quietly without a client.
  void enter(StickyPoint location);
  void exit();
  void move(StickyPoint location, std::optional<StickyPoint> screenLocation = std::nullopt);
  // A press: the button is down afterwards. Without a client the page gets it.
  StickyPressOutcome press(StickyPoint location, int clickCount = 1, bool dragModifier = false,
                           std::optional<StickyPoint> screenLocation = std::nullopt);
  void release(StickyPoint location, std::optional<StickyPoint> screenLocation = std::nullopt);
  // A release with the pointer off the window: it has no location over the window then.
  void releaseOutside(StickyPoint location, StickyPoint screenLocation);
  // The press ends unseen: another program took the pointer. The button is up afterwards.
  void cancel();

 private:
  std::shared_ptr<StickyChromeSurfaceClient> client() const { return client_.lock(); }

  std::weak_ptr<StickyChromeSurfaceClient> client_;
  std::vector<StickyCursor> cursors_;
  std::vector<bool> rings_;
  bool buttonDown_ = false;
  bool active_ = true;
  std::optional<StickyPoint> pointer_;
};

// Hands out one FakeStickyChromeSurface per window and keeps them for the test.
class FakeStickyChromeSurfaceProvider final : public StickyChromeSurfaceProvider {
 public:
  std::shared_ptr<StickyChromeSurface> attach(Window& window, WebView& content) override;
  std::shared_ptr<FakeStickyChromeSurface> last() const { return made_.empty() ? nullptr : made_.back(); }
  const std::vector<Window*>& windows() const { return windows_; }
  const std::vector<WebView*>& contents() const { return contents_; }

 private:
  std::vector<std::shared_ptr<FakeStickyChromeSurface>> made_;
  std::vector<Window*> windows_;
  std::vector<WebView*> contents_;
};

}  // namespace tovarin
