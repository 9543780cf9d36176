#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "main/page/DownloadFiles.h"
#include "main/page/WebPanels.h"
#include "tests/main/page/WebPanelsFixture.h"

namespace tovarin {
namespace {

class WebPanelsSavingTest : public WebPanelsFixture {
 protected:
  // Announces an automatic save of `content` under `name` and starts its download.
  std::shared_ptr<FakeWebDownload> announceAndStart(const std::string& id, const std::string& name,
                                                    const std::string& content) {
    send(automaticBody(id, "blob-" + id, name, content));
    auto download = startDownload(blob("blob-" + id));
    download->decideDestination(name);
    return download;
  }
  std::string inDownloads(const std::string& name) const { return downloads() + "/" + name; }
};

TEST_F(WebPanelsSavingTest, AnnouncedDownloadLandsVerifiedWithItsReceipt) {
  const std::string content = "hello, 世界\n";
  auto download = announceAndStart("r1", "note.txt", content);
  ASSERT_TRUE(download->destination());
  EXPECT_NE(download->destination()->find("/run/tovarin-download-"), std::string::npos);
  struct stat staging {};
  ASSERT_EQ(::stat(std::filesystem::path(*download->destination()).parent_path().c_str(), &staging), 0);
  EXPECT_EQ(staging.st_mode & 0777, 0700u);
  download->finishWith(content);
  EXPECT_EQ(readFile(inDownloads("note.txt")), content);
  ASSERT_EQ(receipts().size(), 1u);
  const Json receipt = receipts()[0];
  EXPECT_EQ(receipt["status"], "saved");
  EXPECT_EQ(receipt["name"], "note.txt");
  EXPECT_EQ(receipt["folder"], "Downloads");
  EXPECT_EQ(receipt["message"], "已存到「Downloads」：note.txt");
  EXPECT_EQ(receipt["sha256"], sha256Of(content));
  EXPECT_EQ(receipt["bytes"], content.size());
  EXPECT_EQ(receipt["requestId"], "r1");
  EXPECT_FALSE(receipt.contains("path"));
  EXPECT_TRUE(stagingFolders().empty());
  EXPECT_EQ(panels_->jobsInFlight(), 0u);
}

TEST_F(WebPanelsSavingTest, AnExistingNameIsRefusedAtOnceAndLeftUntouched) {
  writeFile(inDownloads("note.txt"), "the user's own file");
  auto download = announceAndStart("r1", "note.txt", "new content");
  EXPECT_EQ(download->answers(), 1);
  EXPECT_FALSE(download->destination());
  ASSERT_EQ(receipts().size(), 1u);
  EXPECT_EQ(receipts()[0]["status"], "failed");
  EXPECT_EQ(receipts()[0]["message"], "「note.txt」没有存下来：Downloads 已有同名文件；请换名保存新版本。");
  EXPECT_EQ(readFile(inDownloads("note.txt")), "the user's own file");
  EXPECT_TRUE(stagingFolders().empty());
}

TEST_F(WebPanelsSavingTest, AFileCreatedDuringTheDownloadIsNeverReplaced) {
  auto download = announceAndStart("r1", "race.txt", "downloaded");
  ASSERT_TRUE(download->destination());
  writeFile(inDownloads("race.txt"), "created meanwhile");
  download->finishWith("downloaded");
  EXPECT_EQ(readFile(inDownloads("race.txt")), "created meanwhile");
  ASSERT_EQ(receipts().size(), 1u);
  EXPECT_EQ(receipts()[0]["message"], "「race.txt」没有存下来：写文件时出了错，换一个位置再试。");
  EXPECT_TRUE(log_.contains("[orvik] download: 落盘失败：文件未能保存；同名文件不会被覆盖。"));
  EXPECT_TRUE(stagingFolders().empty());
}

TEST_F(WebPanelsSavingTest, AFileCreatedDuringTheCrossFilesystemCopyIsNeverReplaced) {
  panels_->setExclusiveRenameForTesting([](const std::string&, int, const std::string&) {
    errno = EXDEV;
    return -1;
  });
  auto download = announceAndStart("r1", "race.txt", "downloaded");
  writeFile(inDownloads("race.txt"), "created meanwhile");
  download->finishWith("downloaded");
  EXPECT_EQ(readFile(inDownloads("race.txt")), "created meanwhile");
  EXPECT_EQ(receipts()[0]["status"], "failed");
  EXPECT_TRUE(stagingFolders().empty());
  // No leftover of the copy in Downloads.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(downloads()), {}), 1);
}

TEST_F(WebPanelsSavingTest, AcrossFilesystemsTheVerifiedBytesArePlaced) {
  panels_->setExclusiveRenameForTesting([](const std::string&, int, const std::string&) {
    errno = EXDEV;
    return -1;
  });
  auto download = announceAndStart("r1", "far.txt", "bytes from afar");
  download->finishWith("bytes from afar");
  EXPECT_EQ(readFile(inDownloads("far.txt")), "bytes from afar");
  EXPECT_EQ(receipts()[0]["status"], "saved");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(downloads()), {}), 1);
  EXPECT_TRUE(stagingFolders().empty());
}

