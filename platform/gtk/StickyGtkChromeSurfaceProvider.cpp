#include "platform/gtk/StickyGtkChromeSurfaceProvider.h"

#include <cstdlib>

#include "base/Log.h"
#include "platform/gtk/GtkWebView.h"
#include "platform/gtk/StickyGtkChromeSurface.h"

namespace tovarin {

std::shared_ptr<StickyChromeSurface> StickyGtkChromeSurfaceProvider::attach(Window&, WebView& content) {
  auto* view = dynamic_cast<GtkWebView*>(&content);
  if (!view) {
    // A broken invariant of the program's own wiring, never outside input.
    log("sticky chrome: the window's content is not a GTK web view");
    std::abort();
  }
  return StickyGtkChromeSurface::create(view->widget());
}

}  // namespace tovarin
