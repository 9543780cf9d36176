#include "main/changes/ChangeWatcher.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/FakeEventStream.h"
#include "tests/support/FakeWidgetTimelines.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

constexpr const char* kEvent = "event: change\ndata: {\"kind\":\"tasks\"}\n\n";

class ChangeWatcherTest : public testing::Test {
 protected:
  void SetUp() override {
    watcher_->setOnChange([this] {
      EXPECT_TRUE(loop_.isMainThread());
      changes_.push_back(elapsed());
    });
  }

  double elapsed() const { return loop_.now() - start_; }
  std::vector<double> reloads() const {
    std::vector<double> relative;
    for (double at : widgets_.reloads()) relative.push_back(at - start_);
    return relative;
  }
  std::vector<std::string> logs() const { return logs_.lines(); }
  // Starts the watcher and lets the server answer with this status.
  void startStreaming(int status = 200) {
    watcher_->start();
    loop_.runUntilIdle();
    ASSERT_EQ(stream_.openCount(), 1u);
    stream_.respond(0, status);
    loop_.runUntilIdle();
  }

  ManualLoop loop_;  // first: built first, destroyed last
  const double start_ = loop_.now();
  FakeEventStream stream_;
  FakeWidgetTimelines widgets_{loop_};
  std::shared_ptr<ChangeWatcher> watcher_ = ChangeWatcher::create(4321, stream_, widgets_, loop_, loop_);
  std::vector<double> changes_;
  LogRecorder logs_;  // last: stops recording before the watcher goes
};

TEST_F(ChangeWatcherTest, StartOpensTheStreamWithItsHeadersAndIdleTimeout) {
  EXPECT_EQ(stream_.openCount(), 0u);
  watcher_->start();
  loop_.runUntilIdle();
  ASSERT_EQ(stream_.openCount(), 1u);
  const auto& request = stream_.request(0);
  EXPECT_EQ(request.url, "http://127.0.0.1:4321/api/stream");
  EXPECT_EQ(request.headers, (HttpHeaders{{"accept", "text/event-stream"}}));
  EXPECT_DOUBLE_EQ(request.idleTimeoutSeconds, 60.0);
}

TEST_F(ChangeWatcherTest, APortNoAddressCanCarryOpensNothingAndRetriesNothing) {
  for (int64_t port : {int64_t{0}, int64_t{-1}, int64_t{65536}, int64_t{1} << 40}) {
    SCOPED_TRACE(port);
    auto watcher = ChangeWatcher::create(port, stream_, widgets_, loop_, loop_);
    watcher->start();
    loop_.runUntilIdle();
    loop_.advance(600);
    EXPECT_EQ(stream_.openCount(), 0u);
    watcher->stop();
    loop_.runUntilIdle();
  }
}

TEST_F(ChangeWatcherTest, ABurstOfEventsIsThrottledWithTrailingCalls) {
  startStreaming();
  for (double at : {0.0, 0.2, 0.4, 0.6, 0.8}) {
    loop_.advance(at - elapsed());
    stream_.chunk(0, kEvent);
    loop_.runUntilIdle();
  }
  loop_.advance(5.0);
  EXPECT_EQ(reloads(), (std::vector<double>{0.0, 2.0}));
  ASSERT_EQ(changes_.size(), 3u);
  EXPECT_NEAR(changes_[0], 0.0, 1e-9);
  EXPECT_NEAR(changes_[1], 0.5, 1e-9);
  EXPECT_NEAR(changes_[2], 1.0, 1e-9);
}

TEST_F(ChangeWatcherTest, ChunksWithoutAnEventMarkerDoNothing) {
  startStreaming();
  stream_.chunk(0, ": hello\n\n");
  stream_.chunk(0, "data: {\"x\":1}\n\n");
  loop_.advance(10.0);
  EXPECT_TRUE(reloads().empty());
  EXPECT_TRUE(changes_.empty());
}

TEST_F(ChangeWatcherTest, AMarkerSplitAcrossChunksStillCountsOnce) {
  startStreaming();
  stream_.chunk(0, ": hi\n\nev");
  loop_.runUntilIdle();
  EXPECT_TRUE(reloads().empty());
  stream_.chunk(0, "ent: change\ndata: \xE5\x8F");  // also ends inside a character
  stream_.chunk(0, "\x98\n\n");
  loop_.advance(10.0);
  EXPECT_EQ(reloads(), (std::vector<double>{0.0}));
  EXPECT_EQ(changes_, (std::vector<double>{0.0}));
}

