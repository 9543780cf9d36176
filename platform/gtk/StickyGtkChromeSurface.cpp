#include "platform/gtk/StickyGtkChromeSurface.h"

#include <gtk/gtk.h>

#include "base/CubicBezier.h"
#include "tokens/TovarinDimensions.h"

namespace tovarin {
namespace {

using Weak = std::weak_ptr<StickyGtkChromeSurface>;

void deleteWeak(gpointer data, GClosure*) { delete static_cast<Weak*>(data); }

std::shared_ptr<StickyGtkChromeSurface> lock(gpointer data) { return static_cast<Weak*>(data)->lock(); }

void enterCallback(GtkEventControllerMotion*, double x, double y, gpointer data) {
  if (auto self = lock(data)) self->onEnter(x, y);
}
void leaveCallback(GtkEventControllerMotion*, gpointer data) {
  if (auto self = lock(data)) self->onLeave();
}
void motionCallback(GtkEventControllerMotion*, double x, double y, gpointer data) {
  if (auto self = lock(data)) self->onMotion(x, y);
}
void pressedCallback(GtkGestureMultiPress*, int pressCount, double x, double y, gpointer data) {
  if (auto self = lock(data)) self->onPressed(pressCount, x, y);
}
void releasedCallback(GtkGestureMultiPress*, int, double x, double y, gpointer data) {
  if (auto self = lock(data)) self->onReleased(x, y);
}
void cancelCallback(GtkGesture*, GdkEventSequence*, gpointer data) {
  if (auto self = lock(data)) self->onCancelled();
}
gboolean ringTickCallback(GtkWidget*, GdkFrameClock* clock, gpointer data) {
  // Removed in the surface's destructor, so the surface is alive here.
  auto* self = static_cast<StickyGtkChromeSurface*>(data);
  return self->onTick(gdk_frame_clock_get_frame_time(clock)) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}
bool animationsEnabled(GtkWidget* widget) {
  gboolean enabled = TRUE;
  g_object_get(gtk_widget_get_settings(widget), "gtk-enable-animations", &enabled, nullptr);
  return enabled;
}
gboolean drawCallback(GtkWidget*, cairo_t* cairo, gpointer data) {
  if (auto self = lock(data)) self->onDraw(cairo);
  return FALSE;
}

const char* cursorName(StickyCursor cursor) {
  switch (cursor) {
    case StickyCursor::arrow: return "default";
    case StickyCursor::resizeTop: return "n-resize";
    case StickyCursor::resizeBottom: return "s-resize";
    case StickyCursor::resizeLeft: return "w-resize";
    case StickyCursor::resizeRight: return "e-resize";
    case StickyCursor::resizeTopLeft: return "nw-resize";
    case StickyCursor::resizeTopRight: return "ne-resize";
    case StickyCursor::resizeBottomLeft: return "sw-resize";
    case StickyCursor::resizeBottomRight: return "se-resize";
    case StickyCursor::openHand: return "grab";
    case StickyCursor::closedHand: return "grabbing";
  }
  return "default";
}

GdkDevice* pointerDevice(GtkWidget* widget) {
  GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(widget));
  return seat ? gdk_seat_get_pointer(seat) : nullptr;
}

}  // namespace

std::shared_ptr<StickyGtkChromeSurface> StickyGtkChromeSurface::create(GtkWidget* content) {
  std::shared_ptr<StickyGtkChromeSurface> surface(new StickyGtkChromeSurface(content));
  surface->connect();
  return surface;
}

StickyGtkChromeSurface::StickyGtkChromeSurface(GtkWidget* content)
    : content_(GTK_WIDGET(g_object_ref(content))), ringAlpha_(TovarinRing::restAlpha) {}

StickyGtkChromeSurface::~StickyGtkChromeSurface() {
  if (ringTick_) gtk_widget_remove_tick_callback(content_, ringTick_);
  for (auto [instance, id] : signalHandlers_) g_signal_handler_disconnect(instance, id);
  if (press_) g_object_unref(press_);
  if (motion_) g_object_unref(motion_);
  for (auto& [kind, cursor] : cursors_) g_object_unref(cursor);
  g_object_unref(content_);
}

