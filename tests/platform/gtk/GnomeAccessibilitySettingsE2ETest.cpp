#include "platform/gtk/GnomeAccessibilitySettings.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "tests/platform/gtk/GlibPump.h"
#include "tests/platform/gtk/GtkTestEnvironment.h"

namespace tovarin {
namespace {

class CountingObserver final : public AccessibilitySettingsObserver {
 public:
  int changes = 0;
  void accessibilitySettingsDidChange() override { ++changes; }
};

bool schemaInstalled(const char* id) {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  g_autoptr(GSettingsSchema) schema = source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
  return schema != nullptr;
}

class GnomeAccessibilitySettingsE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!schemaInstalled("org.gnome.desktop.a11y.interface") || !schemaInstalled("org.gnome.desktop.interface")) {
      GTEST_SKIP() << "the GNOME desktop schemas are not installed";
    }
    accessibility_ = g_settings_new("org.gnome.desktop.a11y.interface");
    interface_ = g_settings_new("org.gnome.desktop.interface");
    settings_ = GnomeAccessibilitySettings::create(GtkTestEnvironment::instance().loop());
    settings_->addObserver(all_, AccessibilityChanges::allDisplaySettings);
    settings_->addObserver(bordersOnly_, AccessibilityChanges::showBordersOnly);
  }
  void TearDown() override {
    if (accessibility_) {
      g_settings_reset(accessibility_, "high-contrast");
      g_object_unref(accessibility_);
    }
    if (interface_) {
      g_settings_reset(interface_, "color-scheme");
      g_settings_reset(interface_, "cursor-size");
      g_object_unref(interface_);
    }
    drainReady();
  }

  GSettings* accessibility_ = nullptr;
  GSettings* interface_ = nullptr;
  std::shared_ptr<GnomeAccessibilitySettings> settings_;
  std::shared_ptr<CountingObserver> all_ = std::make_shared<CountingObserver>();
  std::shared_ptr<CountingObserver> bordersOnly_ = std::make_shared<CountingObserver>();
};

TEST_F(GnomeAccessibilitySettingsE2ETest, HighContrastIsShowBordersAndEveryObserverHearsIt) {
  EXPECT_FALSE(settings_->showBorders());
  g_settings_set_boolean(accessibility_, "high-contrast", TRUE);
  ASSERT_TRUE(pumpUntil([&] { return all_->changes == 1 && bordersOnly_->changes == 1; }));
  EXPECT_TRUE(settings_->showBorders());
  EXPECT_FALSE(settings_->reduceTransparency()) << "this desktop has no such setting";

  g_settings_set_boolean(accessibility_, "high-contrast", FALSE);
  ASSERT_TRUE(pumpUntil([&] { return all_->changes == 2 && bordersOnly_->changes == 2; }));
  EXPECT_FALSE(settings_->showBorders());
}

TEST_F(GnomeAccessibilitySettingsE2ETest, DarkSchemeReachesOnlyObserversOfAllSettings) {
  EXPECT_FALSE(settings_->prefersDarkAppearance());
  // An unrelated key changes nothing the pages follow: no one is told.
  g_settings_set_int(interface_, "cursor-size", 48);
  g_settings_set_enum(interface_, "color-scheme", 1);  // prefer-dark
  ASSERT_TRUE(pumpUntil([&] { return all_->changes >= 1; }));
  drainReady();
  EXPECT_EQ(all_->changes, 1);
  EXPECT_EQ(bordersOnly_->changes, 0);
  EXPECT_TRUE(settings_->prefersDarkAppearance());
}

TEST_F(GnomeAccessibilitySettingsE2ETest, GtkPreferDarkCountsAsDark) {
  GtkSettings* gtk = gtk_settings_get_default();
  g_object_set(gtk, "gtk-application-prefer-dark-theme", TRUE, nullptr);
  ASSERT_TRUE(pumpUntil([&] { return all_->changes == 1; }));
  EXPECT_TRUE(settings_->prefersDarkAppearance());
  g_object_set(gtk, "gtk-application-prefer-dark-theme", FALSE, nullptr);
  ASSERT_TRUE(pumpUntil([&] { return all_->changes == 2; }));
  EXPECT_FALSE(settings_->prefersDarkAppearance());
}

TEST_F(GnomeAccessibilitySettingsE2ETest, ObserversThatAreGoneAreSkipped) {
  all_.reset();
  g_settings_set_boolean(accessibility_, "high-contrast", TRUE);
  ASSERT_TRUE(pumpUntil([&] { return bordersOnly_->changes == 1; }));
}

TEST(GnomeAccessibilitySettingsWithoutSchemasE2ETest, MissingSchemasReadAsOffWithoutAborting) {
  auto settings = GnomeAccessibilitySettings::create(GtkTestEnvironment::instance().loop(),
                                                     {"org.example.not.installed", "org.example.neither"});
  EXPECT_FALSE(settings->showBorders());
  EXPECT_FALSE(settings->reduceTransparency());
  EXPECT_FALSE(settings->prefersDarkAppearance());
}

}  // namespace
}  // namespace tovarin
