#pragma once

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tovarin {

class WebView;

// Rectangles are in desktop points with y growing upwards, origin at the bottom-left
// corner of the primary screen. The GTK layer converts once, at its boundary.
struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  double maxX() const { return x + width; }
  double maxY() const { return y + height; }
  bool operator==(const Rect&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

// A size without limit in either direction: the largest size of a window until one is set.
inline constexpr Size unlimitedSize{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};

struct Screen {
  Rect frame;
  Rect visibleFrame;  // without panels and docks
  bool operator==(const Screen&) const = default;
};

struct Rgba {
  double red = 0, green = 0, blue = 0, alpha = 1;
  bool operator==(const Rgba&) const = default;
};

// Window-manager stacking: the levels fold into these three on the Linux desktop.
enum class WindowStacking { below, normal, above };

enum class WindowStyle {
  titled,      // decorated, resizable: the main window
  borderless,  // no decorations, app-driven moving and resizing: the sticky window
};

// Receives a window's events on the main thread.
class WindowClient {
 public:
  virtual ~WindowClient() = default;
  virtual void windowDidMoveOrResize(const Rect& frame) { (void)frame; }
  // Asked when the user closes the window; true lets it close (hide).
  virtual bool windowShouldClose() { return true; }
  virtual void windowScreensDidChange() {}
};

// A top-level window holding one web view. Main thread only.
class Window {
 public:
  virtual ~Window() = default;
  virtual void setClient(std::weak_ptr<WindowClient> client) = 0;
  virtual void setContent(std::shared_ptr<WebView> webView) = 0;
  virtual void setTitle(const std::string& title) = 0;
  virtual Rect frame() const = 0;
  virtual void setFrame(const Rect& frame) = 0;
  virtual void center() = 0;
  virtual void setMinimumSize(Size size) = 0;
  // Either dimension may be infinite, for no limit that way. Never below the minimum.
  virtual void setMaximumSize(Size size) = 0;
  virtual void setBackgroundColor(Rgba color) = 0;
  virtual void show() = 0;          // order front and make key
  virtual void orderFrontQuietly() = 0;  // order front without taking focus
  virtual void hide() = 0;
  virtual bool isVisible() const = 0;
  virtual void setStacking(WindowStacking stacking) = 0;
  virtual void setOnAllWorkspaces(bool all) = 0;
  virtual void setOpacity(double opacity) = 0;
  // Starts a window-manager move driven by the pointer button now held.
  virtual void beginMoveDrag() = 0;
};

// The desktop around the windows.
class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual std::shared_ptr<Window> makeWindow(WindowStyle style, Size contentSize) = 0;
  // The screens, the primary (menu bar) screen first. Never empty on a running desktop.
  virtual std::vector<Screen> screens() const = 0;
  // Opens an http or https address in the user's default browser.
  virtual void openInBrowser(const std::string& url) = 0;
  virtual void activateApplication() = 0;
};

}  // namespace tovarin
