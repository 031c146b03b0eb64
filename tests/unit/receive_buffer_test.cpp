// The receive buffer on its own: its counted size, its growth, and the
// bytes it holds for client windows.

#include "relay/receive_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "doubles/failing_allocation.h"

namespace quorvel {
namespace {

using testing::FailNextNothrowAllocations;

TEST(ReceiveBufferTest, ConfigureGivesAPositiveSizeItsBytesAndNoneToTheRest) {
  struct Case {
    std::int32_t configured;
    bool memory;
    std::int32_t size;
    std::int32_t capacity;
  };
  const Case cases[] = {
      {64, true, 64, 64},
      {1, true, 1, 1},
      {0, true, 0, 0},
      {-3000, true, -3000, 0},  // grows from there, as configured
      {2048, false, 0, 0},      // no memory: it must not claim bytes it lacks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.configured);
    ReceiveBuffer buffer;
    if (!c.memory) FailNextNothrowAllocations(1);
    buffer.Configure(c.configured);
    EXPECT_EQ(buffer.size(), c.size);
    EXPECT_EQ(buffer.capacity(), c.capacity);
    EXPECT_EQ(buffer.data() == nullptr, c.capacity == 0);
  }
}

TEST(ReceiveBufferTest, EachGrowthAddsOneStepKeepingTheBytes) {
  ReceiveBuffer buffer;
  buffer.Configure(64);
  std::memcpy(buffer.data(), "kept", 4);
  EXPECT_EQ(buffer.NextSize(), 64 + ReceiveBuffer::kGrowthStep);
  ASSERT_TRUE(buffer.Grow());
  EXPECT_EQ(buffer.size(), 1088);
  EXPECT_EQ(buffer.capacity(), 1088);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), 4), "kept");
  EXPECT_EQ(buffer.data()[1087], 0);

  // From below zero it counts up without bytes until it passes zero.
  ReceiveBuffer negative;
  negative.Configure(-2000);
  ASSERT_TRUE(negative.Grow());
  EXPECT_EQ(negative.size(), -976);
  EXPECT_EQ(negative.data(), nullptr);
  ASSERT_TRUE(negative.Grow());
  EXPECT_EQ(negative.size(), 48);
  EXPECT_EQ(negative.capacity(), 48);
}

TEST(ReceiveBufferTest, AGrowthWithoutMemoryChangesNothing) {
  ReceiveBuffer buffer;
  buffer.Configure(64);
  const std::uint8_t* before = buffer.data();
  FailNextNothrowAllocations(1);
  EXPECT_FALSE(buffer.Grow());
  EXPECT_EQ(buffer.size(), 64);
  EXPECT_EQ(buffer.capacity(), 64);
  EXPECT_EQ(buffer.data(), before);
  EXPECT_TRUE(buffer.Grow());
}

TEST(ReceiveBufferTest, HoldsPointsFromItsStartToItsEnd) {
  ReceiveBuffer empty;
  const std::uint8_t elsewhere[4] = {};
  EXPECT_FALSE(empty.Holds(elsewhere));
  EXPECT_FALSE(empty.Holds(nullptr));

  ReceiveBuffer buffer;
  buffer.Configure(16);
  EXPECT_TRUE(buffer.Holds(buffer.data()));
  EXPECT_TRUE(buffer.Holds(buffer.data() + 1));
  EXPECT_TRUE(buffer.Holds(buffer.data() + 16));  // an empty text at the very end
  EXPECT_FALSE(buffer.Holds(elsewhere));
}

TEST(ReceiveBufferTest, HeldBytesStayUnchangedUntilTheirWindowReleasesThem) {
  ReceiveBuffer buffer;
  buffer.Configure(16);
  std::memcpy(buffer.data(), "\x07hallo", 6);
  const std::uint8_t* held = buffer.data();

  buffer.HoldFor(0x30012);
  EXPECT_NE(buffer.data(), held);
  EXPECT_EQ(buffer.size(), 16);
  EXPECT_EQ(buffer.capacity(), 16);
  EXPECT_EQ(buffer.data()[1], 0);  // fresh bytes
  EXPECT_FALSE(buffer.Holds(held + 1));
  std::memset(buffer.data(), 'x', 16);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(held), 6), "\x07hallo");

  EXPECT_FALSE(buffer.ReleaseHeld(0x30020));  // another window holds nothing
  EXPECT_TRUE(buffer.ReleaseHeld(0x30012));
  EXPECT_FALSE(buffer.ReleaseHeld(0x30012));  // only once
}

TEST(ReceiveBufferTest, WithoutMemoryForFreshBytesNothingIsHeld) {
  ReceiveBuffer buffer;
  buffer.Configure(16);
  const std::uint8_t* before = buffer.data();
  FailNextNothrowAllocations(1);
  buffer.HoldFor(0x30012);
  EXPECT_EQ(buffer.data(), before);
  EXPECT_FALSE(buffer.ReleaseHeld(0x30012));
}

}  // namespace
}  // namespace quorvel
