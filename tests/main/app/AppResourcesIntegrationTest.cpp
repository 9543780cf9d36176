// The resources the program ships beside itself: the status item's mark and the desktop
// entry that registers the program's URL scheme.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/ChildProcess.h"
#include "tests/support/FileContents.h"
#include "tokens/TovarinColors.h"
#include "tokens/TovarinMark.h"

namespace tovarin {
namespace {

TEST(AppResourcesTest, BundledMarkIsTheTokensMarkInTheBrandColour) {
  const std::string svg = readFile(std::string(TOVARIN_SOURCE_DIR) + "/resources/bundle/TheTovarinMark.svg");
  ASSERT_FALSE(svg.empty());
  EXPECT_NE(svg.find("xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
  EXPECT_NE(svg.find("viewBox=\"0 0 64 64\""), std::string::npos);
  EXPECT_NE(svg.find("d=\"" + std::string(TovarinMark::path) + "\""), std::string::npos);
  EXPECT_NE(svg.find("fill=\"" + TovarinBrand::mark.lightCSS() + "\""), std::string::npos);
  // The staged bundle carries the same file.
  EXPECT_EQ(readFile(std::string(TOVARIN_STAGE_DIR) + "/share/the-tovarin/TheTovarinMark.svg"), svg);
}

TEST(AppResourcesTest, StagedDesktopEntryIsValidAndClaimsTheScheme) {
  const std::string path = std::string(TOVARIN_STAGE_DIR) + "/share/applications/com.orvik.TheTovarin.desktop";
  const std::string entry = readFile(path);
  ASSERT_FALSE(entry.empty()) << path;
  EXPECT_NE(entry.find("\nMimeType=x-scheme-handler/the-tovarin;\n"), std::string::npos);
  EXPECT_NE(entry.find("\nExec=" + std::string(TOVARIN_STAGE_DIR) + "/bin/TheTovarin %u\n"), std::string::npos);

  auto validator = ChildProcess::launch(
      ChildProcessOptions{"/usr/bin/desktop-file-validate", {path}, {}, {"PATH=/usr/bin:/bin"}, false, true});
  ASSERT_TRUE(validator.process) << validator.error;
  const std::string complaints = validator.process->readAllOutput();
  const int status = validator.process->wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << complaints;
  EXPECT_EQ(complaints, "");
}

}  // namespace
}  // namespace tovarin