void StickyGtkChromeSurface::connect() {
  gtk_widget_add_events(content_, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                      GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK);
  press_ = gtk_gesture_multi_press_new(content_);
  gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(press_), GDK_BUTTON_PRIMARY);
  gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(press_), GTK_PHASE_CAPTURE);
  motion_ = gtk_event_controller_motion_new(content_);
  gtk_event_controller_set_propagation_phase(motion_, GTK_PHASE_CAPTURE);

  auto add = [this](gpointer instance, const char* signal, GCallback callback, GConnectFlags flags) {
    const gulong id = g_signal_connect_data(instance, signal, callback, new Weak(weak_from_this()), deleteWeak, flags);
    signalHandlers_.emplace_back(instance, id);
  };
  add(motion_, "enter", G_CALLBACK(enterCallback), GConnectFlags(0));
  add(motion_, "leave", G_CALLBACK(leaveCallback), GConnectFlags(0));
  add(motion_, "motion", G_CALLBACK(motionCallback), GConnectFlags(0));
  add(press_, "pressed", G_CALLBACK(pressedCallback), GConnectFlags(0));
  add(press_, "released", G_CALLBACK(releasedCallback), GConnectFlags(0));
  add(press_, "cancel", G_CALLBACK(cancelCallback), GConnectFlags(0));
  add(content_, "draw", G_CALLBACK(drawCallback), G_CONNECT_AFTER);
}

GtkWidget* StickyGtkChromeSurface::toplevel() const {
  GtkWidget* top = gtk_widget_get_toplevel(content_);
  return gtk_widget_is_toplevel(top) ? top : content_;
}

StickyPointerEvent StickyGtkChromeSurface::eventAt(double x, double y) const {
  GtkWidget* top = toplevel();
  int windowX = static_cast<int>(x);
  int windowY = static_cast<int>(y);
  gtk_widget_translate_coordinates(content_, top, windowX, windowY, &windowX, &windowY);
  const double fractionX = x - static_cast<int>(x);
  const double fractionY = y - static_cast<int>(y);
  StickyPointerEvent event;
  event.location = {windowX + fractionX, gtk_widget_get_allocated_height(top) - (windowY + fractionY)};

  // Only differences of desktop points matter to a resize, so any fixed flip of the
  // y axis serves; the primary monitor's bottom edge is the one the window frames use.
  double rootX = 0;
  double rootY = 0;
  GdkModifierType state = GdkModifierType(0);
  if (GdkEvent* current = gtk_get_current_event()) {
    gdk_event_get_root_coords(current, &rootX, &rootY);
    gdk_event_get_state(current, &state);
    gdk_event_free(current);
  }
  GdkDisplay* display = gtk_widget_get_display(content_);
  GdkMonitor* primary = gdk_display_get_primary_monitor(display);
  if (!primary) primary = gdk_display_get_monitor(display, 0);
  GdkRectangle area{0, 0, 0, 0};
  if (primary) gdk_monitor_get_geometry(primary, &area);
  event.screenLocation = {rootX, area.y + area.height - rootY};
  event.primaryButtonDown = (state & GDK_BUTTON1_MASK) != 0;
  return event;
}

void StickyGtkChromeSurface::onEnter(double x, double y) {
  if (auto c = client()) c->pointerEntered(eventAt(x, y));
}

void StickyGtkChromeSurface::onLeave() {
  if (auto c = client()) c->pointerExited();
}

void StickyGtkChromeSurface::onMotion(double x, double y) {
  if (auto c = client()) c->pointerMoved(eventAt(x, y));
}

void StickyGtkChromeSurface::onPressed(int pressCount, double x, double y) {
  auto c = client();
  StickyPressOutcome outcome = StickyPressOutcome::toPage;
  if (c) {
    const StickyPointerEvent event = eventAt(x, y);
    GdkModifierType state = GdkModifierType(0);
    gtk_get_current_event_state(&state);
    outcome = c->pointerPressed({event.location, event.screenLocation, pressCount, (state & GDK_MOD1_MASK) != 0});
  }
  pressClaimed_ = outcome == StickyPressOutcome::handled;
  // A claimed press and the whole drag that follows stay away from the page.
  gtk_gesture_set_state(press_, pressClaimed_ ? GTK_EVENT_SEQUENCE_CLAIMED : GTK_EVENT_SEQUENCE_DENIED);
}

void StickyGtkChromeSurface::onReleased(double x, double y) {
  if (!pressClaimed_) return;
  pressClaimed_ = false;
  if (auto c = client()) {
    StickyPointerEvent event = eventAt(x, y);
    event.primaryButtonDown = false;
    c->pointerReleased(event);
  }
}

// The toolkit gave the press up (another program grabbed the pointer).
void StickyGtkChromeSurface::onCancelled() {
  if (!pressClaimed_) return;
  pressClaimed_ = false;
  if (auto c = client()) c->pointerCancelled();
}

