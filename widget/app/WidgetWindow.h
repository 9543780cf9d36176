#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <utility>

#include "base/Calendar.h"
#include "widget/CalendarEntry.h"
#include "widget/WidgetLayout.h"
#include "widget/WidgetFamily.h"

namespace tovarin {

// The widget's own host window: undecorated, below other windows, on every workspace,
// out of the task bar and pager. Draws the current entry at its family's size and
// opens the link under a click through the desktop. Main thread only.
class WidgetWindow final {
 public:
  WidgetWindow(WidgetFamily family, std::optional<TovarinColorToken::Scheme> scheme,
               std::optional<std::pair<int, int>> position, Calendar device);
  ~WidgetWindow();
  WidgetWindow(const WidgetWindow&) = delete;
  WidgetWindow& operator=(const WidgetWindow&) = delete;

  void show(const CalendarEntry& entry);
  // Called once, after the first picture of an entry is drawn (for start-up timing).
  void onFirstFrame(std::function<void()> callback) { firstFrame_ = std::move(callback); }

 private:
  static gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static gboolean onButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static void onThemeChanged(GObject* settings, GParamSpec* property, gpointer self);

  [[nodiscard]] TovarinColorToken::Scheme scheme() const;
  [[nodiscard]] WidgetLayout layout() const;

  WidgetFamily family_;
  std::optional<TovarinColorToken::Scheme> fixedScheme_;
  Calendar device_;
  std::optional<CalendarEntry> entry_;
  GtkWidget* window_ = nullptr;
  GtkWidget* canvas_ = nullptr;
  gulong themeHandler_ = 0;
  gulong darkHandler_ = 0;
  std::function<void()> firstFrame_;
};

}  // namespace tovarin
