#include "platform/gtk/AboutGtkDialog.h"

#include <gtk/gtk.h>

namespace tovarin {
namespace {

void onResponse(GtkDialog* dialog, gint, gpointer) { gtk_widget_hide(GTK_WIDGET(dialog)); }

}  // namespace

AboutGtkDialog::~AboutGtkDialog() {
  if (dialog_) {
    gtk_widget_destroy(dialog_);
    g_object_unref(dialog_);
  }
}

void AboutGtkDialog::show(const AboutInfo& info, const std::string& logoPath, GtkWindow* owner) {
  if (!dialog_) {
    dialog_ = gtk_about_dialog_new();
    g_object_ref_sink(dialog_);
    // Closing hides it; the next showing reuses it.
    g_signal_connect(dialog_, "response", G_CALLBACK(onResponse), nullptr);
    g_signal_connect(dialog_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
  }
  GtkAboutDialog* about = GTK_ABOUT_DIALOG(dialog_);
  gtk_about_dialog_set_program_name(about, info.name.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog_), ("关于 " + info.name).c_str());
  gtk_about_dialog_set_version(about, info.version.c_str());
  gtk_about_dialog_set_comments(about, info.credits.c_str());
  if (!logoPath.empty()) {
    g_autoptr(GdkPixbuf) logo = gdk_pixbuf_new_from_file_at_size(logoPath.c_str(), 64, 64, nullptr);
    if (logo) gtk_about_dialog_set_logo(about, logo);
  }
  gtk_window_set_transient_for(GTK_WINDOW(dialog_), owner);
  gtk_window_present(GTK_WINDOW(dialog_));
}

}  // namespace tovarin
