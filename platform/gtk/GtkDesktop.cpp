#include "platform/gtk/GtkDesktop.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cassert>

#include "base/Log.h"
#include "platform/gtk/DesktopCoordinates.h"
#include "platform/gtk/GtkAppWindow.h"

namespace tovarin {

GtkDesktop::GtkDesktop(MainLoop& loop) : loop_(loop) {}

std::shared_ptr<Window> GtkDesktop::makeWindow(WindowStyle style, Size contentSize) {
  assert(loop_.isMainThread());
  auto window = GtkAppWindow::create(loop_, style, contentSize);
  std::erase_if(windows_, [](const auto& weak) { return weak.expired(); });
  windows_.push_back(window);
  return window;
}

std::vector<Screen> GtkDesktop::screens() const {
  assert(loop_.isMainThread());
  return desktop_coordinates::currentScreens();
}

bool GtkDesktop::isBrowserAddress(const std::string& url) {
  g_autoptr(GUri) parsed = g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (!parsed) return false;
  const char* scheme = g_uri_get_scheme(parsed);
  const char* host = g_uri_get_host(parsed);
  const bool web = g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0;
  return web && host && *host;
}

void GtkDesktop::openInBrowser(const std::string& url) {
  assert(loop_.isMainThread());
  if (!isBrowserAddress(url)) {
    log("not opened in the browser (not an http or https address): " + url);
    return;
  }
  g_autoptr(GError) error = nullptr;
  if (!g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error)) {
    log("could not open " + url + " in the browser: " + (error ? error->message : "no handler"));
  }
}

void GtkDesktop::activateApplication() {
  assert(loop_.isMainThread());
  std::shared_ptr<GtkAppWindow> chosen;
  for (const auto& weak : windows_) {
    auto window = weak.lock();
    if (!window || !window->isVisible()) continue;
    if (!chosen || window->activationRank() > chosen->activationRank()) chosen = window;
  }
  if (chosen) gtk_window_present(GTK_WINDOW(chosen->widget()));
}

}  // namespace tovarin
