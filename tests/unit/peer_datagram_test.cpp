#include "relay/datagram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel {
namespace {

std::vector<int> AsInts(const std::uint8_t* bytes, std::size_t count) { return {bytes, bytes + count}; }

TEST(DatagramFormat, LoginCarriesTheNameNumberLittleEndian) {
  EXPECT_EQ(AsInts(BuildLogin(1).data(), kLoginLength), (std::vector<int>{0x01, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(AsInts(BuildLogin(-1).data(), kLoginLength), (std::vector<int>{0x01, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(AsInts(BuildLogin(0x12345678).data(), kLoginLength),
            (std::vector<int>{0x01, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(AsInts(BuildLogin(INT32_MIN).data(), kLoginLength), (std::vector<int>{0x01, 0x00, 0x00, 0x00, 0x80}));
}

TEST(DatagramFormat, NameNumberIsReadBackSigned) {
  const std::uint8_t minusTwo[] = {0xFE, 0xFF, 0xFF, 0xFF};
  const std::uint8_t seven[] = {0x07, 0x00, 0x00, 0x00};
  const std::uint8_t mixed[] = {0x78, 0x56, 0x34, 0x12};
  EXPECT_EQ(ReadNameId(minusTwo), -2);
  EXPECT_EQ(ReadNameId(seven), 7);
  EXPECT_EQ(ReadNameId(mixed), 0x12345678);
  for (std::int32_t name : {0, 1, -1, INT32_MAX, INT32_MIN, 123456789}) {
    EXPECT_EQ(ReadNameId(BuildLogin(name).data() + 1), name);
  }
}

TEST(DatagramFormat, RepliesAreTheTypeByteAlone) {
  EXPECT_EQ(BuildReply(DatagramType::LoginOk)[0], 2);
  EXPECT_EQ(BuildReply(DatagramType::LoginFailed)[0], 3);
  EXPECT_EQ(BuildReply(DatagramType::AlreadyLoggedIn)[0], 4);
  EXPECT_EQ(BuildReply(DatagramType::Alive)[0], 6);
}

TEST(DatagramFormat, OnlyAFiveByteLoginIsALoginCandidate) {
  EXPECT_TRUE(IsLoginCandidate(TypeOf(1), 4));
  EXPECT_FALSE(IsLoginCandidate(TypeOf(1), 3));
  EXPECT_FALSE(IsLoginCandidate(TypeOf(1), 5));
  EXPECT_FALSE(IsLoginCandidate(TypeOf(1), 0));
  for (int type : {0, 2, 3, 5, 7, 8, 255}) {
    EXPECT_FALSE(IsLoginCandidate(TypeOf(static_cast<std::uint8_t>(type)), 4)) << type;
  }
}

TEST(DatagramFormat, TextIsTheTypeByteAndTheBytesUnchanged) {
  const std::string data("ab\0c", 4);
  std::vector<std::uint8_t> block(static_cast<std::size_t>(TextDatagramLength(4)), 0xEE);
  WriteTextDatagram(block.data(), data.data(), 4);
  EXPECT_EQ(AsInts(block.data(), block.size()), (std::vector<int>{0x07, 'a', 'b', 0x00, 'c'}));

  std::uint8_t empty[1] = {0xEE};
  ASSERT_EQ(TextDatagramLength(0), 1);
  WriteTextDatagram(empty, nullptr, 0);
  EXPECT_EQ(empty[0], 0x07);
}

}  // namespace
}  // namespace quorvel
