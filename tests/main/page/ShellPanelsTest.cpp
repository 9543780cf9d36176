#include "main/page/ShellPanels.h"

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "main/page/ShellPanelCopy.h"

namespace tovarin {
namespace {

TEST(ShellPanelsTest, SecretPrompts) {
  struct Case {
    const char* message;
    bool secret;
  };
  const Case cases[] = {
      {"请输入密码", true},
      {"请输入口令：", true},
      {"Your PASSWORD please", true},
      {"Enter passwords", true},  // anywhere, also inside longer words
      {"Passphrase for the key", true},
      {"Enter PIN", true},
      {"enter pin.", true},
      {"Give it a spin", true},  // a word ending in pin
      {"Your PINs", false},
      {"Type the pincode", false},
      {"请输入名字", false},
      {"", false},
      {"first line\nthen the Pin", true},
  };
  for (const auto& c : cases) EXPECT_EQ(ShellPanels::isSecret(c.message), c.secret) << c.message;
}

TEST(ShellPanelsTest, TitleAndDetail) {
  struct Case {
    std::string message;
    std::string title;
    std::string detail;
  };
  const std::string long48(48, 'a');
  const Case cases[] = {
      {"要删除吗？ 删除后不能恢复。", "要删除吗？", "删除后不能恢复。"},
      {"  Done! Everything saved.  ", "Done!", "Everything saved."},
      {"第一行\n第二行", "第一行", "第二行"},
      {"no end at all", "no end at all", ""},
      // A carriage return with its line feed is one character and ends nothing.
      {"one\r\ntwo", "one\r\ntwo", ""},
      // The end lies after the 48th character: all of it is the title.
      {long48 + "。后面", long48 + "。后面", ""},
      {std::string(47, 'a') + "。后面", std::string(47, 'a') + "。", "后面"},
      {"   ", "", ""},
  };
  for (const auto& c : cases) {
    auto [title, detail] = ShellPanels::split(c.message);
    EXPECT_EQ(title, c.title) << c.message;
    EXPECT_EQ(detail, c.detail) << c.message;
  }
}

TEST(ShellPanelsTest, ClipCountsUserPerceivedCharacters) {
  const std::string family = "👨‍👩‍👧";  // one character of several scalars
  std::string six00;
  for (int i = 0; i < 600; ++i) six00 += "字";
  EXPECT_EQ(ShellPanels::clip(six00, 600), six00);
  EXPECT_EQ(ShellPanels::clip(six00 + "多", 600), six00 + "…");
  EXPECT_EQ(ShellPanels::clip(family + family, 2), family + family);
  EXPECT_EQ(ShellPanels::clip(family + family + "x", 2), family + family + "…");
  EXPECT_EQ(ShellPanels::clip("", 0), "");
}

TEST(ShellPanelsTest, FileExtensionsAreBareAndLowercase) {
  EXPECT_EQ(ShellPanels::fileExtensions({".PNG", " jpg ", "..Txt.", "", " . ", "*", "a/b", "tar.gz"}),
            (std::vector<std::string>{"png", "jpg", "txt", "tar.gz"}));
  EXPECT_TRUE(ShellPanels::fileExtensions({"*", "?", "[a]"}).empty());
}

TEST(ShellPanelsTest, DownloadAdmission) {
  struct Case {
    std::optional<std::string> url;
    bool accepted;
  };
  const Case cases[] = {
      {std::nullopt, false},
      {"blob:http://127.0.0.1:4173/0f0e-11", true},
      {"blob:http://127.0.0.1:4174/0f0e-11", false},
      {"blob:http://127.0.0.1:41730/0f0e", false},
      {"blob:https://127.0.0.1:4173/0f0e", false},
      {"blob:http://localhost:4173/0f0e", false},
      {"data:text/plain,hello", true},
      {"DATA:text/plain,hello", true},
      {"http://127.0.0.1:4173/files/a.txt", true},
      {"http://127.0.0.1:4174/files/a.txt", false},
      {"http://127.0.0.1/files/a.txt", false},
      {"https://127.0.0.1:4173/files/a.txt", false},
      {"HTTP://127.0.0.1:4173/a", false},
      {"http://example.com:4173/a", false},
      {"file:///etc/passwd", false},
      {"not a url", false},
  };
  for (const auto& c : cases) EXPECT_EQ(ShellPanels::acceptsDownload(c.url, LocalServer(4173)), c.accepted) << c.url.value_or("<none>");
}

TEST(ShellPanelsTest, SafeFilenames) {
  struct Case {
    std::string name;
    std::string safe;
  };
  const Case cases[] = {
      {"report.txt", "report.txt"},
      {"a/b", "a-b"},
      {"a:b\\c", "a-b-c"},
      {"a//b", "a--b"},
      {"line\nbreak", "line-break"},
      {"bell\x07.txt", "bell-.txt"},
      {"  padded.txt \u3000", "padded.txt"},
      {"..", "岚笺导出"},
      {".", "岚笺导出"},
      {"", "岚笺导出"},
      {"   ", "岚笺导出"},
      {"../../etc/passwd", "..-..-etc-passwd"},
      {"报告（终版）.md", "报告（终版）.md"},
      {"bad\xff.txt", "bad\xEF\xBF\xBD.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShellPanels::safeFilename(c.name), c.safe) << c.name;
}

TEST(ShellPanelsTest, FailureReasons) {
  struct Case {
    SaveError error;
    std::string_view reason;
  };
  const Case cases[] = {
      {SaveError::fromErrno(ENOSPC, ""), ShellPanelCopy::reasonNoSpace},
      {SaveError::fromErrno(EDQUOT, ""), ShellPanelCopy::reasonNoSpace},
      {SaveError::fromErrno(EACCES, ""), ShellPanelCopy::reasonNoPermission},
      {SaveError::fromErrno(EPERM, ""), ShellPanelCopy::reasonNoPermission},
      {SaveError::fromErrno(EROFS, ""), ShellPanelCopy::reasonNoPermission},
      {SaveError::fromErrno(ENOENT, ""), ShellPanelCopy::reasonNoPermission},
      {SaveError::fromErrno(EEXIST, ""), ShellPanelCopy::reasonGeneric},
      {SaveError::fromErrno(EIO, ""), ShellPanelCopy::reasonGeneric},
      {SaveError::unverified(), ShellPanelCopy::reasonGeneric},
      {SaveError::changed(), ShellPanelCopy::reasonGeneric},
  };
  for (const auto& c : cases) EXPECT_EQ(ShellPanels::failureReason(c.error), c.reason) << c.error.description;
}

TEST(ShellPanelsTest, Identifiers) {
  EXPECT_TRUE(ShellPanels::isIdentifier("a"));
  EXPECT_TRUE(ShellPanels::isIdentifier("req-1.2_x:y"));
  EXPECT_TRUE(ShellPanels::isIdentifier(std::string(128, 'a')));
  EXPECT_FALSE(ShellPanels::isIdentifier(std::string(129, 'a')));
  EXPECT_FALSE(ShellPanels::isIdentifier(""));
  EXPECT_FALSE(ShellPanels::isIdentifier("-lead"));
  EXPECT_FALSE(ShellPanels::isIdentifier("has space"));
  EXPECT_FALSE(ShellPanels::isIdentifier("名字"));
}

TEST(ShellPanelCopyTest, ReceiptTexts) {
  EXPECT_EQ(ShellPanelCopy::saved("a.txt", "下载"), "已存到「下载」：a.txt");
  EXPECT_EQ(ShellPanelCopy::cancelled("a.txt"), "没有保存「a.txt」：存储时点了取消。");
  EXPECT_EQ(ShellPanelCopy::failed("a.txt", ShellPanelCopy::reasonNoSpace), "「a.txt」没有存下来：磁盘空间不够。");
}

}  // namespace
}  // namespace tovarin
