#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/qt/SerialQueue.h"

using namespace std::chrono_literals;
using tk::SerialQueue;

TEST(SerialQueueTest, RunsTasksInPostingOrderOnItsOwnThread) {
  SerialQueue queue("TestQueue");
  std::vector<int> order;
  std::thread::id worker;
  for (int i = 0; i < 100; ++i) {
    queue.post([&, i] {
      order.push_back(i);
      worker = std::this_thread::get_id();
    });
  }
  queue.flush();
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
  EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(SerialQueueTest, TimerSkipsMissedSlotsInsteadOfBunching) {
  SerialQueue queue("TimerQueue");
  std::atomic<int> ticks{0};
  std::atomic<int64_t> skipped{0};
  auto id = queue.startTimer(10ms, [&](int64_t missed) {
    skipped += missed;
    if (ticks++ == 0) std::this_thread::sleep_for(55ms);  // a slow first tick
  });
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (ticks < 4 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  queue.cancelTimer(id);
  const int after = ticks;
  EXPECT_GE(after, 4);
  EXPECT_GE(skipped.load(), 4);  // the 55 ms stall passed over about five slots
  queue.flush();
  EXPECT_EQ(ticks.load(), after);  // nothing runs after cancel returns
}

TEST(SerialQueueTest, StopDiscardsPendingWorkAndRefusesNewWork) {
  auto queue = std::make_unique<SerialQueue>("StopQueue");
  std::atomic<bool> ranDelayed{false};
  queue->postAfter(1h, [&] { ranDelayed = true; });
  queue->stop();
  EXPECT_FALSE(queue->post([] {}));
  queue.reset();
  EXPECT_FALSE(ranDelayed);
}
