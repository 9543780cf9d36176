#include "main/windows/StickySettingsRoundTrip.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "tests/main/windows/StickyWindowFixture.h"
#include "tests/support/FakeHttpClient.h"
#include "tests/support/FakePanelPresenter.h"

namespace tovarin {
namespace {

std::string settingsBody(const std::string& settings) { return R"({"data":{"settings":)" + settings + "}}"; }

HttpResponse answer(const std::string& settings) {
  HttpResponse response;
  response.responded = true;
  response.status = 200;
  response.body = settingsBody(settings);
  return response;
}

double nowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(system_clock::now().time_since_epoch()).count();
}

// The sticky window on a fake page and a fake server, with the real round trip in place
// of the recording exchange.
class StickySettingsRoundTripTest : public StickyWindowFixture {
 protected:
  void SetUp() override {
    create();
    finishWidgetPage();
    roundTrip_ = StickySettingsRoundTrip::create(
        "http://127.0.0.1:4173/api/data", {loop_, loop_, http_, presenter_}, controller_);
    controller_->setSettingsExchange(roundTrip_);
    scriptsBefore_ = view_->scripts().size();
  }

  // Settings scripts sent to the page since the test began.
  size_t dispatches() const { return view_->scripts().size() - scriptsBefore_; }
  const std::string& lastScript() const { return view_->scripts().back(); }
  // Answers read `index` and lets the answer travel back to the main loop.
  void serverAnswers(size_t index, const std::string& settings) {
    http_->complete(index, answer(settings));
    loop_.runUntilIdle();
  }
  void pageAnswers(ScriptValue value) {
    ASSERT_TRUE(view_->answerNext(std::move(value)));
    loop_.runUntilIdle();
  }
  const std::vector<FakePanelPresenter::AlertRequest>& alerts() { return presenter_->alerts(); }

