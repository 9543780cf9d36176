#include "platform/gtk/GtkAppWindow.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/Log.h"
#include "platform/gtk/DesktopCoordinates.h"
#include "platform/gtk/GtkWebView.h"

namespace tovarin {

namespace {

namespace coordinates = desktop_coordinates;

struct HandlerData {
  std::weak_ptr<GtkAppWindow> window;
};

std::shared_ptr<GtkAppWindow> lockWindow(gpointer data) { return static_cast<HandlerData*>(data)->window.lock(); }

void freeHandlerData(gpointer data, GClosure*) { delete static_cast<HandlerData*>(data); }

gboolean deleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
  if (auto self = lockWindow(data)) self->onDeleteRequested();
  return TRUE;  // never destroyed by the user
}

gboolean configureEvent(GtkWidget*, GdkEventConfigure*, gpointer data) {
  if (auto self = lockWindow(data)) self->onConfigured();
  return FALSE;
}

void screensChanged(GdkScreen*, gpointer data) {
  if (auto self = lockWindow(data)) self->onScreensChanged();
}

gboolean focusIn(GtkWidget*, GdkEventFocus*, gpointer data) {
  if (auto self = lockWindow(data)) self->onActivated();
  return FALSE;
}

// A window made while the application runs belongs to it: the application's
// accelerators reach it, and the titled window shows the application's menubar.
GtkWidget* newToplevel(WindowStyle style) {
  GApplication* application = g_application_get_default();
  if (!application || !GTK_IS_APPLICATION(application)) return gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* window = gtk_application_window_new(GTK_APPLICATION(application));
  gtk_application_window_set_show_menubar(GTK_APPLICATION_WINDOW(window), style == WindowStyle::titled);
  return window;
}

constexpr const char* wmOpacityKey = "tovarin-wm-opacity";
constexpr const char* wmOpacityHookKey = "tovarin-wm-opacity-hook";

void applyWmOpacity(GtkWidget* widget, gpointer) {
  auto* wanted = static_cast<double*>(g_object_get_data(G_OBJECT(widget), wmOpacityKey));
  GdkWindow* window = gtk_widget_get_window(widget);
  if (wanted && window) gdk_window_set_opacity(window, *wanted);
}

// How long the window manager may take to put a window shown again back in its frame;
// only then is a place it chose otherwise taken as the window's.
constexpr double placementSeconds = 5;

// X keeps window sizes within 16 bits: the largest size a hint can name.
constexpr int largestHintPixels = 32767;

// A size limit in whole pixels for the geometry hints; `fallback` stands for a limit
// that is not a number or is infinite.
int hintPixels(double value, int fallback) {
  if (!std::isfinite(value)) return fallback;
  return std::clamp(static_cast<int>(std::lround(std::min(value, double(largestHintPixels)))), 1, largestHintPixels);
}

double limited(double value, double lowest, double highest) { return std::max(std::min(value, highest), lowest); }

// Windows presented or activated, counted: the rank of the latest. Main thread only.
std::uint64_t latestActivationRank = 0;

int channel(double value) { return static_cast<int>(std::lround(std::clamp(std::isfinite(value) ? value : 0, 0.0, 1.0) * 255)); }

}  // namespace

std::shared_ptr<GtkAppWindow> GtkAppWindow::create(MainLoop& loop, WindowStyle style, Size contentSize) {
  std::shared_ptr<GtkAppWindow> made(new GtkAppWindow(loop, style, contentSize));
  made->connectSignals();
  return made;
}