GdkCursor* StickyGtkChromeSurface::cursorObject(StickyCursor cursor) {
  auto found = cursors_.find(cursor);
  if (found != cursors_.end()) return found->second;
  GdkDisplay* display = gtk_widget_get_display(content_);
  GdkCursor* made = gdk_cursor_new_from_name(display, cursorName(cursor));
  if (!made) made = gdk_cursor_new_from_name(display, "default");
  if (made) cursors_.emplace(cursor, made);
  return made;
}

void StickyGtkChromeSurface::setCursor(StickyCursor cursor) {
  cursor_ = cursor;
  GdkWindow* window = gtk_widget_get_window(content_);
  if (!window) return;
  gdk_window_set_cursor(window, cursorObject(cursor));
}

bool StickyGtkChromeSurface::primaryButtonDown() const {
  GdkDevice* device = pointerDevice(content_);
  GdkWindow* window = gtk_widget_get_window(toplevel());
  if (!device || !window) return false;
  GdkModifierType mask = GdkModifierType(0);
  gdk_device_get_state(device, window, nullptr, &mask);
  return (mask & GDK_BUTTON1_MASK) != 0;
}

std::optional<StickyPoint> StickyGtkChromeSurface::pointerLocation() const {
  GtkWidget* top = toplevel();
  GdkDevice* device = pointerDevice(content_);
  GdkWindow* window = gtk_widget_get_window(top);
  if (!device || !window) return std::nullopt;
  int x = 0;
  int y = 0;
  gdk_window_get_device_position(window, device, &x, &y, nullptr);
  const int width = gtk_widget_get_allocated_width(top);
  const int height = gtk_widget_get_allocated_height(top);
  if (x < 0 || y < 0 || x >= width || y >= height) return std::nullopt;
  return StickyPoint{static_cast<double>(x), static_cast<double>(height - y)};
}

bool StickyGtkChromeSurface::isActive() const {
  GtkWidget* top = toplevel();
  return GTK_IS_WINDOW(top) && gtk_window_is_active(GTK_WINDOW(top));
}

// The ring eases to its new alpha over the pages' fast duration and curve, or changes
// at once when the desktop turns animations off (its reduce-motion setting).
void StickyGtkChromeSurface::setRingEmphasized(bool emphasized) {
  if (ringEmphasized_ == emphasized) return;
  ringEmphasized_ = emphasized;
  ringTo_ = emphasized ? TovarinRing::hoverAlpha : TovarinRing::restAlpha;
  if (!animationsEnabled(content_) || !gtk_widget_get_mapped(content_)) {
    if (ringTick_) gtk_widget_remove_tick_callback(content_, ringTick_);
    ringTick_ = 0;
    ringAlpha_ = ringTo_;
  } else {
    ringFrom_ = ringAlpha_;
    ringStart_ = -1;
    if (!ringTick_) ringTick_ = gtk_widget_add_tick_callback(content_, ringTickCallback, this, nullptr);
  }
  gtk_widget_queue_draw(content_);
}

bool StickyGtkChromeSurface::onTick(long long frameTime) {
  if (ringStart_ < 0) ringStart_ = frameTime;
  static const CubicBezier curve(0.32, 0.72, 0, 1);
  const double progress = static_cast<double>(frameTime - ringStart_) / (TovarinMotion::fast * 1e6);
  ringAlpha_ = ringFrom_ + (ringTo_ - ringFrom_) * curve.valueAt(progress);
  gtk_widget_queue_draw(content_);
  if (progress < 1) return true;
  ringTick_ = 0;
  return false;
}

// A hairline of the theme's border colour along the window's edge, stronger while the
// pointer is inside.
void StickyGtkChromeSurface::onDraw(void* context) {
  auto* cairo = static_cast<cairo_t*>(context);
  const double width = gtk_widget_get_allocated_width(content_);
  const double height = gtk_widget_get_allocated_height(content_);
  GdkRGBA border{0.5, 0.5, 0.5, 1};
  if (!gtk_style_context_lookup_color(gtk_widget_get_style_context(content_), "borders", &border)) {
    border = GdkRGBA{0.5, 0.5, 0.5, 1};
  }
  cairo_save(cairo);
  cairo_set_source_rgba(cairo, border.red, border.green, border.blue, ringAlpha_);
  cairo_set_line_width(cairo, 1.0);  // the hairline of a high-density screen is one pixel here
  cairo_rectangle(cairo, 0.5, 0.5, width - 1, height - 1);
  cairo_stroke(cairo);
  cairo_restore(cairo);
}

}  // namespace tovarin
