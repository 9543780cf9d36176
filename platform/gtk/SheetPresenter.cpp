#include "platform/gtk/SheetPresenter.h"

#include <cassert>
#include <utility>

#include <gtk/gtk.h>

#include "main/page/ShellPanelCopy.h"
#include "platform/gtk/GtkAppWindow.h"

namespace tovarin {
namespace {

// Where a panel goes: its parent (when any) and whether it blocks only that parent.
struct Placement {
  GtkWindow* parent = nullptr;
  bool sheet = false;
};

Placement placementFor(bool attachesSheets, const std::shared_ptr<Window>& window) {
  auto* gtkWindow = dynamic_cast<GtkAppWindow*>(window.get());
  if (!gtkWindow || !gtkWindow->isVisible()) return {};
  return {GTK_WINDOW(gtkWindow->widget()), attachesSheets};
}

// A sheet grabs input only within its parent's window group, so other windows of the
// program stay usable while it is open.
void placeDialog(GtkWindow* dialog, const Placement& placement) {
  if (placement.parent) gtk_window_set_transient_for(dialog, placement.parent);
  if (placement.sheet) {
    if (!gtk_window_has_group(placement.parent)) {
      g_autoptr(GtkWindowGroup) group = gtk_window_group_new();
      gtk_window_group_add_window(group, placement.parent);
    }
    gtk_window_group_add_window(gtk_window_get_group(placement.parent), dialog);
  } else if (placement.parent && gtk_window_has_group(placement.parent)) {
    // A transient window joins its parent's group, where a grab would leave the rest of
    // the program usable: a modal panel belongs to the program's own group.
    gtk_window_group_add_window(gtk_window_get_group(nullptr), dialog);
  }
  gtk_window_set_modal(dialog, TRUE);
}

struct AlertRun {
  std::function<void(AlertResult)> completion;
  std::optional<std::size_t> escapeButton;
  GtkWidget* entry = nullptr;  // owned by the dialog
};

void finishAlert(AlertRun* run, AlertResult result) {
  if (auto completion = std::exchange(run->completion, nullptr)) completion(std::move(result));
}

void onAlertResponse(GtkDialog* dialog, gint response, gpointer data) {
  auto* run = static_cast<AlertRun*>(data);
  AlertResult result;
  if (response >= 0) {
    result.button = static_cast<std::size_t>(response);
  } else if (response == GTK_RESPONSE_DELETE_EVENT) {
    result.button = run->escapeButton;  // Escape and the close button mean "取消" when there is one
  }
  if (run->entry) result.fieldText = gtk_entry_get_text(GTK_ENTRY(run->entry));
  finishAlert(run, std::move(result));
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

// A dialog destroyed without an answer (its window went away) still completes once.
void freeAlertRun(gpointer data) {
  auto* run = static_cast<AlertRun*>(data);
  finishAlert(run, AlertResult{});
  delete run;
}

GtkWidget* makeField(const AlertPanel::Field& field) {
  GtkWidget* entry = gtk_entry_new();
  gtk_entry_set_visibility(GTK_ENTRY(entry), field.secret ? FALSE : TRUE);
  if (field.secret) gtk_entry_set_input_purpose(GTK_ENTRY(entry), GTK_INPUT_PURPOSE_PASSWORD);
  gtk_entry_set_text(GTK_ENTRY(entry), field.text.c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_widget_set_size_request(entry, 280, 24);
  atk_object_set_name(gtk_widget_get_accessible(entry), field.accessibilityLabel.c_str());
  return entry;
}

template <typename Result>
struct ChooserRun {
  std::function<void(Result)> completion;
};

template <typename Result>
void finishChooser(ChooserRun<Result>* run, Result result) {
  if (auto completion = std::exchange(run->completion, nullptr)) completion(std::move(result));
}

std::vector<std::string> chosenPaths(GtkFileChooser* chooser) {
  std::vector<std::string> paths;
  GSList* files = gtk_file_chooser_get_files(chooser);
  for (GSList* item = files; item; item = item->next) {
    g_autofree char* path = g_file_get_path(G_FILE(item->data));
    if (path) paths.emplace_back(path);
  }
  g_slist_free_full(files, g_object_unref);
  return paths;
}

void onOpenResponse(GtkNativeDialog* dialog, gint response, gpointer data) {
  auto* run = static_cast<ChooserRun<std::optional<std::vector<std::string>>>*>(data);
  std::optional<std::vector<std::string>> result;
  if (response == GTK_RESPONSE_ACCEPT) result = chosenPaths(GTK_FILE_CHOOSER(dialog));
  finishChooser(run, std::move(result));
  g_object_unref(dialog);
}

void onSaveResponse(GtkNativeDialog* dialog, gint response, gpointer data) {
  auto* run = static_cast<ChooserRun<std::optional<std::string>>*>(data);
  std::optional<std::string> result;
  if (response == GTK_RESPONSE_ACCEPT) {
    g_autofree char* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
    if (path) result = std::string(path);
  }
  finishChooser(run, std::move(result));
  g_object_unref(dialog);
}

template <typename Result>
void freeChooserRun(gpointer data) {
  auto* run = static_cast<ChooserRun<Result>*>(data);
  finishChooser(run, Result{});
  delete run;
}

GtkFileFilter* filterFor(const std::vector<std::string>& extensions) {
  GtkFileFilter* filter = gtk_file_filter_new();
  std::string name;
  for (const std::string& extension : extensions) {
    // Patterns match case-sensitively: the lowercase form stands for every casing.
    std::string pattern = "*.";
    for (char c : extension) {
      if (g_ascii_isalpha(c)) {
        pattern += '[';
        pattern += g_ascii_tolower(c);
        pattern += g_ascii_toupper(c);
        pattern += ']';
      } else {
        pattern += c;
      }
    }
    gtk_file_filter_add_pattern(filter, pattern.c_str());
    name += (name.empty() ? "" : ", ") + ("." + extension);
  }
  gtk_file_filter_set_name(filter, name.c_str());
  return filter;
}

void showChooser(GtkFileChooserNative* chooser, const Placement& placement) {
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
  if (placement.parent) gtk_native_dialog_set_transient_for(GTK_NATIVE_DIALOG(chooser), placement.parent);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

}  // namespace

SheetPresenter::SheetPresenter(MainLoop& loop, Attachment attachment) : loop_(loop), attachment_(attachment) {}

void SheetPresenter::runAlert(AlertPanel panel, std::shared_ptr<Window> window,
                              std::function<void(AlertResult)> completion) {
  assert(loop_.isMainThread());
  Placement placement = placementFor(attachesSheets(), window);
  GtkWidget* dialog = gtk_message_dialog_new(placement.parent, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_INFO,
                                             GTK_BUTTONS_NONE, "%s", panel.messageText.c_str());
  if (!panel.informativeText.empty()) {
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", panel.informativeText.c_str());
  }
  auto* run = new AlertRun{std::move(completion), std::nullopt, nullptr};
  for (std::size_t i = 0; i < panel.buttons.size(); ++i) {
    gtk_dialog_add_button(GTK_DIALOG(dialog), panel.buttons[i].c_str(), static_cast<gint>(i));
    if (panel.buttons[i] == ShellPanelCopy::cancel && !run->escapeButton) run->escapeButton = i;
  }
  if (!panel.buttons.empty()) {
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), static_cast<gint>(panel.returnButton.value_or(0)));
  }
  if (panel.returnButton) {
    // Return presses the focused button: put the focus where Return should answer.
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), static_cast<gint>(*panel.returnButton));
    if (button) gtk_widget_grab_focus(button);
  }
  if (panel.destructiveButton) {
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), static_cast<gint>(*panel.destructiveButton));
    if (button) gtk_style_context_add_class(gtk_widget_get_style_context(button), "destructive-action");
  }
  if (panel.field) {
    run->entry = makeField(*panel.field);
    GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
    gtk_box_pack_start(GTK_BOX(area), run->entry, FALSE, FALSE, 0);
    gtk_widget_show(run->entry);
    gtk_widget_grab_focus(run->entry);
  }
  g_object_set_data_full(G_OBJECT(dialog), "tovarin-alert-run", run, freeAlertRun);
  g_signal_connect(dialog, "response", G_CALLBACK(onAlertResponse), run);
  placeDialog(GTK_WINDOW(dialog), placement);
  gtk_window_present(GTK_WINDOW(dialog));
}