TEST_F(WebPanelsSavingTest, ARealSecondFilesystemWorksToo) {
  if (::access("/dev/shm", W_OK) != 0) GTEST_SKIP() << "no writable /dev/shm here";
  std::string pattern = "/dev/shm/tovarin-test-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const std::string staging = pattern;
  auto panels = std::make_shared<WebPanels>(loop_, kPort, "__calendar", presenter_,
                                            WebPanels::Folders{downloads(), staging});
  panels->attach(std::weak_ptr<Window>(), page_);
  const std::string content = "tmpfs to disk";
  panels->handle(automaticBody("r1", "b1", "shm.txt", content), FakeWebView::mainFrameSource(kPort));
  auto download = std::make_shared<FakeWebDownload>(blob("b1"));
  panels->adopt(download);
  download->decideDestination("shm.txt");
  download->finishWith(content);
  EXPECT_EQ(readFile(inDownloads("shm.txt")), content);
  EXPECT_EQ(receipts()[0]["status"], "saved");
  EXPECT_TRUE(std::filesystem::is_empty(staging));
  std::filesystem::remove_all(staging);
}

TEST_F(WebPanelsSavingTest, ASymlinkedDownloadsFolderIsRefused) {
  const std::string real = temp_.path() + "/elsewhere";
  std::filesystem::create_directories(real);
  std::filesystem::remove(downloads());
  std::filesystem::create_directory_symlink(real, downloads());
  auto download = announceAndStart("r1", "a.txt", "x");
  EXPECT_FALSE(download->destination());
  EXPECT_EQ(receipts()[0]["message"], "「a.txt」没有存下来：下载目录不可用，本次没有保存。");
  EXPECT_TRUE(std::filesystem::is_empty(real));
}

TEST_F(WebPanelsSavingTest, MissingDownloadsFolderOrAnotherNameIsRefused) {
  auto renamed = announceAndStart("r1", "a.txt", "x");  // announced a.txt...
  (void)renamed;
  send(automaticBody("r2", "b2", "b.txt", "x"));
  auto other = startDownload(blob("b2"));
  other->decideDestination("c.txt");  // ...the link names it otherwise
  EXPECT_FALSE(other->destination());
  EXPECT_EQ(receipts().back()["message"], "「c.txt」没有存下来：下载目录不可用，本次没有保存。");
  std::filesystem::remove_all(downloads());
  auto missing = announceAndStart("r3", "d.txt", "x");
  EXPECT_FALSE(missing->destination());
  EXPECT_EQ(receipts().back()["message"], "「d.txt」没有存下来：下载目录不可用，本次没有保存。");
}

