// The activity settings window on the test's display over a real controller (store,
// service, bridge in a temporary folder; the desktop is the test's): what the controller
// publishes again and again while the window is open leaves the keyboard focus where the
// user put it, and switching the record on keeps it on the switch.

#include "platform/gtk/ActivitySettingsGtkWindow.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

#include "main/activity/ActivityBridgeRequest.h"
#include "main/activity/MemoryKeyStore.h"
#include "main/activity_ui/ActivityController.h"
#include "tests/platform/gtk/GlibPump.h"
#include "tests/platform/gtk/GtkTestEnvironment.h"
#include "tests/support/FakeActivityCapturePlatform.h"
#include "tests/support/FakeActivityUiDesktop.h"
#include "tests/support/FakePanelPresenter.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

const std::string kOwner(64, 'd');

// The first widget below `widget` for which `matches` holds.
GtkWidget* findWidget(GtkWidget* widget, const std::function<bool(GtkWidget*)>& matches) {
  if (matches(widget)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* each = children; each && !found; each = each->next) found = findWidget(GTK_WIDGET(each->data), matches);
  g_list_free(children);
  return found;
}

class ActivitySettingsGtkWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ActivityRecord::Options options;
    options.directory = dir_.path() + "/Activity";
    options.keyStore = std::make_shared<MemoryKeyStore>();
    options.serverEnvironment = std::make_shared<ProcessEnvironment>(std::vector<std::string>{});
    options.platform = platform_;
    options.socketPath = dir_.path() + "/bridge.sock";
    options.allowPeer = [](pid_t) { return true; };
    controller_ = ActivityController::create(loop(), ActivityRecord::create(loop(), defaults_, std::move(options)),
                                             {std::make_shared<FakePanelPresenter>(), ui_});
    controller_->bootstrap();
    settle();
    window_ = std::make_unique<ActivitySettingsGtkWindow>(loop(), controller_);
    window_->present(nullptr);
    ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(window_->widget()) != FALSE; }));
  }
  void TearDown() override {
    if (watched_) g_object_remove_weak_pointer(G_OBJECT(watched_), reinterpret_cast<gpointer*>(&watched_));
    window_.reset();
    controller_->shutdown();
  }

  static GlibMainLoop& loop() { return GtkTestEnvironment::instance().loop(); }

  // Lets the work queue and the main loop hand results to each other until both are quiet.
  void settle() {
    for (int round = 0; round < 6; ++round) {
      controller_->record()->drainWork();
      drainReady();
    }
  }

  GtkWidget* switchTitled(const std::string& title) {
    return findWidget(window_->widget(), [&](GtkWidget* widget) {
      g_autofree char* tooltip = GTK_IS_SWITCH(widget) ? gtk_widget_get_tooltip_text(widget) : nullptr;
      return tooltip && title == tooltip;
    });
  }
  // The widget, until it is finalized; then null.
  GtkWidget* const& watch(GtkWidget* widget) {
    watched_ = widget;
    g_object_add_weak_pointer(G_OBJECT(watched_), reinterpret_cast<gpointer*>(&watched_));
    return watched_;
  }
  GtkWidget* focus() const { return gtk_window_get_focus(GTK_WINDOW(window_->widget())); }

  // What the 2 s poll does each time it fires.
  void pollFires() {
    controller_->refreshPermissions();
    settle();
  }

  TempDir dir_;
  UserDefaults defaults_{dir_.path() + "/defaults.json"};
  std::shared_ptr<FakeActivityCapturePlatform> platform_ = std::make_shared<FakeActivityCapturePlatform>(loop());
  std::shared_ptr<FakeActivityUiDesktop> ui_ = std::make_shared<FakeActivityUiDesktop>();
  std::shared_ptr<ActivityController> controller_;
  std::unique_ptr<ActivitySettingsGtkWindow> window_;
  GtkWidget* watched_ = nullptr;
};

TEST_F(ActivitySettingsGtkWindowTest, TheFocusedSwitchOutlivesEveryRepublishing) {
  ASSERT_TRUE(switchTitled("记录活动"));
  GtkWidget* const& toggle = watch(switchTitled("记录活动"));
  gtk_widget_grab_focus(toggle);
  ASSERT_EQ(focus(), toggle);

  for (int poll = 0; poll < 3; ++poll) pollFires();
  ASSERT_TRUE(toggle) << "the switch was drawn anew";
  EXPECT_EQ(switchTitled("记录活动"), toggle);
  EXPECT_EQ(focus(), toggle);
}

// Tab to the switch, a poll, then space: the record is on and the focus stays put, while
// the card below the switch grows the pause button.
TEST_F(ActivitySettingsGtkWindowTest, SwitchingTheRecordOnFromTheKeyboardKeepsTheFocus) {
  (void)controller_->record()->service()->handle(ActivityBridgeRequest::ownerReport(kOwner));
  settle();
  ASSERT_TRUE(switchTitled("记录活动"));
  GtkWidget* const& toggle = watch(switchTitled("记录活动"));
  gtk_widget_grab_focus(toggle);
  pollFires();
  ASSERT_TRUE(toggle) << "the switch was drawn anew";

  gtk_widget_activate(toggle);  // what space does on a focused switch; it flips at the end of its animation
  EXPECT_TRUE(pumpUntil([&] { return controller_->status().kind == ActivityStatus::Kind::recording; }))
      << controller_->status().statusLine() << " " << controller_->model().lastResult().value_or("");
  settle();
  ASSERT_TRUE(toggle) << "the switch was drawn anew";
  EXPECT_TRUE(gtk_switch_get_state(GTK_SWITCH(toggle)));
  EXPECT_EQ(focus(), toggle);
  EXPECT_TRUE(findWidget(window_->widget(), [](GtkWidget* widget) {
    return GTK_IS_BUTTON(widget) && gtk_button_get_label(GTK_BUTTON(widget)) &&
           std::string(gtk_button_get_label(GTK_BUTTON(widget))) == "暂停记录";
  })) << "the card shows the record on";
}

}  // namespace
}  // namespace tovarin
