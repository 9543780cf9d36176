#include "main/bridges/DropBridge.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/SerialQueue.h"
#include "main/bridges/DropProtocol.h"
#include "main/bridges/DropTextReader.h"
#include "tests/support/FakeTextRecognizer.h"
#include "tests/support/FakeWebView.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

TEST(DropProtocolTest, AcceptsByExtensionAlone) {
  struct Case {
    std::string path;
    DropProtocol::FileKind kind;
  };
  using K = DropProtocol::FileKind;
  const std::vector<Case> cases = {
      {"/a/shot.png", K::image},     {"/a/PHOTO.JPG", K::image},  {"/a/x.jpeg", K::image},
      {"/a/x.HeIc", K::image},       {"/a/notes.TXT", K::text},   {"/a/t.csv", K::text},
      {"/a/t.tsv", K::text},         {"/a/r.md", K::text},        {"/a/r.markdown", K::text},
      {"/a/folder.txt/", K::text},   {"/a/doc.pdf", K::other},    {"/a/noext", K::other},
      {"/a/.txt", K::other},         {"/a/x.txt.gz", K::other},   {"/a.txt/readme", K::other},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DropProtocol::kindOf(c.path), c.kind) << c.path;
    EXPECT_EQ(DropProtocol::accepts(c.path), c.kind != K::other) << c.path;
  }
  EXPECT_EQ(DropProtocol::fileName("/home/u/Notes.TXT"), "Notes.TXT");
  EXPECT_EQ(DropProtocol::fileName("/home/u/folder.txt/"), "folder.txt");
}

std::string utf16(std::u16string_view text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

TEST(DropTextReaderTest, DecodesEachEncodingInItsTurn) {
  struct Case {
    std::string name;
    std::string bytes;
    std::optional<std::string> text;
    std::optional<std::string_view> failure;
  };
  const std::vector<Case> cases = {
      {"utf8", "  日程 a,b\n", "日程 a,b", {}},
      {"utf8 with mark", "\xEF\xBB\xBF" "标题", "标题", {}},
      {"utf16 little endian", utf16(u"你好 ok", false), "你好 ok", {}},
      {"utf16 big endian", utf16(u"你好 ok", true), "你好 ok", {}},
      // "中文" in GB 18030 is not UTF-8, so the second candidate decides.
      {"gb18030", "\xD6\xD0\xCE\xC4", "中文", {}},
      // A four-byte GB 18030 sequence: a character outside the two-byte table.
      {"gb18030 four bytes", "\x94\x39\xFC\x36", "😀", {}},
      {"blank", " \n\t\r\n\xE3\x80\x80 ", {}, DropTextReader::emptyFile},
      {"nothing", "", {}, DropTextReader::emptyFile},
      // A lone lead byte at the end is neither UTF-8 nor GB 18030.
      {"no encoding", "abc\x81", {}, DropTextReader::unknownEncoding},
  };
  for (const auto& c : cases) {
    const DropTextResult result = DropTextReader::decode(c.bytes);
    if (c.text) {
      EXPECT_FALSE(result.failure) << c.name << ": " << result.failure.value_or("");
      EXPECT_EQ(result.text, *c.text) << c.name;
    } else {
      EXPECT_EQ(result.failure, std::string(*c.failure)) << c.name;
    }
  }
}

class DropFiles : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.path() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  TempDir dir_;
};

TEST_F(DropFiles, ReadsRealFilesUpTo8MiB) {
  std::string edge(DropProtocol::maxTextBytes, 'a');
  edge.front() = 'x';
  const auto atLimit = DropTextReader::read(write("edge.txt", edge));
  EXPECT_FALSE(atLimit.failure);
  EXPECT_EQ(atLimit.text.size(), DropProtocol::maxTextBytes);

  const auto overLimit = DropTextReader::read(write("over.txt", edge + " "));
  EXPECT_EQ(overLimit.failure, std::string(DropTextReader::tooLarge));

  std::filesystem::create_directory(dir_.path() + "/folder.txt");
  EXPECT_EQ(DropTextReader::read(dir_.path() + "/folder.txt").failure, std::string(DropTextReader::unreadable));
  EXPECT_EQ(DropTextReader::read(dir_.path() + "/missing.txt").failure, std::string(DropTextReader::unreadable));
  EXPECT_EQ(DropTextReader::read(write("gb.csv", "\xD6\xD0\xCE\xC4,1\n")).text, "中文,1");
}

// Records the take-over and lets the test drop files as the window would.
class RecordingDropHost final : public DropHost {
 public:
  void setFilesHandler(FilesHandler handler) override { handler_ = std::move(handler); }
  void takeFileDropsFromPage() override { ++takeOvers; }
  void drop(std::vector<std::string> paths) { handler_(std::move(paths)); }
  int takeOvers = 0;

 private:
  FilesHandler handler_;
};

class DropBridgeTest : public DropFiles {
 protected:
  void SetUp() override {
    bridge_->attach(page_);
    bridge_->setHost(host_);
  }
  void TearDown() override { recognizer_->release(); }

  // The payloads the page receives, acknowledged, until `count` arrived.
  std::vector<Json> payloads(size_t count) {
    std::vector<Json> out;
    while (out.size() < count) {
      if (!loop_.waitFor([&] { return !page_->pendingCalls().empty(); }, 5)) break;
      out.push_back(page_->pendingCalls().front().arguments->at("payload"));
      page_->answerNext(ScriptValue::ofBool(true));
    }
    return out;
  }

