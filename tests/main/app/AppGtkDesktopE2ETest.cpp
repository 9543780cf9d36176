// The GTK menubar, status indicator and About dialog of the application, on a real
// display (Xvfb), driven through their GTK objects the way a click or a key would.

#include <gtk/gtk.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "main/app/MainMenu.h"
#include "main/app/StatusMenu.h"
#include "platform/gtk/AboutGtkDialog.h"
#include "platform/gtk/AppGtkDesktop.h"
#include "platform/gtk/MenuGtkBar.h"
#include "platform/gtk/StatusItemIndicator.h"
#include "platform/gtk/StatusItemMark.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {
namespace fs = std::filesystem;

const std::string kMark = std::string(TOVARIN_SOURCE_DIR) + "/resources/bundle/TheTovarinMark.svg";

class RecordingTarget final : public AppMenuTarget {
 public:
  void perform(MenuCommand command, const MenuArgument& argument) override {
    performed.push_back({command, argument});
  }
  bool isEnabled(MenuCommand command) const override {
    if (command == MenuCommand::raiseSticky) return canRaise;
    return true;
  }
  std::vector<std::pair<MenuCommand, MenuArgument>> performed;
  bool canRaise = true;
};

class AppGtkDesktopTest : public ::testing::Test {
 protected:
  // One application for the program, as in the real one; each test gets fresh menus,
  // which replace the previous test's actions.
  static void SetUpTestSuite() {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no display: run under xvfb-run";
    static int serial = 0;
    const std::string id = "com.orvik.TheTovarin.MenuTest" + std::to_string(++serial);
    application_ = gtk_application_new(id.c_str(), G_APPLICATION_DEFAULT_FLAGS);
    g_autoptr(GError) error = nullptr;
    ASSERT_TRUE(g_application_register(G_APPLICATION(application_), nullptr, &error))
        << (error ? error->message : "");
  }
  // A process can hold one registered GTK application at a time: this one ends the way a
  // running one does (run, activated, quit, shut down), so that the next can register.
  static void TearDownTestSuite() {
    if (!application_) return;
    g_signal_connect(application_, "activate", G_CALLBACK(+[](GApplication* app, gpointer) { g_application_quit(app); }),
                     nullptr);
    char name[] = "TheTovarin";
    char* argv[] = {name, nullptr};
    g_application_run(G_APPLICATION(application_), 1, argv);
    g_object_unref(application_);
    application_ = nullptr;
  }

  AppGtkDesktopTest() {
    desktop_ = std::make_unique<AppGtkDesktop>(
        AppGtkDesktop::Options{application_, "the-tovarin-test", kMark, icons_.path() + "/icons"});
  }

  static std::vector<GtkWidget*> menuItems(GtkWidget* menu) {
    std::vector<GtkWidget*> items;
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* l = children; l; l = l->next) items.push_back(GTK_WIDGET(l->data));
    g_list_free(children);
    return items;
  }
  static std::string labelOf(GtkWidget* item) {
    if (GTK_IS_SEPARATOR_MENU_ITEM(item)) return "-";
    const char* label = gtk_menu_item_get_label(GTK_MENU_ITEM(item));
    return label ? label : "";
  }
  static GtkWidget* itemLabelled(GtkWidget* menu, const std::string& label) {
    for (GtkWidget* item : menuItems(menu)) {
      if (labelOf(item) == label) return item;
    }
    ADD_FAILURE() << "no item " << label;
    return nullptr;
  }
  static StatusMenu::State statusState() {
    StatusMenu::State state;
    state.productName = "岚笺";
    state.levels = {{"高优先级置顶", 3, false}, {"置顶显示", 0, true}, {"贴在桌面", 2, false}};
    state.canRaise = false;
    state.canLower = true;
    state.scopes = {{"仅当前桌面", 0, true}, {"所有桌面", 1, false}};
    state.opacity = 0.905;
    return state;
  }
  std::string accelOf(const char* detailedAction) {
    g_auto(GStrv) accels = gtk_application_get_accels_for_action(application_, detailedAction);
    return accels && accels[0] ? accels[0] : "";
  }

  TempDir icons_;
  static inline GtkApplication* application_ = nullptr;
  std::unique_ptr<AppGtkDesktop> desktop_;
  std::shared_ptr<RecordingTarget> target_ = std::make_shared<RecordingTarget>();
};

