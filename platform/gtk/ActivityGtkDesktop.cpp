#include "platform/gtk/ActivityGtkDesktop.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cassert>

#include "main/activity_ui/ActivityAppRows.h"
#include "main/activity_ui/ActivityController.h"
#include "platform/gtk/ActivitySettingsGtkWindow.h"

namespace tovarin {
namespace {

constexpr const char* kIdKey = "tovarin-app-id";
constexpr const char* kNameKey = "tovarin-app-name";

// A modal list of the installed applications, each with a check box; none when
// cancelled. Sorted as people sort names.
std::optional<std::vector<ActivityUiDesktop::ChosenApp>> runChooser(const DesktopEntryIndex& index) {
  std::vector<std::pair<std::string, std::string>> apps;  // id, name
  for (const auto& [id, entry] : index.entries()) apps.emplace_back(id, entry.name.empty() ? id : entry.name);
  std::sort(apps.begin(), apps.end(),
            [](const auto& left, const auto& right) { return ActivityAppRows::compareNames(left.second, right.second) < 0; });
  GtkWidget* dialog = gtk_dialog_new_with_buttons("添加 App", nullptr, GTK_DIALOG_MODAL, "取消", GTK_RESPONSE_CANCEL,
                                                  "添加", GTK_RESPONSE_OK, nullptr);
  gtk_window_set_default_size(GTK_WINDOW(dialog), 420, 520);
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_widget_set_vexpand(scroller, TRUE);
  GtkWidget* list = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  for (const auto& [id, name] : apps) {
    GtkWidget* check = gtk_check_button_new_with_label(name.c_str());
    g_object_set_data_full(G_OBJECT(check), kIdKey, g_strdup(id.c_str()), g_free);
    g_object_set_data_full(G_OBJECT(check), kNameKey, g_strdup(name.c_str()), g_free);
    gtk_box_pack_start(GTK_BOX(list), check, FALSE, FALSE, 0);
  }
  gtk_container_add(GTK_CONTAINER(scroller), list);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), scroller, TRUE, TRUE, 0);
  gtk_widget_show_all(dialog);
  const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  std::optional<std::vector<ActivityUiDesktop::ChosenApp>> chosen;
  if (response == GTK_RESPONSE_OK) {
    chosen.emplace();
    GList* children = gtk_container_get_children(GTK_CONTAINER(list));
    for (GList* each = children; each; each = each->next) {
      GtkWidget* check = GTK_WIDGET(each->data);
      if (!gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check))) continue;
      const auto* id = static_cast<const char*>(g_object_get_data(G_OBJECT(check), kIdKey));
      const auto* name = static_cast<const char*>(g_object_get_data(G_OBJECT(check), kNameKey));
      chosen->push_back({std::string(id), std::string(name)});
    }
    g_list_free(children);
  }
  gtk_widget_destroy(dialog);
  return chosen;
}

}  // namespace

ActivityGtkDesktop::ActivityGtkDesktop(MainLoop& loop, std::shared_ptr<DesktopEntryIndex> entries)
    : loop_(loop), entries_(std::move(entries)) {}

ActivityGtkDesktop::~ActivityGtkDesktop() = default;

void ActivityGtkDesktop::chooseApplications(
    std::function<void(std::optional<std::vector<ChosenApp>>)> completion) {
  assert(loop_.isMainThread());
  entries_->reload();
  completion(runChooser(*entries_));
}

void ActivityGtkDesktop::showSettingsWindow(std::function<void()> onClosed) {
  assert(loop_.isMainThread());
  if (!window_) window_ = std::make_unique<ActivitySettingsGtkWindow>(loop_, controller_);
  window_->present(std::move(onClosed));
}

}  // namespace tovarin