  std::shared_ptr<FakeHttpClient> http_ = std::make_shared<FakeHttpClient>();
  std::shared_ptr<StickySettingsRoundTrip> roundTrip_;
  std::shared_ptr<FakePanelPresenter> presenter_ = std::make_shared<FakePanelPresenter>();
  size_t scriptsBefore_ = 0;
};

TEST_F(StickySettingsRoundTripTest, TheScriptGuardsExpiryStoreAndGenerationAndQuotesAllButTheBooleanKey) {
  const double before = nowMs();
  controller_->setLevel(StickyLevel::topmost);
  ASSERT_EQ(dispatches(), 1u);
  const std::regex expiry(R"(Date\.now\(\) >= ([0-9]+(\.[0-9]+)?)\))");
  std::smatch match;
  const std::string script = lastScript();
  ASSERT_TRUE(std::regex_search(script, match, expiry)) << script;
  const double expiresAt = std::stod(match[1]);
  EXPECT_GE(expiresAt, before + 10000);
  EXPECT_LE(expiresAt, nowMs() + 10000);
  EXPECT_EQ(script, "(() => {\n"
                    "  if (Date.now() >= " + match[1].str() + ") return false;\n"
                    "  const ctx = window.__widget && window.__widget.ctx;\n"
                    "  if (!ctx) return false;\n"
                    "  const generations = window.__stickySettingGenerations || (window.__stickySettingGenerations = {});\n"
                    "  if ((generations['stickyLevel'] || 0) > 1) return false;\n"
                    "  generations['stickyLevel'] = 1;\n"
                    "  ctx.dispatch(ctx.actions.patchSettings({ stickyLevel: 'topmost' }));\n"
                    "  return true;\n"
                    "})()");

  controller_->hide();
  EXPECT_NE(lastScript().find("patchSettings({ floatingWindow: false })"), std::string::npos) << lastScript();
  EXPECT_NE(lastScript().find("(generations['floatingWindow'] || 0) > 2"), std::string::npos) << lastScript();
  controller_->setSpaceScope(StickySpaceScope::all);
  EXPECT_NE(lastScript().find("patchSettings({ stickySpaceScope: 'all' })"), std::string::npos) << lastScript();
}

TEST_F(StickySettingsRoundTripTest, UnknownSettingsNeverReachThePage) {
  roundTrip_->settingChanged("stickyLevel", "x'); alert(1); ('", "floating");
  roundTrip_->settingChanged("stickyLevel", "topmost", "x'); alert(1); ('");
  roundTrip_->settingChanged("theme", "dark", "light");
  EXPECT_EQ(dispatches(), 0u);
  EXPECT_TRUE(roundTrip_->state().pending().empty());
}

TEST_F(StickySettingsRoundTripTest, RefusedChangesAreResentEveryQuarterSecondUntilThePageTakesThem) {
  controller_->setLevel(StickyLevel::topmost);
  EXPECT_EQ(controller_->level(), StickyLevel::topmost) << "applied before anyone confirms it";
  EXPECT_EQ(window_->stacking(), WindowStacking::above);
  const ScriptValue refusals[] = {ScriptValue::ofBool(false), ScriptValue::error("ReferenceError"),
                                  ScriptValue::undefinedValue(), ScriptValue::ofString("true")};
  size_t expected = 1;
  for (const ScriptValue& refusal : refusals) {
    pageAnswers(refusal);
    loop_.advance(0.249);
    EXPECT_EQ(dispatches(), expected) << "too early";
    loop_.advance(0.001);
    EXPECT_EQ(dispatches(), ++expected);
  }
  EXPECT_EQ(http_->requestCount(), 0u) << "nothing is read before the page takes the change";
  pageAnswers(ScriptValue::ofBool(true));
  EXPECT_EQ(http_->requestCount(), 1u) << "read back at once";
  loop_.advance(1.0);
  EXPECT_EQ(dispatches(), expected) << "no more sending once taken";
}

TEST_F(StickySettingsRoundTripTest, ThePagesAnswerForAReplacedChangeIsIgnored) {
  controller_->setLevel(StickyLevel::topmost);
  controller_->setLevel(StickyLevel::main);
  ASSERT_EQ(dispatches(), 2u);
  pageAnswers(ScriptValue::ofBool(true));  // the first change's answer
  EXPECT_EQ(http_->requestCount(), 0u) << "no read for a change that is gone";
  EXPECT_FALSE(roundTrip_->state().pending().at("stickyLevel").dispatched);
  pageAnswers(ScriptValue::ofBool(false));  // the second one's
  loop_.advance(0.25);
  EXPECT_EQ(dispatches(), 3u);
  EXPECT_NE(lastScript().find("stickyLevel: 'main'"), std::string::npos) << "only the newest is sent again";
}

TEST_F(StickySettingsRoundTripTest, ATakenChangeIsReadBackAtOnceAndAfterHalfTwoAndFiveSecondsUntilConfirmed) {
  controller_->setLevel(StickyLevel::topmost);
  pageAnswers(ScriptValue::ofBool(true));
  ASSERT_EQ(http_->requestCount(), 1u);
  EXPECT_EQ(http_->request(0).url, "http://127.0.0.1:4173/api/data");
  EXPECT_EQ(http_->request(0).method, "GET");
  EXPECT_EQ(http_->request(0).timeoutSeconds, 3);
  // The server still has the old level: the optimistic one stays.
  serverAnswers(0, R"({"floatingWindow":true,"stickyLevel":"floating"})");
  EXPECT_EQ(controller_->level(), StickyLevel::topmost);

  const std::pair<double, size_t> schedule[] = {{0.499, 1}, {0.001, 2}, {1.499, 2}, {0.001, 3}, {2.999, 3}, {0.001, 4}};
  size_t answered = 1;
  for (const auto& [step, requests] : schedule) {
    loop_.advance(step);
    ASSERT_EQ(http_->requestCount(), requests);
    // Each read is answered as it comes, still stale, so that none is collapsed.
    while (answered < requests) serverAnswers(answered++, R"({"floatingWindow":true,"stickyLevel":"floating"})");
  }
  EXPECT_EQ(controller_->level(), StickyLevel::topmost);
  loop_.advance(4.999);
  EXPECT_EQ(http_->requestCount(), 4u) << "no reads after the last one";
  EXPECT_EQ(controller_->level(), StickyLevel::topmost);
  EXPECT_TRUE(alerts().empty());
  loop_.advance(0.001);
  EXPECT_EQ(controller_->level(), StickyLevel::floating) << "rolled back to the server's value at 10 s";
  EXPECT_EQ(window_->stacking(), WindowStacking::above) << "floating still stacks above";
  EXPECT_EQ(alerts().size(), 1u);
}

TEST_F(StickySettingsRoundTripTest, AChangeConfirmedByTheFirstReadStopsTheReadsAndTheRollback) {
  controller_->setLevel(StickyLevel::desktop);
  pageAnswers(ScriptValue::ofBool(true));
  serverAnswers(0, R"({"floatingWindow":true,"stickyLevel":"desktop"})");
  EXPECT_TRUE(roundTrip_->state().pending().empty());
  loop_.advance(11.0);
  EXPECT_EQ(http_->requestCount(), 1u);
  EXPECT_EQ(controller_->level(), StickyLevel::desktop);
  EXPECT_EQ(window_->stacking(), WindowStacking::below);
  EXPECT_TRUE(alerts().empty());
}

TEST_F(StickySettingsRoundTripTest, UnconfirmedChangesRollBackAtTenSecondsWithOneAlertAtATime) {
  controller_->show();
  ASSERT_TRUE(window_->isVisible());
  loop_.advance(1.0);
  controller_->setLevel(StickyLevel::topmost);
  controller_->setLevel(StickyLevel::main);  // a series: rolls back to the level before both
  controller_->setSpaceScope(StickySpaceScope::all);
  loop_.advance(8.999);  // the page never answers
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(alerts().empty());
  loop_.advance(0.001);
  EXPECT_FALSE(window_->isVisible()) << "the show rolls back to hidden";
  ASSERT_EQ(alerts().size(), 1u);
  EXPECT_EQ(alerts()[0].panel.messageText, "浮窗设置暂未确认");
  EXPECT_EQ(alerts()[0].panel.informativeText,
            "浮窗设置尚未确认保存，窗口已恢复上次状态。请打开主窗口，在「Mac 桌面体验」中核对并重新选择。");
  EXPECT_EQ(alerts()[0].panel.buttons, (std::vector<std::string>{"打开设置", "稍后"}));
  EXPECT_TRUE(roundTrip_->failureVisible());

  loop_.advance(1.0);
  EXPECT_EQ(controller_->level(), StickyLevel::floating);
  EXPECT_EQ(controller_->spaceScope(), StickySpaceScope::current);
  EXPECT_FALSE(window_->onAllWorkspaces());
  EXPECT_EQ(alerts().size(), 1u) << "failures while the alert shows only roll back";

  presenter_->answerAlert(0, 1);  // "稍后"
  EXPECT_FALSE(roundTrip_->failureVisible());
  EXPECT_TRUE(navigations_.empty());
  controller_->setLevel(StickyLevel::normal);
  loop_.advance(10.0);
  EXPECT_EQ(controller_->level(), StickyLevel::floating);
  ASSERT_EQ(alerts().size(), 2u) << "a new failure after the alert closed shows it again";
  presenter_->answerAlert(1, 0);  // "打开设置"
  EXPECT_EQ(navigations_, (std::vector<std::map<std::string, std::string>>{{{"panel", "settings"}}}));
  const auto scriptsAfterFailures = dispatches();
  loop_.advance(1.0);
  EXPECT_EQ(dispatches(), scriptsAfterFailures) << "failed changes are not sent any more";
}

TEST_F(StickySettingsRoundTripTest, AFailureHandlerReplacesTheAlert) {
  std::vector<std::string> failures;
  roundTrip_->onSettingFailure = [&](const std::string& text) { failures.push_back(text); };
  controller_->setLevel(StickyLevel::topmost);
  controller_->setSpaceScope(StickySpaceScope::all);
  loop_.advance(10.0);
  EXPECT_EQ(failures.size(), 2u) << "every failure is reported to the handler";
  EXPECT_TRUE(alerts().empty());
}

TEST_F(StickySettingsRoundTripTest, HidingStaysHiddenUntilTheRollbackEvenWhenTheServerStillSaysShown) {
  controller_->show();
  pageAnswers(ScriptValue::ofBool(true));
  serverAnswers(0, R"({"floatingWindow":true})");
  ASSERT_TRUE(window_->isVisible());
  controller_->hide();
  size_t answered = 1;
  for (int quarter = 1; quarter < 40; ++quarter) {
    (void)view_->answerAll(ScriptValue::ofBool(false));
    controller_->syncFromServer();  // as a change on the server would
    while (answered < http_->requestCount()) serverAnswers(answered++, R"({"floatingWindow":true})");
    loop_.advance(0.25);
    ASSERT_FALSE(window_->isVisible()) << "at " << quarter * 0.25 << " s";
  }
  EXPECT_GT(answered, 30u) << "the server was read all along";
  loop_.advance(0.25);
  EXPECT_TRUE(window_->isVisible()) << "the server's value comes back at 10 s";
}

TEST_F(StickySettingsRoundTripTest, AReadThatBeganBeforeANewerChangeIsIgnored) {
  controller_->syncFromServer();
  ASSERT_EQ(http_->requestCount(), 1u);
  controller_->setLevel(StickyLevel::desktop);
  serverAnswers(0, R"({"floatingWindow":true,"stickyLevel":"topmost","stickySpaceScope":"all"})");
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(controller_->level(), StickyLevel::desktop);
  EXPECT_EQ(controller_->spaceScope(), StickySpaceScope::current) << "not even the keys nobody changed";
}

TEST_F(StickySettingsRoundTripTest, ReadsAskedForDuringAReadCollapseIntoOneFollowUp) {
  controller_->syncFromServer();
  controller_->syncFromServer();
  controller_->syncFromServer();
  roundTrip_->syncFromServer();
  EXPECT_EQ(http_->requestCount(), 1u) << "one read in flight";
  http_->complete(0, FakeHttpClient::noResponse());
  loop_.runUntilIdle();
  EXPECT_EQ(http_->requestCount(), 2u) << "one follow-up, even after a failed read";
  serverAnswers(1, R"({"floatingWindow":false})");
  loop_.advance(1.0);
  EXPECT_EQ(http_->requestCount(), 2u);
}

TEST_F(StickySettingsRoundTripTest, ServerValuesMoveTheWindowUnlessTheUsersOwnChangeIsPending) {
  int changes = levelChanges_;
  controller_->syncFromServer();
  serverAnswers(0, R"({"stickyLevel":"desktop","stickySpaceScope":"all"})");
  EXPECT_TRUE(window_->isVisible()) << "a missing floatingWindow means shown";
  EXPECT_EQ(window_->showCount(), 0) << "shown without taking the focus";
  EXPECT_EQ(controller_->level(), StickyLevel::desktop);
  EXPECT_EQ(window_->stacking(), WindowStacking::below);
  EXPECT_TRUE(window_->onAllWorkspaces());
  EXPECT_EQ(levelChanges_, changes + 2);

  changes = levelChanges_;
  controller_->syncFromServer();
  serverAnswers(1, R"({"floatingWindow":"no","stickyLevel":"desktop","stickySpaceScope":"all"})");
  EXPECT_TRUE(window_->isVisible()) << "a floatingWindow that is not a Boolean means shown";
  EXPECT_EQ(levelChanges_, changes) << "equal values change nothing";

  controller_->setSpaceScope(StickySpaceScope::current);
  controller_->syncFromServer();
  serverAnswers(2, R"({"floatingWindow":false,"stickyLevel":"Topmost","stickySpaceScope":"all"})");
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(controller_->level(), StickyLevel::desktop) << "a name that is not a level is ignored";
  EXPECT_EQ(controller_->spaceScope(), StickySpaceScope::current) << "the user's own change is pending";
}

TEST_F(StickySettingsRoundTripTest, TheRoundTripGoneMidRetryLeavesNothingBehind) {
  controller_->setLevel(StickyLevel::topmost);
  pageAnswers(ScriptValue::ofBool(false));
  std::weak_ptr<StickySettingsRoundTrip> weak = roundTrip_;
  roundTrip_.reset();
  EXPECT_TRUE(weak.expired()) << "no timer keeps it alive";
  loop_.advance(11.0);
  EXPECT_EQ(dispatches(), 1u);
  EXPECT_EQ(controller_->level(), StickyLevel::topmost);
}

TEST(StickySettingsAnswerTest, OnlyAnOkObjectWithDataAndSettingsObjectsCounts) {
  struct Row {
    const char* what;
    HttpResponse response;
    std::optional<StickySettingsState::Values> expected;
  };
  auto withStatus = [](int status, std::string body) {
    HttpResponse response;
    response.responded = true;
    response.status = status;
    response.body = std::move(body);
    return response;
  };
  const Row rows[] = {
      {"all three", answer(R"({"floatingWindow":false,"stickyLevel":"main","stickySpaceScope":"all"})"),
       StickySettingsState::Values{{"floatingWindow", "false"}, {"stickyLevel", "main"}, {"stickySpaceScope", "all"}}},
      {"empty settings: shown", answer("{}"), StickySettingsState::Values{{"floatingWindow", "true"}}},
      {"wrong types and names dropped", answer(R"({"floatingWindow":1,"stickyLevel":3,"stickySpaceScope":"All"})"),
       StickySettingsState::Values{{"floatingWindow", "true"}}},
      {"no response", FakeHttpClient::noResponse(), std::nullopt},
      {"status 500", withStatus(500, settingsBody("{}")), std::nullopt},
      {"status 204", withStatus(204, ""), std::nullopt},
      {"not JSON", withStatus(200, "{\"data\""), std::nullopt},
      {"an array", withStatus(200, "[]"), std::nullopt},
      {"no data", withStatus(200, R"({"settings":{}})"), std::nullopt},
      {"data not an object", withStatus(200, R"({"data":[{"settings":{}}]})"), std::nullopt},
      {"settings not an object", withStatus(200, R"({"data":{"settings":"floatingWindow"}})"), std::nullopt},
      {"nested too deep", withStatus(200, std::string(200, '[') + std::string(200, ']')), std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(StickySettingsRoundTrip::parseServerSettings(row.response), row.expected);
  }
}

}  // namespace
}  // namespace tovarin
