#include "main/page/AccessibilityDisplayBridge.h"

#include <gtest/gtest.h>

#include "tests/support/FakeAccessibilitySettings.h"
#include "tests/support/FakeWebView.h"

namespace tovarin {
namespace {

constexpr std::string_view removeBoth = "(function(c){c.remove('a11y-reduce-transparency','a11y-show-borders');";
constexpr std::string_view ending = "})(document.documentElement.classList);";

TEST(AccessibilityDisplayBridgeTest, ScriptRemovesBothAndAddsOnlyKnownClassesInOrder) {
  struct Case {
    std::vector<std::string> classes;
    std::string_view add;  // the c.add(...) part, empty for none
  } cases[] = {
      {{}, ""},
      {{"a11y-show-borders", "is-native-main"}, "c.add('a11y-show-borders');"},
      {{"a11y-reduce-transparency", "a11y-show-borders"}, "c.add('a11y-reduce-transparency','a11y-show-borders');"},
      {{"a11y-show-borders", "a11y-reduce-transparency"}, "c.add('a11y-show-borders','a11y-reduce-transparency');"},
      {{"x');alert(1);('"}, ""},
      {{"A11Y-SHOW-BORDERS"}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AccessibilityDisplayBridge::script(c.classes),
              std::string(removeBoth) + std::string(c.add) + std::string(ending))
        << testing::PrintToString(c.classes);
  }
}

TEST(AccessibilityDisplayBridgeTest, CurrentClassesFollowTheSettings) {
  struct Case {
    bool reduceTransparency, showBorders;
    std::vector<std::string> classes;
  } cases[] = {
      {false, false, {}},
      {true, false, {"a11y-reduce-transparency"}},
      {false, true, {"a11y-show-borders"}},
      {true, true, {"a11y-reduce-transparency", "a11y-show-borders"}},
  };
  for (const auto& c : cases) {
    FakeAccessibilitySettings settings;
    settings.set(c.reduceTransparency, c.showBorders, false);
    EXPECT_EQ(AccessibilityDisplayBridge::currentClasses(settings), c.classes);
  }
}

TEST(AccessibilityDisplayBridgeTest, ApplyReinstallsTheStartScriptAndUpdatesThePageShownNow) {
  FakeWebView view({});
  view.addDocumentStartScript("document.documentElement.classList.add('is-native-main');");
  FakeAccessibilitySettings settings;
  settings.set(false, true, false);
  AccessibilityDisplayBridge::apply(view, "is-native-main", settings);

  const std::string classes = std::string(removeBoth) + "c.add('a11y-show-borders');" + std::string(ending);
  ASSERT_EQ(view.documentStartScripts().size(), 1u);
  EXPECT_EQ(view.documentStartScripts()[0],
            "document.documentElement.classList.add('is-native-main');" + classes);
  ASSERT_EQ(view.scripts().size(), 1u);
  EXPECT_EQ(view.scripts()[0], classes);
  // Nothing waits for the page's answer.
  EXPECT_TRUE(view.answerNext(ScriptValue::error("page gone")));
}

class CountingObserver final : public AccessibilitySettingsObserver {
 public:
  void accessibilitySettingsDidChange() override { ++changes; }
  int changes = 0;
};

TEST(AccessibilityDisplayBridgeTest, TheShowBordersObserverHearsOnlyThatSetting) {
  FakeAccessibilitySettings settings;
  auto all = std::make_shared<CountingObserver>();
  auto borders = std::make_shared<CountingObserver>();
  AccessibilityDisplayBridge::observe(settings, all);
  AccessibilityDisplayBridge::observeShowBorders(settings, borders);

  settings.change(true, false, false);  // reduce transparency
  EXPECT_EQ(all->changes, 1);
  EXPECT_EQ(borders->changes, 0);
  settings.change(true, true, false);  // show borders
  EXPECT_EQ(all->changes, 2);
  EXPECT_EQ(borders->changes, 1);
}

}  // namespace
}  // namespace tovarin
