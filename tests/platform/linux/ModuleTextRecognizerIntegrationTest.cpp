#include "platform/linux/ModuleTextRecognizer.h"

#include <dlfcn.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "base/SerialQueue.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/TempDir.h"
#include "tests/support/ThreadsNamed.h"

namespace tovarin {
namespace {

const std::string stagedModule = std::string(TOVARIN_STAGE_DIR) + "/lib/the-tovarin/libtovarin-ocr.so";
const std::vector<std::string> bothLanguages = {"zh-Hans", "en-US"};

std::vector<uint8_t> fixtureBytes(const std::string& name) {
  std::ifstream file(std::string(TOVARIN_SOURCE_DIR) + "/tests/fixtures/ocr/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Whether a file whose name starts so ("libtesseract.so") is mapped into this process.
bool mapped(const std::string& namePrefix) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    const auto slash = line.rfind('/');
    if (slash != std::string::npos && line.compare(slash + 1, namePrefix.size(), namePrefix) == 0) return true;
  }
  return false;
}

// A real shared library that is not ours: the one this test's GLib came from.
std::string glibLibrary() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&g_free), &info) == 0 || !info.dli_fname) return {};
  return info.dli_fname;
}

// This test program links no recognition engine: the engine arrives with the module, on
// the first recognition, and the module's recogniser keeps OpenMP to the queue's thread.
// Only this test loads the module in this program, and nothing unloads it.
TEST(ModuleTextRecognizerIntegrationTest, LoadsTheStagedModuleOnTheFirstRecognitionAndKeepsIt) {
  ASSERT_TRUE(std::filesystem::exists(stagedModule)) << stagedModule;
  const std::string name = "ocr-module-test";
  SerialQueue queue(name);
  ModuleTextRecognizer recognizer(stagedModule);
  EXPECT_FALSE(mapped("libtovarin-ocr.so"));
  EXPECT_FALSE(mapped("libtesseract.so"));

  std::optional<OcrResult> english, chinese;
  size_t threads = 0;
  queue.sync([&] {
    english = recognizer.recognize(fixtureBytes("english.png"), bothLanguages);
    chinese = recognizer.recognize(fixtureBytes("chinese.png"), bothLanguages);
    threads = threadsNamed(name);
  });
  ASSERT_TRUE(english && english->ok());
  EXPECT_NE(english->text.find("Quarterly Meeting Notes"), std::string::npos) << english->text;
  ASSERT_TRUE(chinese && chinese->ok());
  std::string chineseText = chinese->text;
  std::erase(chineseText, ' ');
  EXPECT_NE(chineseText.find("请明天下午三点开会"), std::string::npos) << chinese->text;
  EXPECT_TRUE(mapped("libtovarin-ocr.so"));
  EXPECT_TRUE(mapped("libtesseract.so"));
  EXPECT_EQ(threads, 1u);
  // The module's own failures still come back as themselves.
  EXPECT_EQ(recognizer.recognize(fixtureBytes("not-a-picture.png"), bothLanguages), OcrResult::failed(OcrFailure::decode));
}

TEST(ModuleTextRecognizerIntegrationTest, AnUnusableModuleFailsEveryRecognitionAndIsReportedOnce) {
  ASSERT_FALSE(glibLibrary().empty());
  TempDir dir;
  const std::string textFile = dir.path() + "/libtovarin-ocr.so";
  std::ofstream(textFile) << "not a library\n";
  struct Case {
    std::string name;
    std::string path;
  };
  const std::vector<Case> cases = {
      {"missing", dir.path() + "/missing/libtovarin-ocr.so"},
      {"not a library", textFile},
      {"a library without the entry point", glibLibrary()},
      {"no path", ""},
  };
  for (const auto& c : cases) {
    LogRecorder log;
    ModuleTextRecognizer recognizer(c.path);
    for (int call = 0; call < 2; ++call) {
      EXPECT_EQ(recognizer.recognize(fixtureBytes("english.png"), bothLanguages), OcrResult::failed(OcrFailure::engine))
          << c.name << ", call " << call;
    }
    EXPECT_EQ(log.matching("[orvik] ocr: 识别模块不可用（" + c.path + "）：").size(), 1u) << c.name;
  }
}

}  // namespace
}  // namespace tovarin
