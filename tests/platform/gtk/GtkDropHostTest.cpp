#include "platform/gtk/GtkDropHost.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

TEST(GtkDropHostTest, KeepsTheLocalFilesTheProgramReadsInTheirOrder) {
  const std::string uriList =
      "# a comment line\r\n"
      "file:///home/u/Notes.TXT\r\n"
      "file:///home/u/report.pdf\r\n"
      "https://example.com/picture.png\r\n"
      "file:///home/u/%E6%88%AA%E5%9B%BE.png\r\n"
      "file:///home/u/folder.md\r\n";
  EXPECT_EQ(GtkDropHost::acceptableFiles(uriList),
            (std::vector<std::string>{"/home/u/Notes.TXT", "/home/u/截图.png", "/home/u/folder.md"}));
  EXPECT_TRUE(GtkDropHost::acceptableFiles("file:///a/doc.pdf\r\n").empty());
  EXPECT_TRUE(GtkDropHost::acceptableFiles("").empty());
}

}  // namespace
}  // namespace tovarin
