#include "platform/glib/GlibMainLoop.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "tests/platform/gtk/GlibPump.h"

namespace tovarin {
namespace {

class GlibMainLoopTest : public ::testing::Test {
 protected:
  std::unique_ptr<GlibMainLoop> loop_ = std::make_unique<GlibMainLoop>();
  std::vector<int> ran_;
};

TEST_F(GlibMainLoopTest, PostedTasksRunLaterInPostingOrder) {
  for (int i = 0; i < 5; ++i) loop_->post([this, i] { ran_.push_back(i); });
  EXPECT_TRUE(ran_.empty()) << "post must never run the task inline";
  ASSERT_TRUE(pumpUntil([&] { return ran_.size() == 5; }));
  EXPECT_EQ(ran_, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(GlibMainLoopTest, TaskPostedByATaskRunsAfterTheTasksAlreadyQueued) {
  loop_->post([this] {
    ran_.push_back(1);
    loop_->post([this] { ran_.push_back(3); });
  });
  loop_->post([this] { ran_.push_back(2); });
  ASSERT_TRUE(pumpUntil([&] { return ran_.size() == 3; }));
  EXPECT_EQ(ran_, (std::vector<int>{1, 2, 3}));
}

TEST_F(GlibMainLoopTest, TimersRunInDeadlineOrderAndNotBeforeTheirTime) {
  const double start = loop_->now();
  std::vector<double> ranAt(3);
  // Scheduled out of order: the loop must sort them even when all are due at once.
  TimerHandle late = loop_->postAfter(0.15, [&] { ran_.push_back(150); ranAt[2] = loop_->now(); });
  TimerHandle early = loop_->postAfter(0.05, [&] { ran_.push_back(50); ranAt[0] = loop_->now(); });
  TimerHandle middle = loop_->postAfter(0.10, [&] { ran_.push_back(100); ranAt[1] = loop_->now(); });
  ASSERT_TRUE(pumpUntil([&] { return ran_.size() == 3; }));
  EXPECT_EQ(ran_, (std::vector<int>{50, 100, 150}));
  EXPECT_GE(ranAt[0] - start, 0.05);
  EXPECT_GE(ranAt[1] - start, 0.10);
  EXPECT_GE(ranAt[2] - start, 0.15);
}

TEST_F(GlibMainLoopTest, TimersDueTogetherRunInDeadlineOrderEvenWhenTheLoopWasBusy) {
  TimerHandle second = loop_->postAfter(0.02, [&] { ran_.push_back(2); });
  TimerHandle first = loop_->postAfter(0.01, [&] { ran_.push_back(1); });
  // Keep the loop from running until both are overdue.
  const double until = loop_->now() + 0.05;
  while (loop_->now() < until) std::this_thread::yield();
  ASSERT_TRUE(pumpUntil([&] { return ran_.size() == 2; }));
  EXPECT_EQ(ran_, (std::vector<int>{1, 2}));
}

TEST_F(GlibMainLoopTest, CancelledOrDroppedTimersNeverRun) {
  TimerHandle cancelled = loop_->postAfter(0.01, [&] { ran_.push_back(1); });
  cancelled.cancel();
  { TimerHandle dropped = loop_->postAfter(0.01, [&] { ran_.push_back(2); }); }
  TimerHandle replaced = loop_->postAfter(0.01, [&] { ran_.push_back(3); });
  replaced = loop_->postAfter(0.02, [&] { ran_.push_back(4); });
  TimerHandle sentinel = loop_->postAfter(0.08, [&] { ran_.push_back(9); });
  ASSERT_TRUE(pumpUntil([&] { return !ran_.empty() && ran_.back() == 9; }));
  EXPECT_EQ(ran_, (std::vector<int>{4, 9}));
}

TEST_F(GlibMainLoopTest, DetachedTimerStillRuns) {
  loop_->postAfter(0.01, [&] { ran_.push_back(1); }).detach();
  ASSERT_TRUE(pumpUntil([&] { return ran_.size() == 1; }));
}

TEST_F(GlibMainLoopTest, TasksPostedFromOtherThreadsAllArriveInEachThreadsOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 500;
  std::vector<std::vector<int>> seen(kThreads);
  std::vector<bool> posterSawCurrent(kThreads, true);
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      posterSawCurrent[t] = loop_->isCurrent();
      for (int i = 0; i < kPerThread; ++i) {
        loop_->post([&, t, i] {
          EXPECT_TRUE(loop_->isCurrent());
          seen[t].push_back(i);
        });
      }
    });
  }
  for (auto& poster : posters) poster.join();
  ASSERT_TRUE(pumpUntil([&] {
    for (const auto& s : seen)
      if (s.size() != kPerThread) return false;
    return true;
  }));
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_FALSE(posterSawCurrent[t]);
    for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(seen[t][i], i);
  }
  EXPECT_TRUE(loop_->isCurrent());
  EXPECT_TRUE(loop_->isMainThread());
}

TEST_F(GlibMainLoopTest, PostFromAnotherThreadWakesABlockedLoop) {
  std::thread poster([&] { loop_->post([&] { ran_.push_back(1); }); });
  // pumpUntil blocks in poll: only a wake-up from post() lets it see the task soon.
  const double start = loop_->now();
  ASSERT_TRUE(pumpUntil([&] { return ran_.size() == 1; }, 5));
  EXPECT_LT(loop_->now() - start, 4.0);
  poster.join();
}

TEST_F(GlibMainLoopTest, DestroyingTheLoopDropsEverythingNotYetRun) {
  loop_->post([&] { ran_.push_back(1); });
  TimerHandle timer = loop_->postAfter(0, [&] { ran_.push_back(2); });
  timer.detach();
  loop_.reset();
  drainReady();
  EXPECT_TRUE(ran_.empty());
}

TEST_F(GlibMainLoopTest, TaskThatEndsTheLoopStopsTheRestOfItsBatch) {
  loop_->post([&] {
    ran_.push_back(1);
    loop_.reset();
  });
  loop_->post([&] { ran_.push_back(2); });
  ASSERT_TRUE(pumpUntil([&] { return !ran_.empty(); }));
  drainReady();
  EXPECT_EQ(ran_, (std::vector<int>{1}));
}

}  // namespace
}  // namespace tovarin
