#pragma once

#include <gtk/gtk.h>

#include <vector>

namespace tovarin {

// The toolkit's top-level windows of `type` (or a subtype) that are shown now, in the
// toolkit's order; what a test looks for after a page asked for a dialog or a chooser.
template <typename Type = GtkWidget>
std::vector<Type*> visibleToplevels(GType type) {
  std::vector<Type*> found;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item; item = item->next) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(item->data, type) && gtk_widget_get_visible(GTK_WIDGET(item->data))) {
      found.push_back(static_cast<Type*>(item->data));
    }
  }
  g_list_free(toplevels);
  return found;
}

}  // namespace tovarin