TEST_F(AppGtkDesktopTest, MenubarModelActionsAndAccelerators) {
  desktop_->installMainMenu(MainMenu::build("岚笺"), target_);
  GMenuModel* bar = gtk_application_get_menubar(application_);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(g_menu_model_get_n_items(bar), 5);
  std::vector<std::string> titles;
  for (int i = 0; i < 5; ++i) {
    g_autofree char* label = nullptr;
    g_menu_model_get_item_attribute(bar, i, G_MENU_ATTRIBUTE_LABEL, "s", &label);
    titles.emplace_back(label ? label : "");
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"岚笺", "文件", "编辑", "显示", "窗口"}));

  struct Case {
    const char* action;
    std::string accel;
  };
  const std::vector<Case> accels = {
      {"app.new-event", "<Control>n"},
      {"app.quick-add", "<Shift><Control>n"},
      {"app.open-settings", "<Control>comma"},
      {"app.hide-others", "<Control><Alt>h"},
      {"app.switch-view('month')", "<Control><Alt>1"},
      {"app.switch-view('year')", "<Control><Alt>5"},
      {"app.reload-app", "<Control>r"},
      {"app.show-main", "<Control>0"},
      {"app.toggle-sticky", "<Control>s"},
      {"app.redo", "<Shift><Control>z"},
      {"app.zoom", ""},
  };
  for (const auto& c : accels) {
    // GTK prints modifiers in its own order; compare the parsed keys.
    guint key = 0, expectedKey = 0;
    GdkModifierType mods{}, expectedMods{};
    gtk_accelerator_parse(accelOf(c.action).c_str(), &key, &mods);
    gtk_accelerator_parse(c.accel.c_str(), &expectedKey, &expectedMods);
    EXPECT_EQ(key, expectedKey) << c.action;
    EXPECT_EQ(mods, expectedMods) << c.action;
  }

  g_action_group_activate_action(G_ACTION_GROUP(application_), "open-tasks", nullptr);
  g_action_group_activate_action(G_ACTION_GROUP(application_), "switch-view", g_variant_new_string("week"));
  g_action_group_activate_action(G_ACTION_GROUP(application_), "set-sticky-level", g_variant_new_int64(2));
  g_action_group_activate_action(G_ACTION_GROUP(application_), "set-sticky-opacity", g_variant_new_double(0.6));
  ASSERT_EQ(target_->performed.size(), 4u);
  EXPECT_EQ(target_->performed[0].first, MenuCommand::openTasks);
  EXPECT_EQ(target_->performed[1], (std::pair{MenuCommand::switchView, MenuArgument(std::string("week"))}));
  EXPECT_EQ(target_->performed[2], (std::pair{MenuCommand::setStickyLevel, MenuArgument(int64_t{2})}));
  EXPECT_EQ(target_->performed[3], (std::pair{MenuCommand::setStickyOpacity, MenuArgument(0.6)}));

  // Desktop commands never reach the delegate; one without an equivalent is disabled.
  g_action_group_activate_action(G_ACTION_GROUP(application_), "copy", nullptr);
  EXPECT_EQ(target_->performed.size(), 4u);
  EXPECT_FALSE(g_action_group_get_action_enabled(G_ACTION_GROUP(application_), "hide-others"));
  EXPECT_TRUE(g_action_group_get_action_enabled(G_ACTION_GROUP(application_), "quit"));
}

TEST_F(AppGtkDesktopTest, ActionsFollowTheTargetsValidationAndItsLifetime) {
  desktop_->installMainMenu(MainMenu::build("岚笺"), target_);
  desktop_->createStatusItem("岚笺", target_);
  EXPECT_TRUE(g_action_group_get_action_enabled(G_ACTION_GROUP(application_), "raise-sticky"));
  target_->canRaise = false;
  desktop_->setStatusMenu(StatusMenu::build(statusState()));
  EXPECT_FALSE(g_action_group_get_action_enabled(G_ACTION_GROUP(application_), "raise-sticky"));
  g_action_group_activate_action(G_ACTION_GROUP(application_), "raise-sticky", nullptr);
  EXPECT_TRUE(target_->performed.empty());

  target_.reset();
  desktop_->menuBar()->refreshEnabled();
  EXPECT_FALSE(g_action_group_get_action_enabled(G_ACTION_GROUP(application_), "open-tasks"));
  g_action_group_activate_action(G_ACTION_GROUP(application_), "open-tasks", nullptr);  // must not crash
}