GtkAppWindow::GtkAppWindow(MainLoop& loop, WindowStyle style, Size contentSize)
    : loop_(loop), style_(style), window_(GTK_WIDGET(g_object_ref(newToplevel(style)))) {
  assert(loop_.isMainThread());
  GtkWindow* window = GTK_WINDOW(window_);
  const int width = std::max(1, static_cast<int>(std::lround(std::isfinite(contentSize.width) ? contentSize.width : 1)));
  const int height = std::max(1, static_cast<int>(std::lround(std::isfinite(contentSize.height) ? contentSize.height : 1)));
  gtk_window_set_default_size(window, width, height);
  gtk_window_set_focus_on_map(window, FALSE);
  if (style_ == WindowStyle::borderless) {
    gtk_window_set_decorated(window, FALSE);
    // Lets a page with a transparent background show the desktop through it, where a
    // compositor runs.
    if (GdkVisual* visual = gdk_screen_get_rgba_visual(gtk_widget_get_screen(window_))) {
      gtk_widget_set_visual(window_, visual);
      gtk_widget_set_app_paintable(window_, TRUE);
    }
  }
  frame_ = coordinates::toDesktop({0, 0, width, height}, coordinates::primaryGeometry());
  reportedFrame_ = frame_;
}

GtkAppWindow::~GtkAppWindow() {
  assert(loop_.isMainThread());
  for (auto& [instance, id] : signalHandlers_) g_signal_handler_disconnect(instance, id);
  // The web view leaves first: it is its own object and outlives this window's widget.
  if (GtkWidget* child = gtk_bin_get_child(GTK_BIN(window_))) gtk_container_remove(GTK_CONTAINER(window_), child);
  content_.reset();
  gtk_widget_destroy(window_);
  g_object_unref(window_);
  if (background_) g_object_unref(background_);
}

void GtkAppWindow::connectSignals() {
  auto connect = [this](gpointer instance, const char* signal, GCallback callback) {
    const gulong id = g_signal_connect_data(instance, signal, callback, new HandlerData{weak_from_this()},
                                            freeHandlerData, GConnectFlags(0));
    signalHandlers_.emplace_back(instance, id);
  };
  connect(window_, "delete-event", G_CALLBACK(deleteEvent));
  connect(window_, "configure-event", G_CALLBACK(configureEvent));
  connect(window_, "focus-in-event", G_CALLBACK(focusIn));
  GdkScreen* screen = gtk_widget_get_screen(window_);
  connect(screen, "monitors-changed", G_CALLBACK(screensChanged));
  connect(screen, "size-changed", G_CALLBACK(screensChanged));
}

void GtkAppWindow::setClient(std::weak_ptr<WindowClient> client) {
  assert(loop_.isMainThread());
  client_ = std::move(client);
}

void GtkAppWindow::setContent(std::shared_ptr<WebView> webView) {
  assert(loop_.isMainThread());
  auto* gtkView = dynamic_cast<GtkWebView*>(webView.get());
  if (webView && !gtkView) {
    log("a window can only hold a web view made by its own provider");
    return;
  }
  if (GtkWidget* child = gtk_bin_get_child(GTK_BIN(window_))) gtk_container_remove(GTK_CONTAINER(window_), child);
  content_ = std::move(webView);
  if (gtkView) {
    gtk_container_add(GTK_CONTAINER(window_), gtkView->widget());
    gtk_widget_show(gtkView->widget());
  }
}

void GtkAppWindow::setTitle(const std::string& title) {
  assert(loop_.isMainThread());
  gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
}

Rect GtkAppWindow::frame() const {
  assert(loop_.isMainThread());
  return frame_;
}

void GtkAppWindow::setFrame(const Rect& frame) {
  assert(loop_.isMainThread());
  Rect wanted = frame;
  wanted.width = limited(wanted.width, minimumSize_.width, maximumSize_.width);
  wanted.height = limited(wanted.height, minimumSize_.height, maximumSize_.height);
  moveAndResize(wanted);
}

void GtkAppWindow::moveAndResize(const Rect& frame) {
  const auto placed = coordinates::toPixels(frame, coordinates::primaryGeometry());
  frame_ = coordinates::toDesktop(placed, coordinates::primaryGeometry());
  gtk_window_move(GTK_WINDOW(window_), placed.x, placed.y);
  gtk_window_resize(GTK_WINDOW(window_), std::max(1, placed.width), std::max(1, placed.height));
}

void GtkAppWindow::center() {
  assert(loop_.isMainThread());
  const auto screens = coordinates::currentScreens();
  if (screens.empty()) return;
  const Rect& visible = screens.front().visibleFrame;
  Rect centred = frame_;
  centred.x = std::floor(visible.x + (visible.width - centred.width) / 2);
  centred.y = std::floor(visible.y + (visible.height - centred.height) / 2);
  setFrame(centred);
}

