#include "main/page/PageDelivery.h"

#include <gtest/gtest.h>

#include "tests/support/FakeWebView.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

class PageDeliveryTest : public ::testing::Test {
 protected:
  // An unanswered call holds its web view, as the engine's pending call would; answering
  // it lets both go.
  void TearDown() override { page_->answerAll(ScriptValue::ofBool(true)); }
  void deliver(int retries = 40) {
    PageDelivery::deliverToPage(loop_, page_, "__ocr", Json{{"requestId", "r1"}, {"text", "字"}}, "ocr", retries);
  }
  // Answers every attempt with `answer` until none is pending after the retry interval.
  size_t answerEveryAttempt(const ScriptValue& answer) {
    size_t attempts = 0;
    while (page_->answerNext(answer)) {
      ++attempts;
      loop_.advance(PageDelivery::retryInterval);
    }
    return attempts;
  }

  ManualLoop loop_;
  std::shared_ptr<FakeWebView> page_ = std::make_shared<FakeWebView>(WebViewOptions{});
  LogRecorder log_;
};

const std::string givenUpLine = "[orvik] ocr: 结果送不出去，页面一直没有装 __ocr";

TEST_F(PageDeliveryTest, AnAcknowledgingAnswerEndsTheDeliveryAtOnce) {
  const std::vector<ScriptValue> acknowledgements = {ScriptValue::ofBool(true), ScriptValue::ofBool(false),
                                                     ScriptValue::ofNumber(0), ScriptValue::ofNumber(3)};
  for (const auto& answer : acknowledgements) {
    deliver();
    ASSERT_TRUE(page_->answerNext(answer));
    loop_.advance(1.0);
    EXPECT_TRUE(page_->pendingCalls().empty());
  }
  EXPECT_TRUE(log_.matching("[orvik] ocr:").empty());
}

TEST_F(PageDeliveryTest, WithoutAnAcknowledgementThePayloadIsSent41TimesThenLoggedOnce) {
  const std::vector<ScriptValue> nonAnswers = {ScriptValue::undefinedValue(), ScriptValue::nullValue(),
                                               ScriptValue::ofString("yes"), ScriptValue::error("TypeError")};
  for (const auto& answer : nonAnswers) {
    deliver();
    EXPECT_EQ(answerEveryAttempt(answer), 41u);
  }
  EXPECT_EQ(log_.count(givenUpLine), nonAnswers.size());
}

TEST_F(PageDeliveryTest, RetriesWaitAQuarterSecondAndCarryTheSamePayload) {
  deliver();
  ASSERT_TRUE(page_->answerNext(ScriptValue::nullValue()));
  loop_.advance(0.249);
  EXPECT_TRUE(page_->pendingCalls().empty());
  loop_.advance(0.001);
  ASSERT_EQ(page_->pendingCalls().size(), 1u);
  const auto& call = page_->pendingCalls().front();
  EXPECT_EQ(call.arguments->at("payload"), (Json{{"requestId", "r1"}, {"text", "字"}}));
  EXPECT_EQ(call.script, PageDelivery::deliverScript("__ocr"));
}

TEST_F(PageDeliveryTest, ALateAcknowledgementStopsTheRetries) {
  deliver();
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(page_->answerNext(ScriptValue::undefinedValue()));
    loop_.advance(PageDelivery::retryInterval);
  }
  ASSERT_TRUE(page_->answerNext(ScriptValue::ofBool(true)));
  loop_.advance(5.0);
  EXPECT_TRUE(page_->pendingCalls().empty());
  EXPECT_FALSE(log_.contains(givenUpLine));
}

