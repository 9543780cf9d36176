#include "widget/app/WidgetWindow.h"

#include <string>
#include <utility>

#include "base/Text.h"
#include "widget/TheTovarinWidget.h"
#include "widget/WidgetLayout.h"
#include "widget/app/WidgetPainter.h"

namespace tovarin {

WidgetWindow::WidgetWindow(WidgetFamily family, std::optional<TovarinColorToken::Scheme> scheme,
                           std::optional<std::pair<int, int>> position, Calendar device)
    : family_(family), fixedScheme_(scheme), device_(std::move(device)) {
  WidgetSize size = defaultSize(family);
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), TheTovarinWidget::displayName);
  gtk_window_set_role(GTK_WINDOW(window_), TheTovarinWidget::kind);
  gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(window_), static_cast<int>(size.width), static_cast<int>(size.height));
  gtk_window_set_keep_below(GTK_WINDOW(window_), TRUE);
  gtk_window_stick(GTK_WINDOW(window_));
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window_), TRUE);
  gtk_window_set_skip_pager_hint(GTK_WINDOW(window_), TRUE);
  gtk_window_set_accept_focus(GTK_WINDOW(window_), FALSE);
  if (position) gtk_window_move(GTK_WINDOW(window_), position->first, position->second);

  canvas_ = gtk_drawing_area_new();
  gtk_widget_set_size_request(canvas_, static_cast<int>(size.width), static_cast<int>(size.height));
  gtk_widget_add_events(canvas_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
  g_signal_connect(canvas_, "draw", G_CALLBACK(onDraw), this);
  g_signal_connect(canvas_, "button-release-event", G_CALLBACK(onButtonRelease), this);
  gtk_container_add(GTK_CONTAINER(window_), canvas_);
  g_signal_connect(window_, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

  GtkSettings* settings = gtk_settings_get_default();
  themeHandler_ = g_signal_connect(settings, "notify::gtk-theme-name", G_CALLBACK(onThemeChanged), this);
  darkHandler_ =
      g_signal_connect(settings, "notify::gtk-application-prefer-dark-theme", G_CALLBACK(onThemeChanged), this);
}

WidgetWindow::~WidgetWindow() {
  GtkSettings* settings = gtk_settings_get_default();
  if (settings && themeHandler_) g_signal_handler_disconnect(settings, themeHandler_);
  if (settings && darkHandler_) g_signal_handler_disconnect(settings, darkHandler_);
  if (window_) {
    g_signal_handlers_disconnect_by_func(window_, reinterpret_cast<gpointer>(gtk_main_quit), nullptr);
    gtk_widget_destroy(window_);
  }
}

void WidgetWindow::show(const CalendarEntry& entry) {
  entry_ = entry;
  gtk_widget_show_all(window_);
  gtk_widget_queue_draw(canvas_);
}

TovarinColorToken::Scheme WidgetWindow::scheme() const {
  if (fixedScheme_) return *fixedScheme_;
  gboolean preferDark = FALSE;
  gchar* theme = nullptr;
  g_object_get(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", &preferDark, "gtk-theme-name", &theme,
               nullptr);
  const std::string name = text::asciiLowercased(theme ? theme : "");
  g_free(theme);
  bool dark = preferDark || name.find("dark") != std::string::npos;
  return dark ? TovarinColorToken::Scheme::dark : TovarinColorToken::Scheme::light;
}

// Made anew for every drawing: the layout depends on the entry, the family and the
// appearance only, and costs little.
WidgetLayout WidgetWindow::layout() const {
  return WidgetLayout::make(*entry_, family_, defaultSize(family_), scheme(), device_);
}

gboolean WidgetWindow::onDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  auto* self = static_cast<WidgetWindow*>(data);
  if (!self->entry_) return FALSE;
  WidgetPainter::paint(cr, self->layout());
  if (auto firstFrame = std::exchange(self->firstFrame_, nullptr)) firstFrame();
  return TRUE;
}

gboolean WidgetWindow::onButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<WidgetWindow*>(data);
  if (!self->entry_ || event->button != GDK_BUTTON_PRIMARY) return FALSE;
  std::string url = self->layout().linkAt(event->x, event->y);
  GError* error = nullptr;
  // The application is the scheme's handler; the desktop starts it or hands it the URL.
  if (!g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error)) g_clear_error(&error);
  return TRUE;
}

void WidgetWindow::onThemeChanged(GObject*, GParamSpec*, gpointer data) {
  gtk_widget_queue_draw(static_cast<WidgetWindow*>(data)->canvas_);
}

}  // namespace tovarin