TEST_F(AppGtkDesktopTest, StatusMenuItemsChecksSensitivityAndActivation) {
  target_->canRaise = false;  // as the state below says
  desktop_->createStatusItem("岚笺", target_);
  ASSERT_NE(desktop_->statusItem(), nullptr);
  desktop_->setStatusMenu(StatusMenu::build(statusState()));
  GtkWidget* menu = desktop_->statusItem()->menu();
  ASSERT_NE(menu, nullptr);

  std::vector<std::string> labels;
  for (GtkWidget* item : menuItems(menu)) labels.push_back(labelOf(item));
  EXPECT_EQ(labels, (std::vector<std::string>{"打开岚笺", "打开对话", "打开 Hub", "整理材料…", "显示浮窗便利贴", "-",
                                              "浮窗层级", "浮窗显示范围", "浮窗不透明度", "-", "快速添加 / 问 AI",
                                              "配置 AI 助手…", "-", "退出"}));

  GtkWidget* levels = gtk_menu_item_get_submenu(GTK_MENU_ITEM(itemLabelled(menu, "浮窗层级")));
  ASSERT_NE(levels, nullptr);
  GtkWidget* floating = itemLabelled(levels, "置顶显示");
  ASSERT_TRUE(GTK_IS_CHECK_MENU_ITEM(floating));
  EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(floating)));
  EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(itemLabelled(levels, "贴在桌面"))));
  EXPECT_FALSE(gtk_widget_get_sensitive(itemLabelled(levels, "上移一层")));
  EXPECT_TRUE(gtk_widget_get_sensitive(itemLabelled(levels, "下移一层")));

  GtkWidget* opacity = gtk_menu_item_get_submenu(GTK_MENU_ITEM(itemLabelled(menu, "浮窗不透明度")));
  EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(itemLabelled(opacity, "90%"))));
  EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(itemLabelled(opacity, "100%"))));

  // Building the menu chose nothing; clicks carry the item's command and value.
  EXPECT_TRUE(target_->performed.empty());
  gtk_menu_item_activate(GTK_MENU_ITEM(itemLabelled(levels, "贴在桌面")));
  gtk_menu_item_activate(GTK_MENU_ITEM(itemLabelled(opacity, "75%")));
  gtk_menu_item_activate(GTK_MENU_ITEM(itemLabelled(menu, "显示浮窗便利贴")));
  gtk_menu_item_activate(GTK_MENU_ITEM(itemLabelled(levels, "上移一层")));  // disabled: dropped
  ASSERT_EQ(target_->performed.size(), 3u);
  EXPECT_EQ(target_->performed[0], (std::pair{MenuCommand::setStickyLevel, MenuArgument(int64_t{2})}));
  EXPECT_EQ(target_->performed[1], (std::pair{MenuCommand::setStickyOpacity, MenuArgument(0.75)}));
  EXPECT_EQ(target_->performed[2].first, MenuCommand::toggleSticky);

  // A rebuild replaces the whole menu.
  auto state = statusState();
  state.stickyVisible = true;
  desktop_->setStatusMenu(StatusMenu::build(state));
  EXPECT_NE(desktop_->statusItem()->menu(), menu);
  EXPECT_EQ(labelOf(menuItems(desktop_->statusItem()->menu())[4]), "隐藏浮窗便利贴");
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

TEST_F(AppGtkDesktopTest, MarkIsDrawnIntoAnIconFileOrFallsBackToAThemedIcon) {
  desktop_->createStatusItem("岚笺", target_);
  const auto& icon = desktop_->statusItem()->icon();
  EXPECT_EQ(icon.directory, icons_.path() + "/icons");
  const std::string png = icon.directory + "/" + icon.name + ".png";
  g_autoptr(GdkPixbuf) image = gdk_pixbuf_new_from_file(png.c_str(), nullptr);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(image), 22);
  EXPECT_EQ(gdk_pixbuf_get_height(image), 22);
  // Some pixel carries the brand colour.
  bool brand = false;
  const int channels = gdk_pixbuf_get_n_channels(image);
  const guchar* pixels = gdk_pixbuf_get_pixels(image);
  for (int y = 0; y < 22 && !brand; ++y) {
    for (int x = 0; x < 22 && !brand; ++x) {
      const guchar* p = pixels + y * gdk_pixbuf_get_rowstride(image) + x * channels;
      brand = p[0] == 0xc6 && p[1] == 0x45 && p[2] == 0x32 && (channels < 4 || p[3] == 0xff);
    }
  }
  EXPECT_TRUE(brand);

  for (const std::optional<std::string>& svg :
       {std::optional<std::string>{}, std::optional<std::string>(icons_.path() + "/missing.svg")}) {
    AppGtkDesktop other(AppGtkDesktop::Options{application_, "the-tovarin-test-2", svg, icons_.path() + "/other"});
    other.createStatusItem("岚笺", target_);
    EXPECT_TRUE(other.statusItem()->icon().directory.empty());
    EXPECT_EQ(other.statusItem()->icon().name, StatusItemMark::fallbackIconName);
  }
  std::ofstream(icons_.path() + "/broken.svg") << "<svg";
  EXPECT_EQ(StatusItemMark::renderPng(icons_.path() + "/broken.svg", icons_.path() + "/b", "x", 22), std::nullopt);
}

