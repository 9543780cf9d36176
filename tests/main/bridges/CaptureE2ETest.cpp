// The real program under the test's display and its own session bus, with the stand-in
// server's main page: the page's recognition request comes back with the picture's
// words, a reminder it schedules reaches the desktop's notification server at its
// minute, and clicking that notification tells the page {"id", "opened": true}.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>

#include "tests/support/Eventually.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/RecordingNotificationServer.h"
#include "tests/support/StagedProgram.h"

namespace tovarin {
namespace {

// "YYYY-MM-DDTHH:mm" in UTC, the zone the program runs in here.
std::string utcMinute(std::time_t time) {
  std::tm fields{};
  gmtime_r(&time, &fields);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M", &fields);
  return text;
}

class CaptureE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::getenv("DISPLAY")) << "run under xvfb-run";
    ASSERT_FALSE(bus_.address().empty()) << bus_.error();
    ASSERT_TRUE(notifications_.ready());
    ASSERT_TRUE(program_.start()) << program_.error();
    ASSERT_TRUE(eventually([&] { return program_.pageLoads("main") >= 1; }, 90)) << program_.log();
  }

  // The payloads the page received on one of its bridges, in order.
  std::vector<Json> delivered(const std::string& bridge) {
    std::vector<Json> out;
    if (auto state = program_.get("/__test/capture")) {
      for (const auto& delivery : (*state)["deliveries"]) {
        if (delivery["bridge"] == bridge) out.push_back(delivery["payload"]);
      }
    }
    return out;
  }
  std::optional<Json> deliveredMatching(const std::string& bridge, const std::function<bool(const Json&)>& match,
                                        double seconds) {
    std::optional<Json> found;
    eventually([&] {
      for (const auto& payload : delivered(bridge)) {
        if (match(payload)) found = payload;
      }
      return found.has_value();
    }, seconds);
    return found;
  }

  PrivateDbus bus_;
  RecordingNotificationServer notifications_{bus_.address()};
  StagedProgram program_{{.busAddress = bus_.address(),
                          .environment = {"TZ=UTC", "TOVARIN_TEST_CAPTURE=1",
                                          "TOVARIN_CAPTURE_SAMPLE=" + std::string(TOVARIN_SOURCE_DIR) +
                                              "/tests/fixtures/ocr/english.png"}}};
};

TEST_F(CaptureE2ETest, RecognitionAndRemindersWorkFromThePage) {
  ASSERT_TRUE(program_.post("/__test/capture/command", Json{{"type", "ocr"}}));
  const auto recognised = deliveredMatching("__ocr", [](const Json& p) { return p.contains("text") || p.contains("error"); }, 60);
  ASSERT_TRUE(recognised) << program_.log();
  EXPECT_NE(recognised->value("text", "").find("Quarterly Meeting Notes"), std::string::npos) << recognised->dump();

  // The next whole minute at least five seconds away.
  std::time_t fireAt = (std::time(nullptr) / 60 + 1) * 60;
  if (fireAt - std::time(nullptr) < 5) fireAt += 60;
  const Json reminder{{"id", "e2e-reminder"}, {"title", "站会"}, {"body", "三楼会议室"}, {"fireAt", utcMinute(fireAt)}};
  ASSERT_TRUE(program_.post("/__test/capture/command", Json{{"type", "notify"}, {"message", reminder}}));
  ASSERT_TRUE(deliveredMatching("__notify", [](const Json& p) { return p.value("ok", false); }, 20)) << program_.log();
  EXPECT_TRUE(notifications_.notifications().empty()) << "shown before its minute";

  ASSERT_TRUE(notifications_.waitForNotifications(1, 150)) << program_.log();
  // The precise clock: time() reads a coarse one that can still show the second before.
  EXPECT_GE(std::chrono::system_clock::now(), std::chrono::system_clock::from_time_t(fireAt));
  const auto shown = notifications_.notifications().front();
  EXPECT_EQ(shown.summary, "站会");
  EXPECT_EQ(shown.body, "三楼会议室");
  EXPECT_NE(std::find(shown.actions.begin(), shown.actions.end(), "default"), shown.actions.end());

  // The program learns the notification's id from the answer to its call, which may
  // still be on its way when the test has the call; a person clicks later. So the test
  // clicks again until the page hears of it.
  std::optional<Json> opened;
  for (int click = 0; click < 20 && !opened; ++click) {
    ASSERT_TRUE(notifications_.invokeAction(shown.id));
    opened = deliveredMatching("__notify", [](const Json& p) { return p.value("opened", false); }, 1);
  }
  ASSERT_TRUE(opened) << program_.log();
  EXPECT_EQ((*opened)["id"], "e2e-reminder");
}

TEST_F(CaptureE2ETest, TheWindowTakesFileDropsOnceThePageCanTakeTheirText) {
  EXPECT_TRUE(eventually([&] { return program_.logHas("[orvik] drop: 页面已装 __dropText，整窗拖入由外壳接管"); }, 30))
      << program_.log();
}

// Frames reach the bridges; a frame of the page's own origin is served, one from
// "localhost", another origin than the page's "127.0.0.1", is not.
TEST_F(CaptureE2ETest, OnlyFramesOfThePagesOwnOriginMayAsk) {
  ASSERT_TRUE(program_.post("/__test/capture/command",
                            Json{{"type", "frame"}, {"url", "http://127.0.0.1:{port}/capture/frame.html"}}));
  ASSERT_TRUE(notifications_.waitForNotifications(1, 30)) << program_.log();
  EXPECT_EQ(notifications_.notifications().front().summary, "127.0.0.1");

  ASSERT_TRUE(program_.post("/__test/capture/command",
                            Json{{"type", "frame"}, {"url", "http://localhost:{port}/capture/frame.html"}}));
  EXPECT_TRUE(eventually([&] { return program_.logHas("[orvik] notify: message from a frame outside the local server dropped (http://localhost:"); }, 30))
      << program_.log();
  EXPECT_TRUE(eventually([&] { return program_.logHas("[orvik] ocr: message from a frame outside the local server dropped (http://localhost:"); }, 10))
      << program_.log();
  ASSERT_TRUE(program_.post("/__test/capture/command",
                            Json{{"type", "notify"}, {"message", Json{{"id", "own"}, {"title", "自己的"}}}}));
  ASSERT_TRUE(notifications_.waitForNotifications(2, 30)) << program_.log();
  EXPECT_EQ(notifications_.notifications().at(1).summary, "自己的");
  EXPECT_EQ(notifications_.notifications().size(), 2u);
}

TEST_F(CaptureE2ETest, AReminderWithoutATimeIsShownAtOnce) {
  ASSERT_TRUE(program_.post("/__test/capture/command",
                            Json{{"type", "notify"}, {"message", Json{{"id", "now"}, {"title", "现在"}}}}));
  ASSERT_TRUE(notifications_.waitForNotifications(1, 30)) << program_.log();
  EXPECT_EQ(notifications_.notifications().front().summary, "现在");
  EXPECT_TRUE(deliveredMatching("__notify", [](const Json& p) { return p.value("ok", false); }, 20));
}

}  // namespace
}  // namespace tovarin