void GtkAppWindow::setMinimumSize(Size size) {
  assert(loop_.isMainThread());
  minimumSize_ = {double(hintPixels(size.width, 1)), double(hintPixels(size.height, 1))};
  applySizeLimits();
}

void GtkAppWindow::setMaximumSize(Size size) {
  assert(loop_.isMainThread());
  auto limit = [](double value) {
    return std::isfinite(value) ? double(hintPixels(value, largestHintPixels)) : std::numeric_limits<double>::infinity();
  };
  maximumSize_ = {limit(size.width), limit(size.height)};
  applySizeLimits();
}

// One call carries both limits: each call replaces all the hints GTK had before.
void GtkAppWindow::applySizeLimits() {
  GdkGeometry geometry{};
  geometry.min_width = hintPixels(minimumSize_.width, 1);
  geometry.min_height = hintPixels(minimumSize_.height, 1);
  auto hints = GDK_HINT_MIN_SIZE;
  if (maximumSize_ != unlimitedSize) {
    // The minimum wins where the two disagree, as it does in frame().
    geometry.max_width = std::max(geometry.min_width, hintPixels(maximumSize_.width, largestHintPixels));
    geometry.max_height = std::max(geometry.min_height, hintPixels(maximumSize_.height, largestHintPixels));
    hints = GdkWindowHints(hints | GDK_HINT_MAX_SIZE);
  }
  gtk_window_set_geometry_hints(GTK_WINDOW(window_), nullptr, &geometry, hints);
}

void GtkAppWindow::setBackgroundColor(Rgba color) {
  assert(loop_.isMainThread());
  if (!background_) {
    background_ = gtk_css_provider_new();
    gtk_style_context_add_provider(gtk_widget_get_style_context(window_), GTK_STYLE_PROVIDER(background_),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  }
  const double alpha = std::clamp(std::isfinite(color.alpha) ? color.alpha : 1.0, 0.0, 1.0);
  char css[160];
  std::snprintf(css, sizeof css, "window { background-color: rgba(%d, %d, %d, %.3f); background-image: none; }",
                channel(color.red), channel(color.green), channel(color.blue), alpha);
  gtk_css_provider_load_from_data(background_, css, -1, nullptr);
}

void GtkAppWindow::show() {
  assert(loop_.isMainThread());
  returnToFrameIfHidden();
  gtk_window_set_focus_on_map(GTK_WINDOW(window_), TRUE);
  gtk_widget_show_all(window_);
  shownBefore_ = true;
  gtk_window_present(GTK_WINDOW(window_));
  // Its focus comes back from the window manager only later: until then, activating
  // the program must not bring a window focused before this one over it.
  markActivated();
}

void GtkAppWindow::orderFrontQuietly() {
  assert(loop_.isMainThread());
  if (!gtk_widget_get_visible(window_)) {
    returnToFrameIfHidden();
    gtk_window_set_focus_on_map(GTK_WINDOW(window_), FALSE);
    gtk_widget_show_all(window_);
    shownBefore_ = true;
    return;
  }
  if (GdkWindow* surface = gtk_widget_get_window(window_)) gdk_window_raise(surface);
}

// GTK forgets where a window was once it is unmapped, and the window manager would
// place it as a new window: a window shown again goes back to its last frame.
// Taking the window back, the window manager may report it on the way, e.g. inside a
// frame it has not yet undecorated; such a place counts only if the window stays there.
void GtkAppWindow::returnToFrameIfHidden() {
  if (!shownBefore_ || gtk_widget_get_visible(window_)) return;
  moveAndResize(frame_);
  placement_ = loop_.postAfter(placementSeconds, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->endPlacement();
  });
}

void GtkAppWindow::endPlacement() {
  assert(loop_.isMainThread());
  placement_.cancel();
  onConfigured();
}

void GtkAppWindow::hide() {
  assert(loop_.isMainThread());
  placement_.cancel();
  gtk_widget_hide(window_);
}

