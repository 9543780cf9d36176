// The ring the sticky window draws along its edge: it eases between its two alphas on
// the frame clock, and changes at once when the desktop turns animations off.

#include "platform/gtk/StickyGtkChromeSurface.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <vector>

#include "tests/platform/gtk/GlibPump.h"
#include "tokens/TovarinDimensions.h"

namespace tovarin {
namespace {

class StickyGtkChromeSurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no display: run under xvfb-run";
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 340, 460);
    GtkWidget* content = gtk_event_box_new();
    gtk_container_add(GTK_CONTAINER(window_), content);
    gtk_widget_show_all(window_);
    ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(content); }));
    surface_ = StickyGtkChromeSurface::create(content);
  }
  void TearDown() override {
    setAnimations(TRUE);
    surface_.reset();
    gtk_widget_destroy(window_);
  }
  static void setAnimations(gboolean enabled) {
    g_object_set(gtk_settings_get_default(), "gtk-enable-animations", enabled, nullptr);
  }

  GtkWidget* window_ = nullptr;
  std::shared_ptr<StickyGtkChromeSurface> surface_;
};

TEST_F(StickyGtkChromeSurfaceTest, TheRingEasesToTheHoverAlphaAndBackThroughValuesBetween) {
  setAnimations(TRUE);
  EXPECT_DOUBLE_EQ(surface_->ringAlpha(), TovarinRing::restAlpha);
  surface_->setRingEmphasized(true);
  EXPECT_DOUBLE_EQ(surface_->ringAlpha(), TovarinRing::restAlpha) << "nothing jumps before the first frame";
  std::vector<double> seen;
  ASSERT_TRUE(pumpUntil([&] {
    seen.push_back(surface_->ringAlpha());
    return surface_->ringAlpha() == TovarinRing::hoverAlpha;
  }, 5));
  bool between = false;
  for (double alpha : seen) between |= alpha > TovarinRing::restAlpha && alpha < TovarinRing::hoverAlpha;
  EXPECT_TRUE(between) << "the change was not eased";

  surface_->setRingEmphasized(false);
  ASSERT_TRUE(pumpUntil([&] { return surface_->ringAlpha() == TovarinRing::restAlpha; }, 5));
}

TEST_F(StickyGtkChromeSurfaceTest, WithAnimationsOffTheRingChangesAtOnce) {
  setAnimations(FALSE);
  surface_->setRingEmphasized(true);
  EXPECT_DOUBLE_EQ(surface_->ringAlpha(), TovarinRing::hoverAlpha);
  surface_->setRingEmphasized(false);
  EXPECT_DOUBLE_EQ(surface_->ringAlpha(), TovarinRing::restAlpha);
}

}  // namespace
}  // namespace tovarin
