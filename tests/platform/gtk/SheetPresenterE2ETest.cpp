#include "platform/gtk/SheetPresenter.h"

#include <gtk/gtk.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/gtk/GtkAppWindow.h"
#include "tests/platform/gtk/GlibPump.h"
#include "tests/platform/gtk/GtkTestEnvironment.h"
#include "tests/platform/gtk/VisibleToplevels.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

// The newest shown window of the type.
template <typename Type>
Type* visibleToplevel(GType type) {
  const auto shown = visibleToplevels<Type>(type);
  return shown.empty() ? nullptr : shown.back();
}

GtkMessageDialog* shownAlert() {
  pumpUntil([] { return visibleToplevel<GtkMessageDialog>(GTK_TYPE_MESSAGE_DIALOG) != nullptr; });
  return visibleToplevel<GtkMessageDialog>(GTK_TYPE_MESSAGE_DIALOG);
}

GtkFileChooserDialog* shownChooser() {
  pumpUntil([] { return visibleToplevel<GtkFileChooserDialog>(GTK_TYPE_FILE_CHOOSER_DIALOG) != nullptr; });
  return visibleToplevel<GtkFileChooserDialog>(GTK_TYPE_FILE_CHOOSER_DIALOG);
}

class SheetPresenterTest : public ::testing::Test {
 protected:
  MainLoop& loop() { return GtkTestEnvironment::instance().loop(); }

  std::shared_ptr<GtkAppWindow> window_ = GtkAppWindow::create(loop(), WindowStyle::titled, Size{400, 300});
  SheetPresenter sheets_{loop(), SheetPresenter::Attachment::sheets};
  SheetPresenter modal_{loop(), SheetPresenter::Attachment::applicationModal};
  TempDir dir_;
};

TEST_F(SheetPresenterTest, ASheetBlocksOnlyItsWindowAndAModalPanelStandsAlone) {
  window_->show();
  ASSERT_TRUE(pumpUntil([&] { return window_->isVisible(); }));
  std::vector<AlertResult> results;
  sheets_.runAlert(AlertPanel{"保存了。", "", {"好"}, std::nullopt, std::nullopt, std::nullopt}, window_, [&](AlertResult r) { results.push_back(r); });
  GtkMessageDialog* sheet = shownAlert();
  ASSERT_NE(sheet, nullptr);
  auto* parent = GTK_WINDOW(window_->widget());
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(sheet)), parent);
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(sheet)));
  ASSERT_TRUE(gtk_window_has_group(parent));
  EXPECT_EQ(gtk_window_get_group(GTK_WINDOW(sheet)), gtk_window_get_group(parent));
  EXPECT_NE(gtk_window_get_group(GTK_WINDOW(sheet)), gtk_window_get_group(nullptr));
  gtk_dialog_response(GTK_DIALOG(sheet), 0);
  drainReady();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_TRUE(results[0].isFirstButton());

  modal_.runAlert(AlertPanel{"保存了。", "", {"好"}, std::nullopt, std::nullopt, std::nullopt}, window_, [&](AlertResult r) { results.push_back(r); });
  GtkMessageDialog* standalone = shownAlert();
  ASSERT_NE(standalone, nullptr);
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(standalone)));
  EXPECT_EQ(gtk_window_get_group(GTK_WINDOW(standalone)), gtk_window_get_group(nullptr));
  gtk_widget_destroy(GTK_WIDGET(standalone));  // gone without an answer: still completes, once
  drainReady();
  ASSERT_EQ(results.size(), 2u);
  EXPECT_FALSE(results[1].button);
}

TEST_F(SheetPresenterTest, AHiddenWindowGetsNoSheet) {
  window_->hide();
  std::optional<AlertResult> result;
  sheets_.runAlert(AlertPanel{"窗口没显示", "", {"好"}, std::nullopt, std::nullopt, std::nullopt}, window_, [&](AlertResult r) { result = r; });
  GtkMessageDialog* dialog = shownAlert();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), nullptr);
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
  gtk_dialog_response(GTK_DIALOG(dialog), 0);
  drainReady();
  EXPECT_TRUE(result && result->isFirstButton());
}

TEST_F(SheetPresenterTest, EscapeAnswersCancelAndTheSecretFieldHidesItsText) {
  struct Case {
    std::vector<std::string> buttons;
    std::optional<std::size_t> escape;
  };
  const Case cases[] = {{{"好", "取消"}, 1}, {{"好"}, std::nullopt}};
  for (const auto& c : cases) {
    std::optional<AlertResult> result;
    AlertPanel panel{"请输入密码", "输入时不显示明文。", c.buttons, AlertPanel::Field{true, "", "请输入密码"}, std::nullopt, std::nullopt};
    modal_.runAlert(panel, nullptr, [&](AlertResult r) { result = r; });
    GtkMessageDialog* dialog = shownAlert();
    ASSERT_NE(dialog, nullptr);
    GtkEntry* entry = nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_message_dialog_get_message_area(dialog)));
    for (GList* item = children; item; item = item->next) {
      if (GTK_IS_ENTRY(item->data)) entry = GTK_ENTRY(item->data);
    }
    g_list_free(children);
    ASSERT_NE(entry, nullptr);
    EXPECT_FALSE(gtk_entry_get_visibility(entry));
    EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(GTK_WIDGET(entry))), "请输入密码");
    gtk_entry_set_text(entry, "typed");
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
    drainReady();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->button, c.escape);
    EXPECT_EQ(result->fieldText, "typed");
  }
}

TEST_F(SheetPresenterTest, SaveAndFolderPanelsShowTheirChoiceAndReportCancelling) {
  std::optional<std::optional<std::string>> saved;
  SavePanel save{"报告.txt", "存储", dir_.path(), true};
  modal_.runSavePanel(save, nullptr, [&](std::optional<std::string> path) { saved = path; });
  GtkFileChooserDialog* chooser = shownChooser();
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(chooser)), GTK_FILE_CHOOSER_ACTION_SAVE);
  EXPECT_TRUE(gtk_file_chooser_get_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser)));
  g_autofree char* name = gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(chooser));
  EXPECT_STREQ(name, "报告.txt");
  GtkWidget* accept = gtk_dialog_get_widget_for_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
  ASSERT_NE(accept, nullptr);
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(accept)), "存储");
  gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
  ASSERT_TRUE(pumpUntil([&] { return saved.has_value(); }, 10));
  EXPECT_FALSE(*saved);
  ASSERT_TRUE(pumpUntil([] { return visibleToplevel<GtkFileChooserDialog>(GTK_TYPE_FILE_CHOOSER_DIALOG) == nullptr; }));

  const std::string folder = dir_.path() + "/work";
  std::filesystem::create_directories(folder);
  std::optional<std::optional<std::vector<std::string>>> opened;
  OpenPanel open;
  open.canChooseFiles = false;
  open.canChooseDirectories = true;
  open.prompt = "选择";
  open.message = "选择本轮使用的文件夹。";
  modal_.runOpenPanel(open, nullptr, [&](std::optional<std::vector<std::string>> paths) { opened = paths; });
  chooser = shownChooser();
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(chooser)), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
  gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
  ASSERT_TRUE(pumpUntil([&] { return opened.has_value(); }));
  EXPECT_FALSE(*opened);
}

}  // namespace
}  // namespace tovarin