bool GtkAppWindow::isVisible() const { return gtk_widget_get_visible(window_); }

void GtkAppWindow::setStacking(WindowStacking stacking) {
  assert(loop_.isMainThread());
  GtkWindow* window = GTK_WINDOW(window_);
  gtk_window_set_keep_above(window, stacking == WindowStacking::above);
  gtk_window_set_keep_below(window, stacking == WindowStacking::below);
}

void GtkAppWindow::setOnAllWorkspaces(bool all) {
  assert(loop_.isMainThread());
  if (all) {
    gtk_window_stick(GTK_WINDOW(window_));
  } else {
    gtk_window_unstick(GTK_WINDOW(window_));
  }
}

void GtkAppWindow::setOpacity(double opacity) {
  assert(loop_.isMainThread());
  // The window manager's opacity (_NET_WM_WINDOW_OPACITY), which takes effect only where
  // a compositor runs. GTK sets it only for a realized window without an alpha channel,
  // so it goes on the GDK window itself, now and again whenever the window is realized.
  auto* wanted = new double(std::clamp(std::isfinite(opacity) ? opacity : 1.0, 0.0, 1.0));
  g_object_set_data_full(G_OBJECT(window_), wmOpacityKey, wanted, [](gpointer value) { delete static_cast<double*>(value); });
  if (!g_object_get_data(G_OBJECT(window_), wmOpacityHookKey)) {
    g_object_set_data(G_OBJECT(window_), wmOpacityHookKey, GINT_TO_POINTER(1));
    g_signal_connect(window_, "realize", G_CALLBACK(applyWmOpacity), nullptr);
  }
  applyWmOpacity(window_, nullptr);
}

void GtkAppWindow::beginMoveDrag() {
  assert(loop_.isMainThread());
  if (!gtk_widget_get_visible(window_)) return;
  guint button = 1;
  double rootX = 0;
  double rootY = 0;
  guint32 time = GDK_CURRENT_TIME;
  if (GdkEvent* event = gtk_get_current_event()) {
    gdk_event_get_button(event, &button);
    gdk_event_get_root_coords(event, &rootX, &rootY);
    time = gdk_event_get_time(event);
    gdk_event_free(event);
  } else {
    // Asked from a page message, not from a toolkit event: take the pointer as it is.
    GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(window_));
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (!pointer) return;
    int x = 0;
    int y = 0;
    gdk_device_get_position(pointer, nullptr, &x, &y);
    rootX = x;
    rootY = y;
  }
  gtk_window_begin_move_drag(GTK_WINDOW(window_), static_cast<gint>(button), static_cast<gint>(rootX),
                             static_cast<gint>(rootY), time);
}

bool GtkAppWindow::onDeleteRequested() {
  assert(loop_.isMainThread());
  auto c = client();
  const bool mayClose = c ? c->windowShouldClose() : true;
  if (mayClose) gtk_widget_hide(window_);
  return mayClose;
}

void GtkAppWindow::onConfigured() {
  assert(loop_.isMainThread());
  // A hidden window does not move: what the window manager does as it lets go of it
  // is no frame of this window's.
  if (!gtk_widget_get_visible(window_)) return;
  const Rect now = currentFrame();
  if (placement_.isArmed()) {
    if (now != frame_) return;
    placement_.cancel();
  }
  frame_ = now;
  if (frame_ == reportedFrame_) return;
  reportedFrame_ = frame_;
  if (auto c = client()) c->windowDidMoveOrResize(frame_);
}

Rect GtkAppWindow::currentFrame() const {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  gtk_window_get_position(GTK_WINDOW(window_), &x, &y);
  gtk_window_get_size(GTK_WINDOW(window_), &width, &height);
  return coordinates::toDesktop({x, y, width, height}, coordinates::primaryGeometry());
}

void GtkAppWindow::onScreensChanged() {
  assert(loop_.isMainThread());
  if (auto c = client()) c->windowScreensDidChange();
}

void GtkAppWindow::onActivated() { markActivated(); }

void GtkAppWindow::markActivated() { activationRank_ = ++latestActivationRank; }

}  // namespace tovarin