void SheetPresenter::runOpenPanel(OpenPanel panel, std::shared_ptr<Window> window,
                                  std::function<void(std::optional<std::vector<std::string>>)> completion) {
  assert(loop_.isMainThread());
  Placement placement = placementFor(attachesSheets(), window);
  bool folders = panel.canChooseDirectories && !panel.canChooseFiles;
  // A file chooser has no place for a message: it goes into the title when there is no title.
  const std::string& title = panel.title.empty() ? panel.message : panel.title;
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
      title.empty() ? nullptr : title.c_str(), placement.parent,
      folders ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN, panel.prompt.c_str(),
      std::string(ShellPanelCopy::cancel).c_str());
  GtkFileChooser* fileChooser = GTK_FILE_CHOOSER(chooser);
  gtk_file_chooser_set_select_multiple(fileChooser, panel.allowsMultipleSelection);
  gtk_file_chooser_set_create_folders(fileChooser, panel.canCreateDirectories);
  gtk_file_chooser_set_local_only(fileChooser, TRUE);
  if (!panel.allowedExtensions.empty()) gtk_file_chooser_add_filter(fileChooser, filterFor(panel.allowedExtensions));
  using Result = std::optional<std::vector<std::string>>;
  auto* run = new ChooserRun<Result>{std::move(completion)};
  g_object_set_data_full(G_OBJECT(chooser), "tovarin-chooser-run", run, freeChooserRun<Result>);
  g_signal_connect(chooser, "response", G_CALLBACK(onOpenResponse), run);
  showChooser(chooser, placement);
}

void SheetPresenter::runSavePanel(SavePanel panel, std::shared_ptr<Window> window,
                                  std::function<void(std::optional<std::string>)> completion) {
  assert(loop_.isMainThread());
  Placement placement = placementFor(attachesSheets(), window);
  GtkFileChooserNative* chooser =
      gtk_file_chooser_native_new(nullptr, placement.parent, GTK_FILE_CHOOSER_ACTION_SAVE, panel.prompt.c_str(),
                                  std::string(ShellPanelCopy::cancel).c_str());
  GtkFileChooser* fileChooser = GTK_FILE_CHOOSER(chooser);
  // Choosing an existing file asks first: the user confirms replacing it.
  gtk_file_chooser_set_do_overwrite_confirmation(fileChooser, TRUE);
  gtk_file_chooser_set_create_folders(fileChooser, panel.canCreateDirectories);
  gtk_file_chooser_set_local_only(fileChooser, TRUE);
  if (!panel.directory.empty()) gtk_file_chooser_set_current_folder(fileChooser, panel.directory.c_str());
  gtk_file_chooser_set_current_name(fileChooser, panel.nameFieldValue.c_str());
  using Result = std::optional<std::string>;
  auto* run = new ChooserRun<Result>{std::move(completion)};
  g_object_set_data_full(G_OBJECT(chooser), "tovarin-chooser-run", run, freeChooserRun<Result>);
  g_signal_connect(chooser, "response", G_CALLBACK(onSaveResponse), run);
  showChooser(chooser, placement);
}

}  // namespace tovarin