TEST_F(PageDeliveryTest, NoWebViewMeansNothingHappens) {
  PageDelivery::deliverToPage(loop_, nullptr, "__ocr", Json::object(), "ocr", 40);
  PageDelivery::post(loop_, std::weak_ptr<WebView>(), "__ocr", Json::object(), "ocr");
  loop_.advance(20.0);
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(PageDeliveryTest, PostedDeliveryFindsTheWebViewOnTheMainLoop) {
  PageDelivery::post(loop_, page_, "__notify", Json{{"id", "a"}, {"ok", true}}, "notify");
  EXPECT_TRUE(page_->pendingCalls().empty());
  loop_.runUntilIdle();
  ASSERT_EQ(page_->pendingCalls().size(), 1u);
  EXPECT_NE(page_->pendingCalls().front().script.find("window.__notify.deliver(payload)"), std::string::npos);
}

TEST_F(PageDeliveryTest, ThePayloadTravelsAsDataNeverAsScript) {
  const std::string hostile = "\"); alert(1); (\"";
  PageDelivery::deliverToPage(loop_, page_, "__ocr", Json{{"text", hostile}}, "ocr", 0);
  ASSERT_EQ(page_->pendingCalls().size(), 1u);
  EXPECT_EQ(page_->pendingCalls().front().script.find(hostile), std::string::npos);
  EXPECT_EQ(page_->pendingCalls().front().arguments->at("payload").at("text"), hostile);
}

// What each page function's answer means; a wrong cell retries a delivered payload or
// drops one that never arrived.
TEST(PageDeliveryRulesTest, EachPageFunctionsAnswerReadsAsItsOwnAcknowledgement) {
  struct Row {
    const char* answer;
    ScriptValue value;
    bool booleanOrNumber, isTrue, boolean, anyValue;
  };
  const Row rows[] = {
      {"true", ScriptValue::ofBool(true), true, true, true, true},
      {"false", ScriptValue::ofBool(false), true, false, true, true},
      {"zero", ScriptValue::ofNumber(0), true, false, false, true},
      {"a string", ScriptValue::ofString("yes"), false, false, false, true},
      {"null", ScriptValue::nullValue(), false, false, false, false},
      {"undefined", ScriptValue::undefinedValue(), false, false, false, false},
      {"an error", ScriptValue::error("TypeError"), false, false, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.answer);
    EXPECT_EQ(PageDelivery::answeredBooleanOrNumber(row.value), row.booleanOrNumber);
    EXPECT_EQ(PageDelivery::answeredTrue(row.value), row.isTrue);
    EXPECT_EQ(PageDelivery::answeredBoolean(row.value), row.boolean);
    EXPECT_EQ(PageDelivery::answeredAnyValue(row.value), row.anyValue);
  }
}

// An offer whose owner has gone stops where it is: no more attempts, no acknowledgement,
// no give-up line.
TEST_F(PageDeliveryTest, AnAttemptThatFindsItsOwnerGoneEndsTheOfferQuietly) {
  auto owner = std::make_shared<int>(0);
  int acknowledged = 0, givenUp = 0;
  PageDelivery::offer(loop_,
                      {.attempt =
                           [this, weak = std::weak_ptr<int>(owner)](std::function<void(ScriptValue)> answered) {
                             if (weak.lock()) page_->evaluate("probe()", std::move(answered));
                           },
                       .acknowledged = PageDelivery::answeredTrue,
                       .onAcknowledged = [&](const ScriptValue&) { ++acknowledged; },
                       .onGivenUp = [&] { ++givenUp; }},
                      3);
  ASSERT_TRUE(page_->answerNext(ScriptValue::nullValue()));
  loop_.advance(PageDelivery::retryInterval);
  ASSERT_TRUE(page_->answerNext(ScriptValue::nullValue()));
  owner.reset();
  loop_.advance(10.0);
  EXPECT_TRUE(page_->pendingCalls().empty());
  EXPECT_EQ(acknowledged, 0);
  EXPECT_EQ(givenUp, 0);
}

TEST_F(PageDeliveryTest, TheAcknowledgingAnswerIsHandedOnOnce) {
  std::vector<ScriptValue> handed;
  int givenUp = 0;
  PageDelivery::offer(loop_,
                      {.attempt = [this](std::function<void(ScriptValue)> answered) {
                         page_->evaluate("probe()", std::move(answered));
                       },
                       .acknowledged = PageDelivery::answeredBoolean,
                       .onAcknowledged = [&](const ScriptValue& answer) { handed.push_back(answer); },
                       .onGivenUp = [&] { ++givenUp; }},
                      1);
  ASSERT_TRUE(page_->answerNext(ScriptValue::nullValue()));
  loop_.advance(PageDelivery::retryInterval);
  ASSERT_TRUE(page_->answerNext(ScriptValue::ofBool(false)));
  loop_.advance(10.0);
  ASSERT_EQ(handed.size(), 1u);
  EXPECT_EQ(handed.front().kind, ScriptValue::Kind::boolean);
  EXPECT_FALSE(handed.front().boolean);
  EXPECT_EQ(givenUp, 0);
}

}  // namespace
}  // namespace tovarin