// Drawing the SVG loads its renderer into the process; a launch after the first reuses
// the PNG unless the SVG changed since or the PNG is not of the size asked for.
TEST_F(AppGtkDesktopTest, StatusMarkIsDrawnAgainOnlyWhenTheDrawnOneIsStale) {
  namespace fs = std::filesystem;
  const std::string svg = icons_.path() + "/mark.svg";
  const std::string directory = icons_.path() + "/drawn";
  const std::string png = directory + "/mark.png";
  // A PNG the SVG cannot have drawn, carrying a time: any redrawing replaces it.
  auto plant = [&](int pixels, fs::file_time_type at) {
    g_autoptr(GdkPixbuf) plain = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, pixels, pixels);
    gdk_pixbuf_fill(plain, 0x00ff00ff);
    ASSERT_TRUE(gdk_pixbuf_save(plain, png.c_str(), "png", nullptr, nullptr));
    fs::last_write_time(png, at);
  };
  struct Case {
    const char* what;
    int plantedPixels;
    std::chrono::seconds plantedAfterSvg;
    bool reused;
  };
  const Case cases[] = {
      {"drawn from this SVG, at this size", 22, std::chrono::seconds(0), true},
      {"the SVG changed after the drawing", 22, std::chrono::seconds(-60), false},
      // An upgrade installs an SVG with its own time, often older than the drawing.
      {"drawn from another SVG", 22, std::chrono::seconds(60), false},
      {"drawn at another size", 44, std::chrono::seconds(60), false},
  };
  fs::copy_file(kMark, svg);
  ASSERT_TRUE(StatusItemMark::renderPng(svg, directory, "mark", 22));
  const std::string drawn = readFile(png);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    plant(c.plantedPixels, fs::last_write_time(svg) + c.plantedAfterSvg);
    const std::string planted = readFile(png);
    EXPECT_EQ(StatusItemMark::renderPng(svg, directory, "mark", 22), png);
    EXPECT_EQ(readFile(png), c.reused ? planted : drawn);
  }
  // Without its SVG a stale drawing is not shown.
  fs::remove(svg);
  EXPECT_EQ(StatusItemMark::renderPng(svg, directory, "mark", 22), std::nullopt);
}

TEST_F(AppGtkDesktopTest, AboutDialogShowsNameVersionAndCreditsOnce) {
  const AboutInfo info{"岚笺", "0.2.0", "Hub、对话、事项与日历。\n第二行"};
  desktop_->showAbout(info);
  GtkWidget* dialog = desktop_->about()->dialog();
  ASSERT_NE(dialog, nullptr);
  GtkAboutDialog* about = GTK_ABOUT_DIALOG(dialog);
  EXPECT_STREQ(gtk_about_dialog_get_program_name(about), "岚笺");
  EXPECT_STREQ(gtk_about_dialog_get_version(about), "0.2.0");
  EXPECT_STREQ(gtk_about_dialog_get_comments(about), "Hub、对话、事项与日历。\n第二行");
  EXPECT_NE(gtk_about_dialog_get_logo(about), nullptr);
  EXPECT_TRUE(gtk_widget_get_visible(dialog));
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
  EXPECT_FALSE(gtk_widget_get_visible(dialog));
  desktop_->showAbout(AboutInfo{"岚笺", "0.3.0", "x"});
  EXPECT_EQ(desktop_->about()->dialog(), dialog);
  EXPECT_STREQ(gtk_about_dialog_get_version(about), "0.3.0");
  EXPECT_TRUE(gtk_widget_get_visible(dialog));
}

TEST_F(AppGtkDesktopTest, AboutDialogStaysAboveTheWindowTheActivationBringsForward) {
  GtkWidget* window = gtk_application_window_new(application_);
  gtk_widget_show(window);
  ASSERT_EQ(gtk_application_get_active_window(application_), GTK_WINDOW(window));
  desktop_->showAbout(AboutInfo{"岚笺", "0.2.0", "x"});
  desktop_->activateApplication();
  GtkWidget* dialog = desktop_->about()->dialog();
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(window));
  gtk_widget_hide(dialog);
  gtk_widget_destroy(window);
  desktop_->showAbout(AboutInfo{"岚笺", "0.2.0", "x"});
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), nullptr) << "no window left to stay above";
}

}  // namespace
}  // namespace tovarin
