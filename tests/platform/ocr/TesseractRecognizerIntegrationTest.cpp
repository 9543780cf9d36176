#include "platform/ocr/TesseractRecognizer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>

#include "base/SerialQueue.h"
#include "main/bridges/DropBridge.h"
#include "main/bridges/OcrService.h"
#include "tests/support/FakeWebView.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"
#include "tests/support/ThreadsNamed.h"

namespace tovarin {
namespace {

std::string fixture(const std::string& name) { return std::string(TOVARIN_SOURCE_DIR) + "/tests/fixtures/ocr/" + name; }

std::vector<uint8_t> fixtureBytes(const std::string& name) {
  std::ifstream file(fixture(name), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> firstBytes(std::vector<uint8_t> bytes, size_t count) {
  bytes.resize(count);
  return bytes;
}

// The logical screen's size is the little-endian pair after a GIF's six-byte signature.
std::vector<uint8_t> withGifScreen(std::vector<uint8_t> bytes, uint16_t width, uint16_t height) {
  bytes[6] = width & 0xFF;
  bytes[7] = width >> 8;
  bytes[8] = height & 0xFF;
  bytes[9] = height >> 8;
  return bytes;
}

// Chinese recognition may put blanks between characters; what a person reads has none.
std::string withoutBlanks(std::string text) {
  std::erase(text, ' ');
  return text;
}

const std::vector<std::string> bothLanguages = {"zh-Hans", "en-US"};

// Where a completion writes: shared with it, so that a completion that arrives after a
// wait gave up still writes into live memory.
using SharedResult = std::shared_ptr<std::optional<OcrResult>>;

OcrJob::Completion into(const SharedResult& result) {
  return [result](OcrResult r) { *result = std::move(r); };
}

TEST(TesseractRecognizerIntegrationTest, ReadsTheFixturePictures) {
  TesseractRecognizer recognizer;
  struct Case {
    std::string file;
    std::vector<std::string> words;
  };
  const std::vector<Case> cases = {
      {"english.png", {"Quarterly Meeting Notes"}},
      {"english.jpg", {"Quarterly Meeting Notes"}},
      {"english.heic", {"Quarterly Meeting Notes"}},
      {"chinese.png", {"请明天下午三点开会"}},
      {"screenshot.png", {"Project Review", "Invoice 2024-117", "请把报告发给王经理", "Reply before Friday"}},
  };
  for (const auto& c : cases) {
    const OcrResult result = recognizer.recognize(fixtureBytes(c.file), bothLanguages);
    ASSERT_TRUE(result.ok()) << c.file;
    for (const auto& word : c.words) {
      const bool chinese = static_cast<unsigned char>(word[0]) >= 0x80;
      EXPECT_NE((chinese ? withoutBlanks(result.text) : result.text).find(word), std::string::npos)
          << c.file << ": " << result.text;
    }
    EXPECT_EQ(result.text.find("\n\n"), std::string::npos) << c.file;
  }
}

TEST(TesseractRecognizerIntegrationTest, FailuresHaveTheirOwnReasons) {
  TesseractRecognizer recognizer;
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    OcrFailure failure;
  };
  const std::vector<Case> cases = {
      {"blank", fixtureBytes("blank.png"), OcrFailure::empty},
      {"text file", fixtureBytes("not-a-picture.png"), OcrFailure::decode},
      {"cut after its header", firstBytes(fixtureBytes("english.png"), 60), OcrFailure::decode},
      // 83 bytes whose header promises ten billion pixels: refused before decoding.
      {"huge header", fixtureBytes("huge-header.png"), OcrFailure::tooLarge},
      // A GIF whose first frame promises 20 000 x 20 000 pixels and whose pixel data is
      // cut off after a few bytes: only its blocks can have told the size, since
      // decoding it would have failed.
      {"huge GIF frame", fixtureBytes("huge-frame.gif"), OcrFailure::tooLarge},
      {"GIF frames on a huge screen", withGifScreen(fixtureBytes("two-frames.gif"), 20000, 20000), OcrFailure::tooLarge},
      {"GIF cut inside its first frame", firstBytes(fixtureBytes("two-frames.gif"), 1000), OcrFailure::decode},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(recognizer.recognize(c.bytes, bothLanguages), OcrResult::failed(c.failure)) << c.name;
  }
}

// The engine's own helper threads spin-wait for each other and crawl when other
// programs hold the cores, so a recognition runs on the queue's thread alone. OpenMP
// keeps a team's threads parked for its next region: any helper the run started would
// still be there afterwards, under the queue's name.
TEST(TesseractRecognizerIntegrationTest, ARecognitionRunsOnTheQueuesThreadAlone) {
  const std::string name = "ocr-one-thread";
  SerialQueue queue(name);
  TesseractRecognizer recognizer;
  std::optional<OcrResult> result;
  size_t threads = 0;
  queue.sync([&] {
    result = recognizer.recognize(fixtureBytes("screenshot.png"), bothLanguages);
    threads = threadsNamed(name);
  });
  ASSERT_TRUE(result && result->ok());
  EXPECT_EQ(threads, 1u);
}

// two-frames.gif: the English picture, then the Chinese one. What follows the first
// frame is never decoded, so a damaged second frame does not matter.
TEST(TesseractRecognizerIntegrationTest, AnAnimatedGifIsReadByItsFirstFrameOnly) {
  TesseractRecognizer recognizer;
  const auto whole = fixtureBytes("two-frames.gif");
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
      {"whole", whole},
      {"cut inside its second frame", firstBytes(whole, whole.size() - 100)},
  };
  for (const auto& [name, bytes] : cases) {
    const OcrResult result = recognizer.recognize(bytes, bothLanguages);
    ASSERT_TRUE(result.ok()) << name;
    EXPECT_NE(result.text.find("Quarterly Meeting Notes"), std::string::npos) << name << ": " << result.text;
    EXPECT_EQ(withoutBlanks(result.text).find("开会"), std::string::npos) << name << ": " << result.text;
  }
}

TEST(TesseractRecognizerIntegrationTest, WithoutChineseDataTheServiceFallsBackToEnglish) {
  TempDir data;
  std::filesystem::copy_file(std::string(TesseractRecognizer::defaultDataPath) + "/eng.traineddata",
                             data.path() + "/eng.traineddata");
  LogRecorder log;
  ManualLoop loop;
  SerialQueue queue("ocr-test");
  OcrService service(loop, queue, std::make_shared<TesseractRecognizer>(data.path()));
  auto result = std::make_shared<std::optional<OcrResult>>();
  service.recognizeData(fixtureBytes("english.png"), into(result));
  ASSERT_TRUE(loop.waitFor([&] { return result->has_value(); }, 60));
  const OcrResult& recognized = **result;
  ASSERT_TRUE(recognized.ok());
  EXPECT_NE(recognized.text.find("Quarterly Meeting Notes"), std::string::npos);
  EXPECT_TRUE(log.contains("[orvik] ocr: 首选语言不可用，退到 en-US 再试一次"));
  EXPECT_EQ(log.matching("[orvik] ocr: 识别引擎失败（zh-Hans+en-US）").size(), 1u);
}

TEST(TesseractRecognizerIntegrationTest, TheBridgeRoundTripsABase64Picture) {
  ManualLoop loop;
  SerialQueue queue("ocr-test");
  OcrService service(loop, queue, std::make_shared<TesseractRecognizer>());
  const auto bytes = fixtureBytes("chinese.png");
  // Base64 with line breaks every 76 characters, as mail and some pages send it.
  static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string base64;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const uint32_t n = (bytes[i] << 16) | ((i + 1 < bytes.size() ? bytes[i + 1] : 0) << 8) | (i + 2 < bytes.size() ? bytes[i + 2] : 0);
    base64 += alphabet[(n >> 18) & 63];
    base64 += alphabet[(n >> 12) & 63];
    base64 += i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=';
    base64 += i + 2 < bytes.size() ? alphabet[n & 63] : '=';
    if (base64.size() % 77 == 76) base64 += '\n';
  }
  auto result = std::make_shared<std::optional<OcrResult>>();
  service.recognizeBase64(base64, into(result));
  ASSERT_TRUE(loop.waitFor([&] { return result->has_value(); }, 60));
  const OcrResult& recognized = **result;
  ASSERT_TRUE(recognized.ok());
  EXPECT_NE(withoutBlanks(recognized.text).find("请明天下午三点开会"), std::string::npos) << recognized.text;
}

}  // namespace
}  // namespace tovarin

