#include "base/byte_buffer.h"

#include <gtest/gtest.h>

#include <utility>

#include "doubles/failing_allocation.h"

namespace quorvel {
namespace {

TEST(ByteBuffer, GrowsZeroFilledAndKeepsContents) {
  ByteBuffer buffer;
  EXPECT_EQ(buffer.data(), nullptr);
  ASSERT_TRUE(buffer.Reallocate(4));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(buffer.data()[i], 0);
  buffer.data()[3] = 0xAB;
  ASSERT_TRUE(buffer.Reallocate(1028));
  EXPECT_EQ(buffer.size(), 1028);
  EXPECT_EQ(buffer.data()[3], 0xAB);
  for (int i = 4; i < 1028; ++i) ASSERT_EQ(buffer.data()[i], 0) << i;
}

TEST(ByteBuffer, RefusesSizesOfZeroOrLessAndKeepsTheOldBuffer) {
  ByteBuffer buffer;
  EXPECT_FALSE(buffer.Reallocate(0));
  EXPECT_FALSE(buffer.Reallocate(-5));
  EXPECT_EQ(buffer.data(), nullptr);
  ASSERT_TRUE(buffer.Reallocate(8));
  buffer.data()[0] = 7;
  EXPECT_FALSE(buffer.Reallocate(-1));
  EXPECT_EQ(buffer.size(), 8);
  EXPECT_EQ(buffer.data()[0], 7);
}

TEST(ByteBuffer, WithoutMemoryAReallocationChangesNothing) {
  ByteBuffer buffer;
  testing::FailNextNothrowAllocations(1);
  EXPECT_FALSE(buffer.Reallocate(8));
  EXPECT_EQ(buffer.data(), nullptr);
  EXPECT_EQ(buffer.size(), 0);

  ASSERT_TRUE(buffer.Reallocate(8));
  buffer.data()[7] = 0x5A;
  const std::uint8_t* before = buffer.data();
  testing::FailNextNothrowAllocations(1);
  EXPECT_FALSE(buffer.Reallocate(4096));
  EXPECT_EQ(testing::PendingNothrowFailures(), 0);
  EXPECT_EQ(buffer.data(), before);
  EXPECT_EQ(buffer.size(), 8);
  EXPECT_EQ(buffer.data()[7], 0x5A);
}

TEST(ByteBuffer, AMoveHandsTheBlockOverWhole) {
  ByteBuffer first;
  ASSERT_TRUE(first.Reallocate(16));
  first.data()[0] = 9;
  const std::uint8_t* block = first.data();
  ByteBuffer second(std::move(first));
  EXPECT_EQ(second.data(), block);
  EXPECT_EQ(second.size(), 16);
  EXPECT_EQ(first.data(), nullptr);  // NOLINT(bugprone-use-after-move): moved-from state is the point
  EXPECT_EQ(first.size(), 0);

  ByteBuffer third;
  ASSERT_TRUE(third.Reallocate(4));
  third = std::move(second);
  EXPECT_EQ(third.data(), block);
  EXPECT_EQ(third.data()[0], 9);
  EXPECT_EQ(second.data(), nullptr);  // NOLINT(bugprone-use-after-move)
}

}  // namespace
}  // namespace quorvel
