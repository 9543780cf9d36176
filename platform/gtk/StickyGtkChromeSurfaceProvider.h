#pragma once

#include <memory>

#include "main/windows/StickyChromeSurface.h"

namespace tovarin {

// Puts the GTK chrome surface on the sticky window's web view widget. The content must
// be a GtkWebView (the program makes no other kind). Main thread only.
class StickyGtkChromeSurfaceProvider final : public StickyChromeSurfaceProvider {
 public:
  std::shared_ptr<StickyChromeSurface> attach(Window& window, WebView& content) override;
};

}  // namespace tovarin
