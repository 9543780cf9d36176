#include "main/windows/FrameAutosave.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

class FrameAutosaveTest : public ::testing::Test {
 protected:
  // What another reader of the defaults file finds: only what has been written.
  std::optional<std::string> onDisk() const { return UserDefaults(path_).string("frame"); }

  ManualLoop loop_;
  TempDir dir_;
  std::string path_ = dir_.path() + "/defaults.json";
  UserDefaults defaults_{path_};
};

TEST_F(FrameAutosaveTest, ADragIsWrittenAtMostEveryIntervalAndItsLastFrameAlways) {
  FrameAutosave autosave(loop_, defaults_, "frame", "");
  for (int step = 0; step < 10; ++step) {
    autosave.note({100.0 + step, 200, 340, 460});
    loop_.advance(0.1);
  }
  // Steps at 0.0 to 0.9 s: writes at 0.5 s (step 4) and 1.0 s (step 9).
  EXPECT_EQ(onDisk(), "{{109, 200}, {340, 460}}");
  autosave.note({300, 200, 340, 460});
  EXPECT_EQ(onDisk(), "{{109, 200}, {340, 460}}") << "not before the interval";
  loop_.advance(FrameAutosave::interval);
  EXPECT_EQ(onDisk(), "{{300, 200}, {340, 460}}");
}

TEST_F(FrameAutosaveTest, AFrameNotYetWrittenIsWrittenWhenTheAutosaveEnds) {
  {
    FrameAutosave autosave(loop_, defaults_, "frame", "");
    autosave.note({1, 2, 300, 400});
    EXPECT_EQ(onDisk(), std::nullopt);
  }
  EXPECT_EQ(onDisk(), "{{1, 2}, {300, 400}}");
  loop_.advance(10);  // the cancelled timer must not touch the autosave that is gone
  EXPECT_EQ(onDisk(), "{{1, 2}, {300, 400}}");
}

TEST_F(FrameAutosaveTest, TheFrameAlreadyStoredIsNotWrittenAgain) {
  defaults_.setString("frame", "{{1, 2}, {300, 400}}");
  FrameAutosave autosave(loop_, defaults_, "frame", "{{1, 2}, {300, 400}}");
  autosave.note({5, 2, 300, 400});
  autosave.note({1, 2, 300, 400});  // back where it was before anything was written
  defaults_.remove("frame");        // so that any write would show
  loop_.advance(FrameAutosave::interval);
  autosave.flush();
  EXPECT_EQ(onDisk(), std::nullopt);
}

}  // namespace
}  // namespace tovarin