TEST_F(ChangeWatcherTest, TheBytesOfAnEndedStreamDoNotJoinTheNextOne) {
  startStreaming();
  stream_.chunk(0, "data: 1\n\nevent");
  stream_.end(0);
  loop_.advance(3.0);
  ASSERT_EQ(stream_.openCount(), 2u);
  stream_.respond(1, 200);
  stream_.chunk(1, ": comment\n\n");
  loop_.advance(10.0);
  EXPECT_TRUE(reloads().empty());
}

struct EndCase {
  const char* name;
  std::optional<int> status;  // none: no response ever arrived
  EventStreamEnd::Reason reason;
  double delay;
  bool logsRefusal;
};

void PrintTo(const EndCase& c, std::ostream* out) { *out << c.name; }

class ChangeWatcherReconnect : public ChangeWatcherTest, public testing::WithParamInterface<EndCase> {};

TEST_P(ChangeWatcherReconnect, ReconnectsAfterTheDelayForHowTheStreamEnded) {
  const EndCase& c = GetParam();
  watcher_->start();
  loop_.runUntilIdle();
  if (c.status) stream_.respond(0, *c.status);
  stream_.end(0, c.reason);
  loop_.runUntilIdle();
  const std::string refusal = c.status ? "[orvik] stream refused: HTTP " + std::to_string(*c.status) : "";
  EXPECT_EQ(logs(), c.logsRefusal ? std::vector<std::string>{refusal} : std::vector<std::string>{});

  loop_.advance(c.delay - 0.001);
  EXPECT_EQ(stream_.openCount(), 1u);
  loop_.advance(0.001);
  ASSERT_EQ(stream_.openCount(), 2u);
  EXPECT_TRUE(stream_.isLive(1));
  EXPECT_EQ(stream_.request(1).url, stream_.request(0).url);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, ChangeWatcherReconnect,
    testing::Values(EndCase{"closed after 200", 200, EventStreamEnd::Reason::closed, 3.0, false},
                    EndCase{"silent past the idle timeout", 200, EventStreamEnd::Reason::idleTimeout, 3.0, false},
                    EndCase{"server unreachable", std::nullopt, EventStreamEnd::Reason::failed, 3.0, false},
                    EndCase{"no answer before the idle timeout", std::nullopt, EventStreamEnd::Reason::idleTimeout,
                            3.0, false},
                    EndCase{"refused with 503", 503, EventStreamEnd::Reason::closed, 300.0, true},
                    EndCase{"refused with 404 then reset", 404, EventStreamEnd::Reason::failed, 300.0, true},
                    EndCase{"redirect counts as a refusal", 302, EventStreamEnd::Reason::closed, 300.0, true}),
    [](const testing::TestParamInfo<EndCase>& info) { return "Case" + std::to_string(info.index); });

TEST_F(ChangeWatcherTest, ARefusalIsForgottenOnTheNextAttempt) {
  startStreaming(503);
  stream_.end(0);
  loop_.advance(300.0);
  ASSERT_EQ(stream_.openCount(), 2u);
  stream_.end(1, EventStreamEnd::Reason::failed);  // the server is down now: no status
  loop_.advance(3.0);
  EXPECT_EQ(stream_.openCount(), 3u);
}

TEST_F(ChangeWatcherTest, AnUnreachableServerIsRetriedEveryThreeSeconds) {
  watcher_->start();
  loop_.runUntilIdle();
  for (size_t attempt = 0; attempt < 5; ++attempt) {
    ASSERT_EQ(stream_.openCount(), attempt + 1);
    stream_.end(attempt, EventStreamEnd::Reason::failed);
    loop_.advance(3.0);
  }
  EXPECT_EQ(stream_.openCount(), 6u);
  EXPECT_TRUE(logs().empty());
}

enum class StopState { beforeStart, connecting, streaming, waitingAfterDrop, waitingAfterRefusal };

class ChangeWatcherStop : public ChangeWatcherTest, public testing::WithParamInterface<StopState> {};

