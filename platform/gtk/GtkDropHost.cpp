#include "platform/gtk/GtkDropHost.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <gtk/gtk.h>

#include "base/CubicBezier.h"
#include "main/bridges/DropProtocol.h"
#include "platform/gtk/GtkAppWindow.h"
#include "platform/gtk/GtkWebView.h"
#include "tokens/TovarinColors.h"
#include "tokens/TovarinDimensions.h"

namespace tovarin {
namespace {

GtkTargetEntry uriTarget() {
  static char name[] = "text/uri-list";
  return GtkTargetEntry{name, 0, 0};
}

double monotonicSeconds() { return static_cast<double>(g_get_monotonic_time()) / 1e6; }

bool reduceMotion() {
  gboolean animations = TRUE;
  g_object_get(gtk_settings_get_default(), "gtk-enable-animations", &animations, nullptr);
  return !animations;
}

TovarinColorToken::Scheme scheme() {
  gboolean dark = FALSE;
  g_object_get(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", &dark, nullptr);
  return dark ? TovarinColorToken::Scheme::dark : TovarinColorToken::Scheme::light;
}

void setColor(cairo_t* cr, const TovarinColorToken& token, double alpha) {
  const auto& c = token.channels(scheme());
  cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a * alpha);
}

void roundedRectangle(cairo_t* cr, double x, double y, double width, double height, double radius) {
  radius = std::min({radius, width / 2, height / 2});
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + width - radius, y + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, x + radius, y + height - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

}  // namespace

std::shared_ptr<GtkDropHost> GtkDropHost::create(Window& window, WebView& webView) {
  auto* gtkWindow = dynamic_cast<GtkAppWindow*>(&window);
  auto* gtkView = dynamic_cast<GtkWebView*>(&webView);
  if (!gtkWindow || !gtkView) return nullptr;
  return std::make_shared<GtkDropHost>(gtkWindow->widget(), gtkView->widget());
}

GtkDropHost::GtkDropHost(GtkWidget* window, GtkWidget* webView) : window_(window), webView_(webView) {
  g_object_ref(window_);
  g_object_ref(webView_);
  GtkTargetEntry target = uriTarget();
  // No default behaviour: whether a drag is welcome depends on its files, which only
  // the data tells.
  gtk_drag_dest_set(window_, GtkDestDefaults(0), &target, 1, GDK_ACTION_COPY);
  handlers_.push_back(g_signal_connect(window_, "drag-motion", G_CALLBACK(onMotion), this));
  handlers_.push_back(g_signal_connect(window_, "drag-leave", G_CALLBACK(onLeave), this));
  handlers_.push_back(g_signal_connect(window_, "drag-drop", G_CALLBACK(onDrop), this));
  handlers_.push_back(g_signal_connect(window_, "drag-data-received", G_CALLBACK(onData), this));
  handlers_.push_back(g_signal_connect_after(window_, "draw", G_CALLBACK(onDraw), this));
}

GtkDropHost::~GtkDropHost() {
  if (fadeSource_) g_source_remove(fadeSource_);
  // The window may have been destroyed before this host, which took its handlers with it;
  // the reference held keeps the instance itself alive to ask.
  for (unsigned long handler : handlers_) {
    if (g_signal_handler_is_connected(window_, handler)) g_signal_handler_disconnect(window_, handler);
  }
  gtk_drag_dest_unset(window_);
  g_object_unref(webView_);
  g_object_unref(window_);
}

void GtkDropHost::takeFileDropsFromPage() { gtk_drag_dest_unset(webView_); }

std::vector<std::string> GtkDropHost::acceptableFiles(const std::string& uriList) {
  std::vector<std::string> files;
  gchar** uris = g_uri_list_extract_uris(uriList.c_str());
  for (gchar** uri = uris; uri && *uri; ++uri) {
    gchar* path = g_filename_from_uri(*uri, nullptr, nullptr);  // local files only
    if (path && DropProtocol::accepts(path)) files.emplace_back(path);
    g_free(path);
  }
  g_strfreev(uris);
  return files;
}

int GtkDropHost::onMotion(GtkWidget* widget, GdkDragContext* context, int, int, unsigned time, void* data) {
  auto* self = static_cast<GtkDropHost*>(data);
  GdkAtom target = gtk_drag_dest_find_target(widget, context, nullptr);
  if (target == GDK_NONE) {
    self->setActive(false);
    gdk_drag_status(context, GdkDragAction(0), time);
    return TRUE;
  }
  // The answer comes with the data.
  self->pending_ = Pending::motion;
  gtk_drag_get_data(widget, context, target, time);
  return TRUE;
}

void GtkDropHost::onLeave(GtkWidget*, GdkDragContext*, unsigned, void* data) {
  auto* self = static_cast<GtkDropHost*>(data);
  if (self->pending_ == Pending::motion) self->pending_ = Pending::none;
  self->setActive(false);
}

int GtkDropHost::onDrop(GtkWidget* widget, GdkDragContext* context, int, int, unsigned time, void* data) {
  auto* self = static_cast<GtkDropHost*>(data);
  GdkAtom target = gtk_drag_dest_find_target(widget, context, nullptr);
  if (target == GDK_NONE) return FALSE;
  self->pending_ = Pending::drop;
  gtk_drag_get_data(widget, context, target, time);
  return TRUE;
}

void GtkDropHost::onData(GtkWidget*, GdkDragContext* context, int, int, GtkSelectionData* selection, unsigned, unsigned time,
                         void* data) {
  auto* self = static_cast<GtkDropHost*>(data);
  const Pending pending = std::exchange(self->pending_, Pending::none);
  std::vector<std::string> files;
  if (selection && gtk_selection_data_get_length(selection) > 0) {
    const auto* bytes = reinterpret_cast<const char*>(gtk_selection_data_get_data(selection));
    files = acceptableFiles(std::string(bytes, static_cast<size_t>(gtk_selection_data_get_length(selection))));
  }
  if (pending == Pending::motion) {
    self->setActive(!files.empty());
    gdk_drag_status(context, files.empty() ? GdkDragAction(0) : GDK_ACTION_COPY, time);
  } else if (pending == Pending::drop) {
    self->setActive(false);
    gtk_drag_finish(context, !files.empty(), FALSE, time);
    if (!files.empty() && self->handler_) self->handler_(std::move(files));
  }
}

void GtkDropHost::setActive(bool active) {
  if (active == active_) return;
  active_ = active;
  if (reduceMotion()) {
    alpha_ = active ? 1 : 0;
    gtk_widget_queue_draw(window_);
    return;
  }
  fadeFrom_ = alpha_;
  fadeStart_ = monotonicSeconds();
  if (!fadeSource_) fadeSource_ = g_timeout_add(16, onFadeTick, this);
}

int GtkDropHost::onFadeTick(void* data) {
  auto* self = static_cast<GtkDropHost*>(data);
  static const CubicBezier curve(0.32, 0.72, 0, 1);
  const double progress = std::min(1.0, (monotonicSeconds() - self->fadeStart_) / TovarinMotion::fast);
  const double target = self->active_ ? 1.0 : 0.0;
  self->alpha_ = self->fadeFrom_ + (target - self->fadeFrom_) * curve.valueAt(progress);
  gtk_widget_queue_draw(self->window_);
  if (progress < 1.0) return G_SOURCE_CONTINUE;
  self->fadeSource_ = 0;
  return G_SOURCE_REMOVE;
}

int GtkDropHost::onDraw(GtkWidget*, cairo_t* cr, void* data) {
  auto* self = static_cast<GtkDropHost*>(data);
  if (self->alpha_ > 0) self->draw(cr);
  return FALSE;
}

void GtkDropHost::draw(cairo_t* cr) {
  const double width = gtk_widget_get_allocated_width(window_);
  const double height = gtk_widget_get_allocated_height(window_);
  const double inset = TovarinSpace::lg;
  cairo_save(cr);
  roundedRectangle(cr, inset, inset, width - 2 * inset, height - 2 * inset, TovarinRadius::lg);
  setColor(cr, TovarinAccent::soft, alpha_);
  cairo_fill_preserve(cr);
  setColor(cr, TovarinAccent::base, alpha_);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);

  PangoLayout* layout = gtk_widget_create_pango_layout(window_, DropProtocol::overlayText.data());
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_weight(font, PANGO_WEIGHT_MEDIUM);
  pango_font_description_set_absolute_size(font, TovarinType::small * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  int textWidth = 0, textHeight = 0;
  pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
  const double chipWidth = textWidth + 2 * TovarinSpace::lg;
  const double chipHeight = textHeight + 2 * TovarinSpace::sm;
  const double chipX = (width - chipWidth) / 2;
  const double chipY = (height - chipHeight) / 2;
  roundedRectangle(cr, chipX, chipY, chipWidth, chipHeight, TovarinRadius::base);
  setColor(cr, TovarinGround::surface, alpha_);
  cairo_fill_preserve(cr);
  setColor(cr, TovarinLine::border, alpha_);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  setColor(cr, TovarinAccent::ink, alpha_);
  cairo_move_to(cr, chipX + TovarinSpace::lg, chipY + TovarinSpace::sm);
  pango_cairo_show_layout(cr, layout);
  pango_font_description_free(font);
  g_object_unref(layout);
  cairo_restore(cr);
}

}  // namespace tovarin