TEST_F(WebPanelsSavingTest, VerificationAtTheSizeLimitAndAroundIt) {
  const std::string full(131072, 'z');
  struct Case {
    const char* what;
    std::string announced;
    std::string delivered;
    bool saved;
  };
  std::string changed = full;
  changed[4096] = 'y';
  const Case cases[] = {
      {"exactly the limit", full, full, true},
      {"one byte short", full, full.substr(1), false},
      {"one byte more", full, full + "z", false},
      {"one byte changed", full, changed, false},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "big" + std::to_string(n) + ".bin";
    auto download = announceAndStart("r" + std::to_string(n), name, c.announced);
    ++n;
    ASSERT_TRUE(download->destination()) << c.what;
    download->finishWith(c.delivered);
    EXPECT_EQ(receipts().back()["status"], c.saved ? "saved" : "failed") << c.what;
    EXPECT_EQ(std::filesystem::exists(inDownloads(name)), c.saved) << c.what;
  }
  EXPECT_TRUE(log_.contains("[orvik] download: 落盘失败：文件内容未通过核验，本次未确认保存。"));
  EXPECT_TRUE(log_.contains("[orvik] download: 落盘失败：文件内容已变化，本次未确认保存。"));
  EXPECT_TRUE(stagingFolders().empty());
}

TEST_F(WebPanelsSavingTest, PanelSaveReplacesAConfirmedFileAndVerifiesAnAnnouncedDigest) {
  const std::string target = temp_.path() + "/chosen/report.txt";
  std::filesystem::create_directories(temp_.path() + "/chosen");
  writeFile(target, "old version");
  const std::string content = "new version";
  Json body = expectBody("r1", "b1", "report.txt");
  body["sha256"] = sha256Of(content);
  body["bytes"] = content.size();
  send(body);
  auto download = startDownload(blob("b1"));
  download->decideDestination("report.txt");
  presenter_->answerSave(0, target);
  ASSERT_TRUE(download->destination());
  download->finishWith(content);
  EXPECT_EQ(readFile(target), content);
  EXPECT_EQ(receipts()[0]["status"], "saved");
  EXPECT_EQ(receipts()[0]["folder"], "chosen");
  EXPECT_EQ(receipts()[0]["sha256"], sha256Of(content));

  // The next save panel starts where the last one ended.
  auto next = startDownload("http://127.0.0.1:4173/other.txt");
  next->decideDestination("other.txt");
  EXPECT_EQ(presenter_->savePanels()[1].panel.directory, temp_.path() + "/chosen");
  presenter_->answerSave(1, temp_.path() + "/chosen/other.txt");
  next->finishWith("plain");
  EXPECT_EQ(receipts()[1]["status"], "saved");
  EXPECT_FALSE(receipts()[1].contains("sha256"));
  EXPECT_TRUE(stagingFolders().empty());
}

TEST_F(WebPanelsSavingTest, PageCancelDuringTheTransferRemovesTheStagedCopy) {
  auto download = announceAndStart("r1", "slow.txt", "slow");
  ASSERT_TRUE(download->destination());
  writeFile(*download->destination(), "partial");
  send(Json{{"type", "cancel"}, {"requestId", "r1"}, {"blobURL", blob("blob-r1")}});
  EXPECT_TRUE(download->cancelled());
  EXPECT_TRUE(stagingFolders().empty());
  download->fail("cancelled");
  ASSERT_EQ(receipts().size(), 1u);
  EXPECT_EQ(receipts()[0]["status"], "cancelled");
  EXPECT_FALSE(std::filesystem::exists(inDownloads("slow.txt")));
}

TEST_F(WebPanelsSavingTest, EngineFailureEndsWithOneReceiptAndNoStaging) {
  auto download = announceAndStart("r1", "net.txt", "x");
  download->fail("connection reset");
  download->fail("connection reset");
  ASSERT_EQ(receipts().size(), 1u);
  EXPECT_EQ(receipts()[0]["message"], "「net.txt」没有存下来：写文件时出了错，换一个位置再试。");
  EXPECT_TRUE(log_.contains("[orvik] download: 下载失败：connection reset"));
  EXPECT_TRUE(stagingFolders().empty());
}

TEST_F(WebPanelsSavingTest, UnwritableStagingFailsWithTheNoPermissionReason) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  std::filesystem::create_directories(temporary());
  std::filesystem::permissions(temporary(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  auto download = announceAndStart("r1", "a.txt", "x");
  std::filesystem::permissions(temporary(), std::filesystem::perms::owner_all);
  EXPECT_FALSE(download->destination());
  EXPECT_EQ(receipts()[0]["message"], "「a.txt」没有存下来：这个位置不能写入，换一个位置再试。");
}

}  // namespace
}  // namespace tovarin