  ManualLoop loop_;
  std::shared_ptr<FakeTextRecognizer> recognizer_ = std::make_shared<FakeTextRecognizer>();
  SerialQueue ocrQueue_{"ocr-test"};
  SerialQueue background_{"drop-test"};
  OcrService ocr_{loop_, ocrQueue_, recognizer_};
  std::shared_ptr<RecordingDropHost> host_ = std::make_shared<RecordingDropHost>();
  int64_t nowMs_ = 1'700'000'000'000;
  std::shared_ptr<FakeWebView> page_ = std::make_shared<FakeWebView>(WebViewOptions{});
  std::shared_ptr<DropBridge> bridge_ =
      std::make_shared<DropBridge>(DropBridge::Services{loop_, background_, ocr_, [this] { return nowMs_; }});
  LogRecorder log_;
};

TEST_F(DropBridgeTest, EachAcceptedFileGivesOnePayloadUnderItsOwnId) {
  std::filesystem::create_directory(dir_.path() + "/plain");
  recognizer_->answer(OcrResult::success("Screenshot words"));
  host_->drop({dir_.path() + "/plain", write("Notes.TXT", "hello"), write("doc.pdf", "%PDF"),
               write("shot.png", "png bytes"), write("blank.md", " \n ")});
  auto results = payloads(3);
  ASSERT_EQ(results.size(), 3u);
  loop_.advance(1.0);
  EXPECT_TRUE(page_->pendingCalls().empty());

  std::map<std::string, Json> byName;
  for (const auto& payload : results) byName[payload.at("filename").get<std::string>()] = payload;
  // 1700000000000 ms in base 36 is "loyw3v28"; the folder and the PDF used up 1 and 3.
  EXPECT_EQ(byName["Notes.TXT"], (Json{{"requestId", "drop_loyw3v28_2"}, {"filename", "Notes.TXT"}, {"text", "hello"}}));
  EXPECT_EQ(byName["shot.png"],
            (Json{{"requestId", "drop_loyw3v28_4"}, {"filename", "shot.png"}, {"text", "Screenshot words"}}));
  EXPECT_EQ(byName["blank.md"],
            (Json{{"requestId", "drop_loyw3v28_5"}, {"filename", "blank.md"}, {"error", "这个文件是空的。"}}));
  EXPECT_EQ(recognizer_->requests().at(0).image, (std::vector<uint8_t>{'p', 'n', 'g', ' ', 'b', 'y', 't', 'e', 's'}));
}

TEST_F(DropBridgeTest, TheCounterWritesInBase36) {
  for (int i = 0; i < 35; ++i) bridge_->accept({"/x/skipped.pdf"});
  bridge_->accept({write("a.txt", "a")});
  const auto results = payloads(1);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].at("requestId"), "drop_loyw3v28_10");
}

TEST_F(DropBridgeTest, ImageFailuresCarryTheRecognitionMessage) {
  recognizer_->answer(OcrResult::failed(OcrFailure::decode));
  bridge_->accept({write("fake.jpg", "not a picture")});
  const auto results = payloads(1);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].at("error"), "这张图片打不开，可以手动粘贴文字。");
}

TEST_F(DropBridgeTest, AdoptsOnceThePageHasDropText) {
  bridge_->adoptIfPageReady();
  ASSERT_EQ(page_->pendingCalls().size(), 1u);
  EXPECT_EQ(page_->pendingCalls().front().script, "!!(window.__dropText && window.__dropText.deliver)");
  page_->answerNext(ScriptValue::ofBool(false));
  loop_.advance(0.499);
  EXPECT_TRUE(page_->pendingCalls().empty());
  loop_.advance(0.001);
  page_->answerNext(ScriptValue::nullValue());
  loop_.advance(0.5);
  page_->answerNext(ScriptValue::ofBool(true));
  EXPECT_TRUE(bridge_->adopted());
  EXPECT_EQ(host_->takeOvers, 1);
  EXPECT_TRUE(log_.contains("[orvik] drop: 页面已装 __dropText，整窗拖入由外壳接管"));

  // Never again, whatever the next navigation brings.
  bridge_->adoptIfPageReady();
  loop_.advance(5.0);
  EXPECT_TRUE(page_->pendingCalls().empty());
  EXPECT_EQ(host_->takeOvers, 1);
}

TEST_F(DropBridgeTest, ProbesTwentyMoreTimesThenStops) {
  bridge_->adoptIfPageReady();
  int probes = 0;
  while (page_->answerNext(ScriptValue::ofBool(false))) {
    ++probes;
    loop_.advance(DropBridge::adoptRetryInterval);
  }
  EXPECT_EQ(probes, 21);
  EXPECT_FALSE(bridge_->adopted());
  EXPECT_EQ(host_->takeOvers, 0);
}

TEST_F(DropBridgeTest, AHostSetAfterAdoptionIsTakenOverAtOnce) {
  auto bridge = std::make_shared<DropBridge>(DropBridge::Services{loop_, background_, ocr_, [this] { return nowMs_; }});
  bridge->attach(page_);
  bridge->adoptIfPageReady();
  page_->answerNext(ScriptValue::ofBool(true));
  auto late = std::make_shared<RecordingDropHost>();
  bridge->setHost(late);
  EXPECT_EQ(late->takeOvers, 1);
}

TEST_F(DropBridgeTest, ResultsForAGoneBridgeAreDropped) {
  bridge_->accept({write("a.txt", "a")});
  bridge_.reset();
  background_.sync([] {});
  loop_.runUntilIdle();
  loop_.advance(1.0);
  EXPECT_TRUE(page_->pendingCalls().empty());
}

}  // namespace
}  // namespace tovarin
