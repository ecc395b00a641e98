#include "capture/CircularBuffer.h"

#include <gtest/gtest.h>

namespace tk {
namespace {

TEST(CircularBufferTest, OverwritesTheOldestOnceFullAndKeepsStorageWhenCleared) {
  CircularBuffer<int> ring(60);
  EXPECT_EQ(ring.reservedCapacity(), 60u);
  for (int i = 1; i <= 60; ++i) ring.append(i);
  EXPECT_EQ(ring.index(), 0u);

  ring.append(61);
  EXPECT_EQ(ring.buffer()[0], 61);
  EXPECT_EQ(ring.buffer()[1], 2);
  ring.append(62);
  EXPECT_EQ(ring.buffer()[1], 62);
  EXPECT_EQ(ring.index(), 2u);
  EXPECT_EQ(ring.size(), 60u);

  ring.clear();
  EXPECT_EQ(ring.size(), 0u);
  EXPECT_EQ(ring.index(), 0u);
  EXPECT_EQ(ring.reservedCapacity(), 60u);
  ring.append(7);
  ASSERT_EQ(ring.size(), 1u);
  EXPECT_EQ(ring.buffer().back(), 7);
}

TEST(CircularBufferTest, WrapsAroundAgainAfterAFullTurn) {
  CircularBuffer<int> ring(3);
  for (int i = 1; i <= 7; ++i) ring.append(i);
  // 1 2 3 -> 4 2 3 -> 4 5 3 -> 4 5 6 -> 7 5 6
  EXPECT_EQ(ring.buffer(), (std::vector<int>{7, 5, 6}));
  EXPECT_EQ(ring.index(), 1u);
}

}  // namespace
}  // namespace tk
