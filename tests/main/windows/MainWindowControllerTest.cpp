#include "main/windows/MainWindowController.h"

#include <gtest/gtest.h>

#include <fstream>

#include "main/page/WebViewFactory.h"
#include "main/windows/FrameGuard.h"
#include "main/windows/MainWindowChrome.h"
#include "tests/main/windows/MainWindowFixture.h"

namespace tovarin {
namespace {

using Kind = FakeWebView::Load::Kind;

class MainWindowControllerTest : public MainWindowFixture {};

// The argument of the page's navigation hook, read back out of the evaluated script.
Json navigationPayload(const std::string& script) {
  const std::string start = "window.__tovarinNavigate(";
  const std::string end = ") : null";
  const size_t from = script.rfind(start);
  const size_t to = script.rfind(end);
  if (from == std::string::npos || to == std::string::npos || to < from) return nullptr;
  return parseJson(script.substr(from + start.size(), to - from - start.size())).value_or(nullptr);
}

TEST_F(MainWindowControllerTest, BuildsTheWindowAndShowsTheStartingPage) {
  accessibility_.set(true, false, false);
  create();
  ASSERT_TRUE(window_ && view_);
  EXPECT_EQ(window_->style(), WindowStyle::titled);
  EXPECT_EQ(window_->contentSize(), (Size{1180, 780}));
  EXPECT_EQ(window_->minimumSize(), (Size{720, 520}));
  EXPECT_EQ(window_->title(), "The Tovarin｜岚笺");
  EXPECT_EQ(window_->background(), MainWindowChrome::nativeGround(false));
  EXPECT_EQ(window_->content(), view_);
  EXPECT_FALSE(window_->isVisible()) << "the application orders it front itself";
  EXPECT_FALSE(view_->options().transparent);
  EXPECT_EQ(view_->options().messageNames,
            (std::vector<std::string>{"mainWindow", "voice", "ocr", "notify", "download", "startup"}));
  ASSERT_EQ(view_->documentStartScripts().size(), 1u);
  EXPECT_EQ(view_->documentStartScripts()[0].rfind("document.documentElement.classList.add('is-native-main');", 0), 0u);
  EXPECT_NE(view_->documentStartScripts()[0].find("c.add('a11y-reduce-transparency');"), std::string::npos);
  ASSERT_EQ(view_->loads().size(), 1u);
  EXPECT_EQ(view_->loads()[0].kind, Kind::html);
  EXPECT_EQ(view_->loads()[0].html, WebViewFactory::startingHTML());
  EXPECT_EQ(view_->loads()[0].url, "");
  EXPECT_EQ(server_->healthCheckCount(), 0);
  EXPECT_TRUE(view_->hasClient());
}

// What waits for the main page (the sticky page at launch) is let go once its load
// ends, whichever way, and at once when no load is under way.
TEST_F(MainWindowControllerTest, WhatWaitsForThePageLoadRunsOnceWhenTheLoadEnds) {
  const std::vector<std::pair<const char*, std::function<void(FakeWebView&)>>> endings = {
      {"finished", [](FakeWebView& view) { view.finishNavigation("http://127.0.0.1:4173/index.html"); }},
      {"failed before commit", [](FakeWebView& view) { view.failProvisionalNavigation("refused"); }},
      {"failed after commit", [](FakeWebView& view) { view.failNavigation("interrupted"); }},
      {"web process ended", [](FakeWebView& view) { view.terminateWebContent(); }},
  };
  for (const auto& [what, end] : endings) {
    SCOPED_TRACE(what);
    create();
    int ran = 0;
    controller_->afterLoadSettles([&] { ++ran; });
    EXPECT_EQ(ran, 1) << "no load under way";
    controller_->load();
    controller_->afterLoadSettles([&] { ++ran; });
    EXPECT_EQ(ran, 1) << "waits for the load";
    end(*view_);
    EXPECT_EQ(ran, 2);
    view_->finishNavigation("http://127.0.0.1:4173/index.html");
    EXPECT_EQ(ran, 2) << "only once";
  }
}

TEST_F(MainWindowControllerTest, TitleComesFromTheBundleAndGroundFromADarkDesktop) {
  std::ofstream(dir_.path() + "/Info.json") << R"({"CFBundleDisplayName": "岚笺 Dev"})";
  AppConfig config(".", 4173, true);
  config.bundle = Bundle(dir_.path());
  accessibility_.set(false, false, true);
  create(config);
  EXPECT_EQ(window_->title(), "岚笺 Dev");
  EXPECT_EQ(window_->background(), MainWindowChrome::nativeGround(true));
}

TEST_F(MainWindowControllerTest, RestoresAReachableSavedFrameAndCentresOtherwise) {
  struct Case {
    std::optional<std::string> saved;
    Rect frame;
  } cases[] = {
      {"{{200, 50}, {900, 640}}", {200, 50, 900, 640}},
      {"{{5000, 50}, {900, 640}}", {130, 47, 1180, 780}},  // on a screen that is gone
      {"garbage", {130, 47, 1180, 780}},
      {std::nullopt, {130, 47, 1180, 780}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.saved.value_or("(none)"));
    if (c.saved) {
      defaults_.setString("ORVIK.mainFrame", *c.saved);
    } else {
      defaults_.remove("ORVIK.mainFrame");
    }
    create();
    EXPECT_EQ(window_->frame(), c.frame);
    EXPECT_EQ(window_->centerCount(), c.frame.width == 1180 ? 1 : 0);
  }
}

TEST_F(MainWindowControllerTest, RemembersTheFrameAcrossRuns) {
  create();
  window_->userMovesTo({300, 120, 1000, 700});
  loop_.advance(FrameAutosave::interval);
  EXPECT_EQ(defaults_.string("ORVIK.mainFrame"), "{{300, 120}, {1000, 700}}");
  controller_.reset();

  UserDefaults reread(defaults_.path());
  EXPECT_EQ(reread.string("ORVIK.mainFrame"), "{{300, 120}, {1000, 700}}");
  create();
  EXPECT_EQ(window_->frame(), (Rect{300, 120, 1000, 700}));
}

TEST_F(MainWindowControllerTest, ClosingHidesAndShowBringsTheSameWindowBack) {
  create();
  controller_->show();
  ASSERT_TRUE(window_->isVisible());
  EXPECT_EQ(desktop_.activationCount(), 1);
  const size_t loads = view_->loads().size();

  EXPECT_TRUE(window_->userCloses());
  EXPECT_FALSE(window_->isVisible());
  controller_->show();
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(desktop_.windows().size(), 1u);
  EXPECT_EQ(webViews_.made().size(), 1u);
  EXPECT_EQ(view_->loads().size(), loads);
}

TEST_F(MainWindowControllerTest, ShowAndScreenChangesPullTheWindowBackOnScreen) {
  create();
  window_->userMovesTo({3000, 100, 1180, 780});
  controller_->show();
  EXPECT_EQ(window_->frame(), (Rect{260, 95, 1180, 780}));

  window_->userMovesTo({-1170, 100, 1180, 780});
  window_->screensChanged();
  EXPECT_EQ(window_->frame(), (Rect{0, 95, 1180, 780}));
  loop_.advance(FrameAutosave::interval);
  EXPECT_EQ(defaults_.string("ORVIK.mainFrame"), "{{0, 95}, {1180, 780}}");
}

TEST_F(MainWindowControllerTest, ChromeMessagesSetTheBackgroundFromTheMainFrameOnly) {
  create();
  const Rgba page{26 / 255.0, 43 / 255.0, 60 / 255.0, 1};
  const size_t before = window_->backgrounds().size();
  MessageSource subFrame{true, false, "https://ads.example.com/", "https://ads.example.com"};
  MessageSource unknown;
  view_->postMessage("mainWindow", {{"type", "chrome"}, {"background", "#ff0000"}}, subFrame);
  view_->postMessage("mainWindow", {{"type", "chrome"}, {"background", "#ff0000"}}, unknown);
  view_->postMessage("mainWindow", {{"type", "chrome"}, {"background", "#abc"}});
  view_->postMessage("mainWindow", Json::array());
  EXPECT_EQ(window_->backgrounds().size(), before);

  view_->postMessage("mainWindow", {{"type", "chrome"}, {"background", "#1A2b3C"}});
  EXPECT_EQ(window_->background(), page);
}

TEST_F(MainWindowControllerTest, StartupMessagesRetryOnlyWhileThePageNeverLoaded) {
  create();
  struct Case {
    const char* what;
    Json body;
    MessageSource source;
    int healthChecks;
  } cases[] = {
      {"retry", {{"type", "retry"}}, FakeWebView::mainFrameSource(4173), 1},
      {"retry from the offline page", {{"type", "retry"}}, {true, true, "about:blank", "null"}, 1},
      {"other type", {{"type", "reload"}}, FakeWebView::mainFrameSource(4173), 0},
      {"type not a string", {{"type", 1}}, FakeWebView::mainFrameSource(4173), 0},
      {"not an object", "retry", FakeWebView::mainFrameSource(4173), 0},
      {"from a sub-frame", {{"type", "retry"}}, {true, false, "https://x.example/", "https://x.example"}, 0},
      {"frame unknown", {{"type", "retry"}}, MessageSource{}, 0},
  };
  for (const auto& c : cases) {
    const int before = server_->healthCheckCount();
    view_->postMessage("startup", c.body, c.source);
    EXPECT_EQ(server_->healthCheckCount() - before, c.healthChecks) << c.what;
  }

  finishMainPage();
  const int before = server_->healthCheckCount();
  view_->postMessage("startup", {{"type", "retry"}});
  EXPECT_EQ(server_->healthCheckCount(), before) << "the page has loaded once";
}

TEST_F(MainWindowControllerTest, MessagesForBridgesNotYetHereAndUnknownNamesChangeNothing) {
  create();
  for (const char* name : {"voice", "ocr", "notify", "download", "sticky", ""}) {
    view_->postMessage(name, {{"type", "retry"}, {"background", "#000000"}});
  }
  EXPECT_EQ(server_->healthCheckCount(), 0);
  EXPECT_EQ(window_->backgrounds().size(), 1u);
  EXPECT_TRUE(view_->pendingCalls().empty());
  EXPECT_EQ(view_->loads().size(), 1u);
}

TEST_F(MainWindowControllerTest, LoadedOnceNeedsTheMainPage) {
  create();
  view_->finishNavigation("about:blank");
  EXPECT_FALSE(controller_->loadedOnce());
  view_->finishNavigation("http://127.0.0.1:4173/settings.html");
  EXPECT_FALSE(controller_->loadedOnce());
  finishMainPage();
  EXPECT_TRUE(controller_->loadedOnce());
  view_->failNavigation("interrupted");
  EXPECT_TRUE(controller_->loadedOnce()) << "a failed navigation keeps it";
  view_->terminateWebContent();
  EXPECT_FALSE(controller_->loadedOnce());
}

TEST_F(MainWindowControllerTest, LoadSkipsALoadedPageUnlessForced) {
  create();
  controller_->load();
  ASSERT_TRUE(lastLoadIsMainPage());
  EXPECT_EQ(view_->lastLoad()->timeoutSeconds, 60);
  finishMainPage();
  controller_->load();
  EXPECT_EQ(urlLoads(), 1u);
  controller_->load(true);
  EXPECT_EQ(urlLoads(), 2u);
}

TEST_F(MainWindowControllerTest, RunCommandEndsOnABooleanAnswer) {
  create();
  int completions = 0;
  controller_->runCommand("view.tasks", 40, [&] { ++completions; });
  ASSERT_EQ(view_->pendingCalls().size(), 1u);
  EXPECT_EQ(view_->pendingCalls()[0].script,
            "(window.__calendar && window.__calendar.ctx) ? window.__calendar.ctx.runCommand('view.tasks') : null");
  view_->answerNext(ScriptValue::ofBool(true));
  loop_.advance(1.0);
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(view_->pendingCalls().empty());

  controller_->runCommand("view.unknown", 40, [&] { ++completions; });
  view_->answerNext(ScriptValue::ofBool(false));
  loop_.advance(1.0);
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(view_->pendingCalls().empty()) << "an unknown command is not retried";
  EXPECT_EQ(logCount("command view.unknown is not registered in the page"), 1u);
}

TEST_F(MainWindowControllerTest, RunCommandRetriesEveryQuarterSecondWhileThePageIsNotReady) {
  create();
  int completions = 0;
  controller_->runCommand("view.tasks", 40, [&] { ++completions; });
  const ScriptValue notReady[] = {ScriptValue::nullValue(), ScriptValue::undefinedValue(),
                                  ScriptValue::error("ReferenceError"), ScriptValue::ofNumber(1),
                                  ScriptValue::ofString("true")};
  for (const auto& answer : notReady) {
    ASSERT_TRUE(view_->answerNext(answer));
    loop_.advance(0.249);
    EXPECT_TRUE(view_->pendingCalls().empty());
    loop_.advance(0.001);
    ASSERT_EQ(view_->pendingCalls().size(), 1u);
  }
  view_->answerNext(ScriptValue::ofBool(true));
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(view_->scripts().size(), 6u);
}

TEST_F(MainWindowControllerTest, RunCommandGivesUpAfterItsRetries) {
  create();
  controller_->runCommand("view.tasks");
  for (int attempt = 0; attempt < 41; ++attempt) {
    ASSERT_TRUE(view_->answerNext(ScriptValue::nullValue())) << attempt;
    loop_.advance(0.25);
  }
  loop_.advance(5.0);
  EXPECT_EQ(view_->scripts().size(), 41u);
  EXPECT_TRUE(view_->pendingCalls().empty());
  EXPECT_EQ(logCount("command view.tasks dropped: page never became ready"), 1u);
}

TEST_F(MainWindowControllerTest, RunCommandRefusesNamesThatAreNoIdentifiers) {
  create();
  for (const char* name : {"x'); alert(1); ('", "", "view tasks", "命令"}) {
    controller_->runCommand(name);
  }
  EXPECT_TRUE(view_->scripts().empty());
}

TEST_F(MainWindowControllerTest, RetriesStopOnceTheControllerIsGone) {
  create();
  controller_->runCommand("view.tasks");
  controller_->navigate({{"surface", "tasks"}});
  view_->answerAll(ScriptValue::nullValue());
  controller_.reset();
  loop_.advance(1.0);
  EXPECT_EQ(view_->scripts().size(), 2u);
  EXPECT_TRUE(view_->pendingCalls().empty());
}

TEST_F(MainWindowControllerTest, NavigateHandsTheTargetAsJsonAndRetriesUntilDelivered) {
  create();
  controller_->navigate({{"surface", "chat"}, {"cardId", "c-1"}});
  ASSERT_EQ(view_->pendingCalls().size(), 1u);
  const std::string script = view_->pendingCalls()[0].script;
  EXPECT_EQ(script.rfind("typeof window.__tovarinNavigate === 'function' ? window.__tovarinNavigate(", 0), 0u);
  EXPECT_EQ(navigationPayload(script), (Json{{"surface", "chat"}, {"cardId", "c-1"}}));

  view_->answerNext(ScriptValue::nullValue());
  loop_.advance(0.25);
  view_->answerNext(ScriptValue::error("not yet"));
  loop_.advance(0.25);
  ASSERT_EQ(view_->pendingCalls().size(), 1u);
  EXPECT_EQ(view_->pendingCalls()[0].script, script);
  view_->answerNext(ScriptValue::ofBool(false));  // any present value counts as delivered
  loop_.advance(5.0);
  EXPECT_EQ(view_->scripts().size(), 3u);
}

TEST_F(MainWindowControllerTest, NavigateDropsSilentlyAfterItsRetries) {
  create();
  controller_->navigate({{"surface", "tasks"}}, 2);
  for (int attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(view_->answerNext(ScriptValue::undefinedValue()));
    loop_.advance(0.25);
  }
  loop_.advance(5.0);
  EXPECT_EQ(view_->scripts().size(), 3u);
  EXPECT_TRUE(logLines().empty());
}

TEST_F(MainWindowControllerTest, NavigatePayloadCannotBreakOutOfItsArgument) {
  create();
  const std::string hostile = "x\"}); alert(1); ({\"a\":\"</script>\u2028\\";
  controller_->navigate({{"surface", hostile}});
  ASSERT_EQ(view_->pendingCalls().size(), 1u);
  EXPECT_EQ(navigationPayload(view_->pendingCalls()[0].script), (Json{{"surface", hostile}}));
}

TEST_F(MainWindowControllerTest, OpenConversationShowsThenFocusesTheChat) {
  create();
  controller_->openConversation();
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(desktop_.activationCount(), 1);
  EXPECT_EQ(server_->healthCheckCount(), 1);
  ASSERT_EQ(view_->pendingCalls().size(), 1u);
  EXPECT_NE(view_->pendingCalls()[0].script.find("runCommand('open-ai-chat')"), std::string::npos);
  view_->answerNext(ScriptValue::nullValue());
  loop_.advance(0.25);
  view_->answerNext(ScriptValue::ofBool(true));
  ASSERT_EQ(view_->pendingCalls().size(), 1u);
  EXPECT_EQ(view_->pendingCalls()[0].script, "window.__calendar.ctx.bus.emit('chat:focus', {})");
}

TEST_F(MainWindowControllerTest, DisplaySettingChangesReachThePageAndTheGround) {
  create();
  // Without a show-borders change: the window must hear of every display setting.
  accessibility_.change(true, false, true);
  loop_.runUntilIdle();
  ASSERT_EQ(view_->documentStartScripts().size(), 1u);
  EXPECT_NE(view_->documentStartScripts()[0].find("add('is-native-main');"), std::string::npos);
  EXPECT_NE(view_->documentStartScripts()[0].find("c.add('a11y-reduce-transparency');"), std::string::npos);
  ASSERT_EQ(view_->scripts().size(), 1u);
  EXPECT_NE(view_->scripts()[0].find("c.add('a11y-reduce-transparency');"), std::string::npos);
  EXPECT_EQ(window_->background(), MainWindowChrome::nativeGround(true));

  accessibility_.change(true, true, true);
  loop_.runUntilIdle();
  ASSERT_EQ(view_->scripts().size(), 2u);
  EXPECT_NE(view_->scripts()[1].find("c.add('a11y-reduce-transparency','a11y-show-borders');"), std::string::npos);

  // Once the page chose its colour, the appearance no longer repaints the window.
  view_->postMessage("mainWindow", {{"type", "chrome"}, {"background", "#102030"}});
  accessibility_.change(true, true, false);
  loop_.runUntilIdle();
  EXPECT_EQ(window_->background(), MainWindowChrome::color("#102030"));
}

}  // namespace
}  // namespace tovarin