TEST_P(ChangeWatcherStop, StopEndsTheCycleInEveryState) {
  const StopState state = GetParam();
  if (state != StopState::beforeStart) {
    watcher_->start();
    loop_.runUntilIdle();
  }
  if (state == StopState::streaming) stream_.respond(0, 200);
  if (state == StopState::waitingAfterDrop) stream_.end(0, EventStreamEnd::Reason::failed);
  if (state == StopState::waitingAfterRefusal) {
    stream_.respond(0, 503);
    stream_.end(0);
  }
  loop_.advance(1.0);
  const size_t opened = stream_.openCount();

  watcher_->stop();
  loop_.runUntilIdle();
  for (size_t i = 0; i < opened; ++i) EXPECT_FALSE(stream_.isLive(i)) << "stream " << i;
  loop_.advance(600.0);
  EXPECT_EQ(stream_.openCount(), opened);
  EXPECT_TRUE(reloads().empty());

  // start() after stop() follows the stream again.
  watcher_->start();
  loop_.runUntilIdle();
  ASSERT_EQ(stream_.openCount(), opened + 1);
  EXPECT_TRUE(stream_.isLive(stream_.latest()));
}

INSTANTIATE_TEST_SUITE_P(States, ChangeWatcherStop,
                         testing::Values(StopState::beforeStart, StopState::connecting, StopState::streaming,
                                         StopState::waitingAfterDrop, StopState::waitingAfterRefusal));

TEST_F(ChangeWatcherTest, EventsArrivingAfterStopAreIgnored) {
  startStreaming();
  stream_.chunk(0, kEvent);  // queued, not yet delivered
  watcher_->stop();
  loop_.advance(10.0);
  EXPECT_TRUE(reloads().empty());
  EXPECT_TRUE(changes_.empty());
}

TEST_F(ChangeWatcherTest, StartingAgainReplacesTheStreamWithoutAnExtraReconnect) {
  startStreaming();
  watcher_->start();
  loop_.runUntilIdle();
  ASSERT_EQ(stream_.openCount(), 2u);
  EXPECT_TRUE(stream_.isCancelled(0));
  EXPECT_TRUE(stream_.isLive(1));
  // The replaced stream's end must not schedule a reconnect that cancels the new one.
  loop_.advance(600.0);
  EXPECT_EQ(stream_.openCount(), 2u);
  EXPECT_TRUE(stream_.isLive(1));
}

TEST_F(ChangeWatcherTest, ThrottlesRunWithoutACallbackAndNothingIsCalled) {
  auto watcher = ChangeWatcher::create(4321, stream_, widgets_, loop_, loop_);
  watcher->start();
  loop_.runUntilIdle();
  stream_.respond(0, 200);
  stream_.chunk(0, kEvent);
  loop_.advance(0.1);
  stream_.chunk(0, kEvent);  // held back: a trailing call is now due at 0.5 s
  loop_.advance(0.1);
  int calls = 0;
  watcher->setOnChange([&] { ++calls; });
  stream_.chunk(0, kEvent);  // coalesced into that trailing call
  loop_.advance(0.299);
  EXPECT_EQ(calls, 0);
  loop_.advance(0.001);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(reloads(), (std::vector<double>{0.0}));
}

TEST_F(ChangeWatcherTest, TheOwnersDirectReloadSharesTheThrottle) {
  watcher_->reloadWidgets();
  loop_.runUntilIdle();
  EXPECT_EQ(reloads(), (std::vector<double>{0.0}));
  startStreaming();
  loop_.advance(1.0);
  stream_.chunk(0, kEvent);
  loop_.advance(10.0);
  EXPECT_EQ(reloads(), (std::vector<double>{0.0, 2.0}));
  EXPECT_EQ(changes_, (std::vector<double>{1.0}));
}

TEST_F(ChangeWatcherTest, AWatcherThatIsGoneDoesNothingMore) {
  startStreaming();
  stream_.chunk(0, kEvent);
  loop_.advance(0.1);
  stream_.chunk(0, kEvent);  // trailing reload and callback now scheduled
  loop_.runUntilIdle();
  stream_.end(0);
  loop_.runUntilIdle();
  ASSERT_EQ(reloads().size(), 1u);
  ASSERT_EQ(changes_.size(), 1u);

  watcher_.reset();
  loop_.advance(600.0);
  EXPECT_EQ(stream_.openCount(), 1u);
  EXPECT_EQ(reloads().size(), 1u);
  EXPECT_EQ(changes_.size(), 1u);
}

}  // namespace
}  // namespace tovarin
