#include "main/bridges/CaptureBridges.h"

#include <gtest/gtest.h>

#include "base/SerialQueue.h"
#include "main/page/PageBridgeTable.h"
#include "tests/support/FakeSystemNotifier.h"
#include "tests/support/FakeTextRecognizer.h"
#include "tests/support/FakeWallClockAlarm.h"
#include "tests/support/FakeWebView.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

class CaptureBridgesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scheduler_.start();
    // As the main window hands them their messages.
    ASSERT_TRUE(table_.add(bridges_.ocr()));
    ASSERT_TRUE(table_.add(bridges_.notify()));
    bridges_.attach(page_, [this] { ++opened_; });
    loop_.runUntilIdle();  // the kept reminders are read
  }
  void TearDown() override {
    recognizer_->release();
    loop_.runUntilIdle();
    page_->answerAll(ScriptValue::ofBool(true));
  }

  ManualLoop loop_;
  TempDir dir_;
  std::shared_ptr<FakeTextRecognizer> recognizer_ = std::make_shared<FakeTextRecognizer>();
  SerialQueue queue_{"ocr-test"};
  OcrService ocr_{loop_, queue_, recognizer_};
  FakeSystemNotifier notifier_;
  FakeWallClockAlarm clock_{1.9e9};
  ReminderScheduler scheduler_{dir_.path() + "/reminders.json", notifier_, clock_, loop_, loop_};
  CaptureBridges bridges_{{loop_, queue_, ocr_, notifier_, scheduler_, clock_, [] { return *Calendar::gregorian("UTC"); },
                           [] { return int64_t{0}; }},
                          4173};
  PageBridgeTable table_;
  std::shared_ptr<FakeWebView> page_ = std::make_shared<FakeWebView>(WebViewOptions{});
  int opened_ = 0;
  LogRecorder log_;
};

TEST_F(CaptureBridgesTest, OnlyTheLocalServersFramesMayAsk) {
  const Json reminder{{"id", "r"}, {"title", "t"}};
  MessageSource sameOriginChild{true, false, "http://127.0.0.1:4173/frame.html", "http://127.0.0.1:4173"};
  MessageSource foreign{true, false, "https://ads.example/x", "https://ads.example"};
  MessageSource otherPort{true, true, "http://127.0.0.1:9999/", "http://127.0.0.1:9999"};
  MessageSource opaque{true, false, "about:srcdoc", "null"};
  MessageSource unknown{};

  table_.handle({"notify", reminder, FakeWebView::mainFrameSource(4173)});
  table_.handle({"notify", reminder, sameOriginChild});
  for (const auto& source : {foreign, otherPort, opaque, unknown}) {
    EXPECT_FALSE(table_.admits("notify", source));
    EXPECT_FALSE(table_.admits("ocr", source));
    table_.handle({"notify", reminder, source});
    table_.handle({"ocr", Json{{"requestId", "x"}, {"imageBase64", "aGVsbG8="}}, source});
  }
  EXPECT_EQ(notifier_.shown().size(), 2u);
  loop_.advance(1.0);
  EXPECT_TRUE(recognizer_->requests().empty());
  EXPECT_TRUE(log_.contains("[orvik] notify: message from a frame outside the local server dropped (https://ads.example)"));
  EXPECT_TRUE(log_.contains("[orvik] ocr: message from a frame outside the local server dropped (https://ads.example)"));
  table_.handle({"ocr", Json::object(), unknown});
  EXPECT_TRUE(log_.contains("[orvik] ocr: message from a frame outside the local server dropped (frame unknown)"));
}

TEST_F(CaptureBridgesTest, RefusalsAreLoggedAtMostOnceASecondPerHandler) {
  const MessageSource foreign{true, false, "http://localhost:4173/ad.html", "http://localhost:4173"};
  for (int i = 0; i < 20000; ++i) {
    table_.handle({"notify", Json{{"id", "r" + std::to_string(i)}}, foreign});
    table_.handle({"ocr", Json{{"requestId", "x"}, {"imageBase64", "aGVsbG8="}}, foreign});
  }
  EXPECT_FALSE(table_.admits("ocr", foreign));
  EXPECT_EQ(log_.matching("[orvik] notify: message from a frame outside").size(), 1u);
  EXPECT_EQ(log_.matching("[orvik] ocr: message from a frame outside").size(), 1u);
  loop_.advance(1.0);
  table_.handle({"notify", Json{{"id", "again"}}, foreign});
  EXPECT_EQ(log_.matching("[orvik] notify: message from a frame outside").size(), 2u);
  EXPECT_TRUE(notifier_.shown().empty());
}

TEST_F(CaptureBridgesTest, TheBridgesAnswerToTheirOwnNamesOnly) {
  EXPECT_EQ(table_.messageNames(), (std::vector<std::string>{"ocr", "notify"}));
  EXPECT_FALSE(table_.admits("voice", FakeWebView::mainFrameSource(4173)));
  EXPECT_FALSE(table_.admits("download", FakeWebView::mainFrameSource(4173)));
}

TEST_F(CaptureBridgesTest, AClickOpensTheWindow) {
  ASSERT_TRUE(notifier_.click("r"));
  EXPECT_EQ(opened_, 1);
}

}  // namespace
}  // namespace tovarin
