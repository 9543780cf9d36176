#include "main/bridges/OcrService.h"

#include <gtest/gtest.h>

#include <fstream>

#include "base/SerialQueue.h"
#include "main/bridges/LenientBase64.h"
#include "main/bridges/OcrBridge.h"
#include "tests/support/FakeTextRecognizer.h"
#include "tests/support/FakeWebView.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

std::vector<uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

TEST(LenientBase64Test, DecodesWhatIsLeftOfTheAlphabet) {
  struct Case {
    std::string input;
    std::optional<std::string> bytes;
  };
  const std::vector<Case> cases = {
      {"aGVsbG8=", "hello"},
      {"aGVs\nbG8=\r\n", "hello"},
      {" a G V s b G 8 = ", "hello"},
      {"aGVsbG8", "hello"},        // padding left out
      {"aGVsbA==", "hell"},
      {"aGVs*bA!==", "hell"},
      {"", ""},
      {"!!!", ""},
      {"aGVsb", std::nullopt},     // a lone trailing character
      {"aG=Vs", std::nullopt},     // data after padding
      {"aGVsbG8===", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto decoded = LenientBase64::decode(c.input);
    if (!c.bytes) {
      EXPECT_FALSE(decoded) << c.input;
    } else {
      ASSERT_TRUE(decoded) << c.input;
      EXPECT_EQ(std::string(decoded->begin(), decoded->end()), *c.bytes) << c.input;
    }
  }
}

class OcrServiceTest : public ::testing::Test {
 protected:
  void TearDown() override { recognizer_->release(); }

  std::optional<OcrResult> recognizeBase64(std::string_view base64) {
    std::optional<OcrResult> result;
    service_.recognizeBase64(base64, [&](OcrResult r) { result = std::move(r); });
    return result;
  }

  ManualLoop loop_;
  std::shared_ptr<FakeTextRecognizer> recognizer_ = std::make_shared<FakeTextRecognizer>();
  SerialQueue queue_{"ocr-test"};
  OcrService service_{loop_, queue_, recognizer_};
  LogRecorder log_;
};

TEST_F(OcrServiceTest, TextComesBackOnTheMainLoopWithBothLanguages) {
  recognizer_->answer(OcrResult::success("Hello 你好"));
  std::optional<OcrResult> result;
  service_.recognizeBase64("aGVsbG8=", [&](OcrResult r) {
    EXPECT_TRUE(loop_.isMainThread());
    result = std::move(r);
  });
  ASSERT_TRUE(loop_.waitFor([&] { return result.has_value(); }));
  EXPECT_EQ(*result, OcrResult::success("Hello 你好"));
  ASSERT_EQ(recognizer_->requests().size(), 1u);
  EXPECT_EQ(recognizer_->requests()[0].image, bytesOf("hello"));
  EXPECT_EQ(recognizer_->requests()[0].languages, (std::vector<std::string>{"zh-Hans", "en-US"}));
}

TEST_F(OcrServiceTest, TheBase64LimitIsCheckedBeforeDecoding) {
  // Over the limit, even text that is not base64 at all is refused as too large.
  const std::string overLimit(OcrService::maxBase64Bytes + 1, '*');
  EXPECT_EQ(recognizeBase64(overLimit), OcrResult::failed(OcrFailure::tooLarge));
  // At the limit it is decoded: all skipped characters leave nothing, which is `decode`.
  const std::string atLimit(OcrService::maxBase64Bytes, '*');
  EXPECT_EQ(recognizeBase64(atLimit), OcrResult::failed(OcrFailure::decode));
  EXPECT_TRUE(recognizer_->requests().empty());
}

TEST_F(OcrServiceTest, TextThatDoesNotDecodeIsRefusedWithoutRecognition) {
  for (const std::string bad : {"", "\n\n", "aGVsb"}) {
    EXPECT_EQ(recognizeBase64(bad), OcrResult::failed(OcrFailure::decode)) << bad;
  }
  EXPECT_TRUE(recognizer_->requests().empty());
}

TEST_F(OcrServiceTest, AnEngineFailureRetriesWithEnglishAloneAndLogs) {
  recognizer_->answer(OcrResult::failed(OcrFailure::engine));
  recognizer_->answer(OcrResult::success("English"));
  std::optional<OcrResult> result;
  service_.recognizeData(bytesOf("png"), [&](OcrResult r) { result = std::move(r); });
  ASSERT_TRUE(loop_.waitFor([&] { return result.has_value(); }));
  EXPECT_EQ(*result, OcrResult::success("English"));
  ASSERT_EQ(recognizer_->requests().size(), 2u);
  EXPECT_EQ(recognizer_->requests()[1].languages, (std::vector<std::string>{"en-US"}));
  EXPECT_TRUE(log_.contains("[orvik] ocr: 首选语言不可用，退到 en-US 再试一次"));
}

TEST_F(OcrServiceTest, OtherFailuresAreFinalAtOnce) {
  for (OcrFailure failure : {OcrFailure::empty, OcrFailure::decode, OcrFailure::tooLarge}) {
    recognizer_->answer(OcrResult::failed(failure));
    std::optional<OcrResult> result;
    service_.recognizeData(bytesOf("png"), [&](OcrResult r) { result = std::move(r); });
    ASSERT_TRUE(loop_.waitFor([&] { return result.has_value(); }));
    EXPECT_EQ(*result, OcrResult::failed(failure));
  }
  EXPECT_EQ(recognizer_->requests().size(), 3u);
}

TEST_F(OcrServiceTest, TheWatchdogAnswersOnceAndTheLateResultIsIgnored) {
  int calls = 0;
  std::optional<OcrResult> result;
  service_.recognizeData(bytesOf("png"), [&](OcrResult r) {
    ++calls;
    result = std::move(r);
  });
  ASSERT_TRUE(recognizer_->waitForRequests(1));
  loop_.advance(OcrService::timeoutSeconds - 0.001);
  EXPECT_EQ(calls, 0);
  loop_.advance(0.001);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(result, OcrResult::failed(OcrFailure::timeout));

  // The recogniser answers late; the queue moves on to the next request.
  recognizer_->answer(OcrResult::success("late"));
  recognizer_->answer(OcrResult::success("next"));
  std::optional<OcrResult> next;
  service_.recognizeData(bytesOf("png"), [&](OcrResult r) { next = std::move(r); });
  ASSERT_TRUE(loop_.waitFor([&] { return next.has_value(); }));
  loop_.runUntilIdle();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(next, OcrResult::success("next"));
}

TEST_F(OcrServiceTest, AResultInTimeCancelsTheWatchdog) {
  recognizer_->answer(OcrResult::success("ok"));
  int calls = 0;
  service_.recognizeData(bytesOf("png"), [&](OcrResult) { ++calls; });
  ASSERT_TRUE(loop_.waitFor([&] { return calls == 1; }));
  loop_.advance(OcrService::timeoutSeconds * 2);
  EXPECT_EQ(calls, 1);
}

// The program's service lives as long as the program, but a shorter-lived owner may let
// its service go while the queue is still running a recognition.
TEST_F(OcrServiceTest, AServiceThatGoesDuringARunLetsTheRunFinishAndAnswer) {
  auto service = std::make_unique<OcrService>(loop_, queue_, recognizer_);
  auto result = std::make_shared<std::optional<OcrResult>>();
  service->recognizeData(bytesOf("png"), [result](OcrResult r) { *result = std::move(r); });
  ASSERT_TRUE(recognizer_->waitForRequests(1));
  service.reset();
  // The run goes on to its retry with English alone.
  recognizer_->answer(OcrResult::failed(OcrFailure::engine));
  recognizer_->answer(OcrResult::success("late"));
  ASSERT_TRUE(loop_.waitFor([&] { return result->has_value(); }));
  EXPECT_EQ(**result, OcrResult::success("late"));
}

TEST_F(OcrServiceTest, FilesAreCheckedBeforeTheyReachTheRecogniser) {
  TempDir dir;
  auto write = [&](const std::string& name, size_t size) {
    const std::string path = dir.path() + "/" + name;
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
    return path;
  };
  const std::string folder = dir.path() + "/folder.png";
  std::filesystem::create_directory(folder);
  struct Case {
    std::string path;
    OcrFailure failure;
  };
  const std::vector<Case> cases = {
      {dir.path() + "/missing.png", OcrFailure::decode},
      {folder, OcrFailure::decode},
      {write("empty.png", 0), OcrFailure::decode},
      {write("huge.png", OcrService::maxBase64Bytes + 1), OcrFailure::tooLarge},
  };
  for (const auto& c : cases) {
    std::optional<OcrResult> result;
    service_.recognizeFile(c.path, [&](OcrResult r) { result = std::move(r); });
    ASSERT_TRUE(loop_.waitFor([&] { return result.has_value(); })) << c.path;
    EXPECT_EQ(*result, OcrResult::failed(c.failure)) << c.path;
  }
  EXPECT_TRUE(recognizer_->requests().empty());

  // A file of exactly the limit is read and handed on whole.
  recognizer_->answer(OcrResult::success("big"));
  std::optional<OcrResult> result;
  service_.recognizeFile(write("edge.png", OcrService::maxBase64Bytes), [&](OcrResult r) { result = std::move(r); });
  ASSERT_TRUE(loop_.waitFor([&] { return result.has_value(); }));
  EXPECT_EQ(*result, OcrResult::success("big"));
  EXPECT_EQ(recognizer_->requests().at(0).image.size(), OcrService::maxBase64Bytes);
}

class OcrBridgeTest : public OcrServiceTest {
 protected:
  void SetUp() override { bridge_->attach(page_); }
  // Runs the main loop until the page was called, and returns the payload.
  std::optional<Json> nextPayload() {
    if (!loop_.waitFor([&] { return !page_->pendingCalls().empty(); }, 5)) return std::nullopt;
    Json payload = page_->pendingCalls().front().arguments->at("payload");
    page_->answerNext(ScriptValue::ofBool(true));
    return payload;
  }

  std::shared_ptr<FakeWebView> page_ = std::make_shared<FakeWebView>(WebViewOptions{});
  std::shared_ptr<OcrBridge> bridge_ = std::make_shared<OcrBridge>(loop_, service_, LocalServer(4173));
};

TEST_F(OcrBridgeTest, MalformedRequestsAreLoggedAndGetNoReply) {
  const std::vector<Json> bodies = {
      Json("text"), Json::array(), Json::object(), Json{{"requestId", ""}, {"imageBase64", "aGVsbG8="}},
      Json{{"requestId", 7}, {"imageBase64", "aGVsbG8="}},
      Json{{"requestId", std::string(65, 'a')}, {"imageBase64", "aGVsbG8="}},
  };
  for (const auto& body : bodies) bridge_->handle(body);
  loop_.advance(1.0);
  EXPECT_TRUE(page_->pendingCalls().empty());
  EXPECT_EQ(log_.count("[orvik] ocr: 收到形状不对的请求，忽略"), bodies.size());
}

TEST_F(OcrBridgeTest, AnIdOf64CharactersIsServed) {
  // 64 characters, each of them two scalars: the limit counts what a person sees.
  std::string id;
  for (int i = 0; i < 64; ++i) id += "e\xCC\x81";
  recognizer_->answer(OcrResult::success("文字"));
  bridge_->handle(Json{{"requestId", id}, {"imageBase64", "aGVsbG8="}});
  EXPECT_EQ(nextPayload(), (Json{{"requestId", id}, {"text", "文字"}}));
}

TEST_F(OcrBridgeTest, MissingOrEmptyImagesGetTheDecodeMessage) {
  for (const Json& image : {Json(nullptr), Json(""), Json(12)}) {
    Json body{{"requestId", "r"}};
    if (!image.is_null()) body["imageBase64"] = image;
    bridge_->handle(body);
    EXPECT_EQ(nextPayload(), (Json{{"requestId", "r"}, {"error", "这张图片打不开，可以手动粘贴文字。"}}));
  }
  EXPECT_TRUE(recognizer_->requests().empty());
}

TEST_F(OcrBridgeTest, FailuresReachThePageAsTheirMessage) {
  recognizer_->answer(OcrResult::failed(OcrFailure::empty));
  bridge_->handle(Json{{"requestId", "blank"}, {"imageBase64", "aGVsbG8="}});
  EXPECT_EQ(nextPayload(), (Json{{"requestId", "blank"}, {"error", "没有识别到文字，可以手动粘贴。"}}));
}

TEST_F(OcrBridgeTest, AResultAfterTheBridgeIsGoneIsDropped) {
  bridge_->handle(Json{{"requestId", "r"}, {"imageBase64", "aGVsbG8="}});
  ASSERT_TRUE(recognizer_->waitForRequests(1));
  bridge_.reset();
  recognizer_->answer(OcrResult::success("late"));
  loop_.advance(OcrService::timeoutSeconds + 1);
  loop_.runUntilIdle();
  EXPECT_TRUE(page_->pendingCalls().empty());
}

}  // namespace
}  // namespace tovarin