namespace tovarin {
namespace {

// The page's download protocol and panels reach the window's panels; without a panel
// presenter every panel ends as cancelled, never as a silent yes.
TEST_F(MainWindowControllerTest, DownloadMessagesAndPanelsGoToTheWindowsPanels) {
  create();
  const std::string blob = "blob:http://127.0.0.1:4173/b1";
  view_->postMessage("download", {{"type", "expect"}, {"requestId", "r1"}, {"blobURL", blob}, {"filename", "a.txt"}});
  view_->postMessage("download", {{"type", "cancel"}, {"requestId", "r1"}, {"blobURL", blob}});
  bool receipt = false;
  for (const auto& call : view_->pendingCalls()) {
    if (call.arguments && call.arguments->value("name", "") == "__tovarinDownload") {
      EXPECT_EQ((*call.arguments)["payload"]["status"], "cancelled");
      EXPECT_EQ((*call.arguments)["toastHost"], "__calendar");
      receipt = true;
    }
  }
  EXPECT_TRUE(receipt);
  NavigationAction link;
  link.url = blob;
  link.targetsMainFrame = true;
  link.initiator = FakeWebView::mainFrameSource(4173);
  EXPECT_EQ(view_->decideNavigation(link), NavigationDecision::download);

  std::optional<ScriptDialogAnswer> answer;
  controller_->pageHost()->webViewRunScriptDialog(
      ScriptDialog{ScriptDialog::Kind::confirm, "ok?", std::nullopt, FakeWebView::mainFrameSource(4173)},
      [&](ScriptDialogAnswer a) { answer = a; });
  ASSERT_TRUE(answer);
  EXPECT_FALSE(answer->confirmed);
  EXPECT_TRUE(controller_->pageHost()->webViewAllowsAuthentication("127.0.0.1", 4173));
  EXPECT_FALSE(controller_->pageHost()->webViewAllowsAuthentication("127.0.0.1", 4174));
  EXPECT_FALSE(controller_->pageHost()->webViewAllowsAuthentication("evil.example", 4173));
  EXPECT_TRUE(controller_->pageHost()->webViewAllowsPrinting(FakeWebView::mainFrameSource(4173)));
  EXPECT_FALSE(controller_->pageHost()->webViewAllowsPrinting(MessageSource{}));
}

}  // namespace
}  // namespace tovarin
