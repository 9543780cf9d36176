#include "base/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <vector>

#include "tests/support/ManualLoop.h"

namespace tovarin {
namespace {

TEST(SerialQueueTest, RunsTasksInOrderOnItsOwnThread) {
  SerialQueue queue("com.orvik.test");
  std::vector<int> order;
  bool sawCurrent = true;
  for (int i = 0; i < 100; ++i) {
    queue.async([&, i] {
      sawCurrent = sawCurrent && queue.isCurrent();
      order.push_back(i);
    });
  }
  queue.sync([] {});
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
  EXPECT_TRUE(sawCurrent);
  EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueueTest, SyncFromTheQueueItselfDoesNotDeadlock) {
  SerialQueue queue("com.orvik.test");
  int value = 0;
  queue.sync([&] { queue.sync([&] { value = 7; }); });
  EXPECT_EQ(value, 7);
}

TEST(SerialQueueTest, DelayedTasksRunInTimeOrderAndCancelledOnesNever) {
  SerialQueue queue("com.orvik.test");
  std::mutex mutex;
  std::vector<int> order;
  std::atomic<int> ran{0};
  auto later = queue.asyncAfter(0.06, [&] { std::lock_guard l(mutex); order.push_back(2); ++ran; });
  auto sooner = queue.asyncAfter(0.02, [&] { std::lock_guard l(mutex); order.push_back(1); ++ran; });
  auto cancelled = queue.asyncAfter(0.01, [&] { std::lock_guard l(mutex); order.push_back(99); ++ran; });
  cancelled.cancel();
  ManualLoop loop;
  ASSERT_TRUE(loop.waitFor([&] { return ran.load() == 2; }, 5));
  queue.sync([] {});
  std::lock_guard l(mutex);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(SerialQueueTest, DestroyingTheHandleCancelsTheTask) {
  SerialQueue queue("com.orvik.test");
  std::atomic<bool> ran{false};
  { auto handle = queue.asyncAfter(0.01, [&] { ran = true; }); }
  auto marker = queue.asyncAfter(0.05, [] {});
  std::atomic<bool> after{false};
  auto probe = queue.asyncAfter(0.06, [&] { after = true; });
  ManualLoop loop;
  ASSERT_TRUE(loop.waitFor([&] { return after.load(); }, 5));
  EXPECT_FALSE(ran.load());
}

// An owner that captures itself weakly can die inside a task on its own queue (the
// task held the last strong reference). The queue must finish that task and stop
// without touching freed memory; the sanitizer build catches any slip.
TEST(SerialQueueTest, LastOwnerReleasedInsideItsOwnTaskStopsCleanly) {
  struct Owner {
    SerialQueue queue{"com.orvik.test.owner"};
  };
  for (int round = 0; round < 20; ++round) {
    auto owner = std::make_shared<Owner>();
    Owner* raw = owner.get();
    std::promise<bool> released;
    auto done = released.get_future();
    raw->queue.async([owner = std::move(owner), &released]() mutable {
      bool wasCurrent = owner->queue.isCurrent();
      owner.reset();  // ~SerialQueue runs here, on the queue's own thread
      released.set_value(wasCurrent);
    });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(done.get());
  }
}

TEST(ManualLoopTest, TimersFireExactlyAtTheirVirtualDeadline) {
  ManualLoop loop;
  int fired = 0;
  auto timer = loop.postAfter(5.0, [&] { ++fired; });
  loop.advance(4.999);
  EXPECT_EQ(fired, 0);
  loop.advance(0.001);
  EXPECT_EQ(fired, 1);
}

TEST(ManualLoopTest, TimersScheduledByTimersRunWithinTheSameAdvance) {
  ManualLoop loop;
  std::vector<double> times;
  TimerHandle second;
  auto first = loop.postAfter(1.0, [&] {
    times.push_back(loop.now());
    second = loop.postAfter(1.0, [&] { times.push_back(loop.now()); });
  });
  const double start = loop.now();
  loop.advance(2.5);
  ASSERT_EQ(times.size(), 2u);
  EXPECT_DOUBLE_EQ(times[0] - start, 1.0);
  EXPECT_DOUBLE_EQ(times[1] - start, 2.0);
  EXPECT_DOUBLE_EQ(loop.now() - start, 2.5);
}

}  // namespace
}  // namespace tovarin