namespace tovarin {
namespace {

// Text files are read where the bridge says; pictures go through the real recogniser.
TEST(DroppedFilesIntegrationTest, PicturesAndTextFilesComeBackAsText) {
  ManualLoop loop;
  SerialQueue background("drop-test");
  SerialQueue queue("ocr-test");
  OcrService service(loop, queue, std::make_shared<TesseractRecognizer>());
  auto bridge = std::make_shared<DropBridge>(DropBridge::Services{loop, background, service, [] { return int64_t{1}; }});
  auto page = std::make_shared<FakeWebView>(WebViewOptions{});
  bridge->attach(page);
  TempDir dir;
  std::ofstream(dir.path() + "/日程.md") << "\xEF\xBB\xBF# 周会\n";
  bridge->accept({fixture("english.heic"), fixture("huge-header.png"), dir.path() + "/日程.md"});

  std::map<std::string, Json> byName;
  while (byName.size() < 3 && loop.waitFor([&] { return !page->pendingCalls().empty(); }, 60)) {
    const Json payload = page->pendingCalls().front().arguments->at("payload");
    byName[payload.at("filename").get<std::string>()] = payload;
    page->answerNext(ScriptValue::ofBool(true));
  }
  ASSERT_EQ(byName.size(), 3u);
  EXPECT_NE(byName["english.heic"].value("text", "").find("Quarterly Meeting Notes"), std::string::npos)
      << byName["english.heic"].dump();
  EXPECT_EQ(byName["huge-header.png"].value("error", ""), ocrFailureMessage(OcrFailure::tooLarge));
  EXPECT_EQ(byName["日程.md"].value("text", ""), "# 周会");
}

}  // namespace
}  // namespace tovarin
