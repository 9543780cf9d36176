// The real program with the stand-in server's main page: a download the page announces
// lands verified in the user's Downloads folder and the page gets its receipt; the same
// name again is refused and the first file stays as it was.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/Eventually.h"
#include "tests/support/FileContents.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/StagedProgram.h"

namespace tovarin {
namespace {

namespace fs = std::filesystem;

class DownloadsProgramE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::getenv("DISPLAY")) << "run under xvfb-run";
    ASSERT_FALSE(bus_.address().empty()) << bus_.error();
    ASSERT_TRUE(program_.start()) << program_.error();
    fs::create_directories(downloads());
    ASSERT_TRUE(eventually([&] { return program_.pageLoads("main") >= 1; }, 90)) << program_.log();
  }

  fs::path downloads() const { return fs::path(program_.root()) / "home" / "Downloads"; }

  // The receipts the main page was handed, oldest first.
  std::vector<Json> receipts() {
    std::vector<Json> out;
    if (auto records = program_.get("/__test/panels/records")) {
      for (const auto& record : *records) {
        if (record.value("kind", "") == "receipt") out.push_back(record["payload"]);
      }
    }
    return out;
  }

  PrivateDbus bus_;
  StagedProgram program_{{.busAddress = bus_.address(), .environment = {"TOVARIN_TEST_PANELS=1"}}};
};

TEST_F(DownloadsProgramE2ETest, AnAnnouncedDownloadIsSavedOnceAndItsNameIsNeverReused) {
  const std::string first = "第一份清单\nmilk\n";
  ASSERT_TRUE(program_.post("/__test/panels/command", Json{{"page", "main"}, {"type", "download"},
                                                           {"name", "清单.txt"}, {"text", first}, {"announced", true}}));
  ASSERT_TRUE(eventually([&] { return receipts().size() >= 1; }, 30)) << program_.log();
  Json receipt = receipts()[0];
  EXPECT_EQ(receipt["status"], "saved") << receipt.dump() << program_.log();
  EXPECT_EQ(receipt["name"], "清单.txt");
  EXPECT_EQ(receipt["folder"], "Downloads");
  EXPECT_EQ(receipt["bytes"], first.size());
  EXPECT_FALSE(receipt.contains("path"));
  EXPECT_EQ(readFile(downloads() / "清单.txt"), first);

  ASSERT_TRUE(program_.post("/__test/panels/command", Json{{"page", "main"}, {"type", "download"},
                                                           {"name", "清单.txt"}, {"text", "覆盖它"}, {"announced", true}}));
  ASSERT_TRUE(eventually([&] { return receipts().size() >= 2; }, 30)) << program_.log();
  receipt = receipts()[1];
  EXPECT_EQ(receipt["status"], "failed");
  EXPECT_EQ(receipt["message"], "「清单.txt」没有存下来：Downloads 已有同名文件；请换名保存新版本。");
  EXPECT_EQ(readFile(downloads() / "清单.txt"), first);
  EXPECT_EQ(std::distance(fs::directory_iterator(downloads()), {}), 1);
  for (const auto& entry : fs::directory_iterator(fs::path(program_.root()) / "run")) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("tovarin-download-")) << entry.path();
  }
}

}  // namespace
}  // namespace tovarin
