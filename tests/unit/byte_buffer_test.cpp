#include "base/byte_buffer.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quorvel
