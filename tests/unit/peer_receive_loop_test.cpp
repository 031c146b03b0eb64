// The receive loop over real loopback sockets: how the receive buffer grows
// so that datagrams arrive whole, and what is not handled.

#include <gtest/gtest.h>

#include <string>

#include "base/byte_order.h"
#include "peer_link.h"

namespace quorvel::testing {

namespace {

std::string Resized(int kb) {
  return "Buffer Resize\n  Der EmpfangBuffer wurde auf " + std::to_string(kb) + " Kb erh\xF6" "ht\n";
}

std::string TextEvent(const std::string& shown) {
  return "EmpfangsEvent\n"
         "  Der Text stammt von 7\n"
         "  Es ist ein Text\n"
         "  Er beinhaltet folgende Nachricht:\n"
         "  " + shown + "\n"
         "  Nachricht wird an das Fenster 196626 weitergeleitet\n";
}

class ReceiveBuffer : public PeerLinkTest {
 protected:
  void SetUp() override {
    PeerLinkTest::SetUp();
    LoggedInFrom(Configure(7), partnerEntry);
  }

  // Sends a Text of `length` bytes in all and checks that the window got all
  // of it.
  void ExpectTextArrivesWhole(std::int32_t length) {
    const std::string text = PatternText(length - 1);
    clients.sent.clear();
    Deliver(partnerEntry, Bytes({0x07}) + text);
    ASSERT_EQ(clients.sent.size(), 1u);
    EXPECT_EQ(clients.sent[0].lParam, length - 1);
    EXPECT_TRUE(clients.sent[0].pointedBytes == text) << "the text did not arrive unchanged";
  }

  // Bytes without a zero, so that the log shows all of them.
  static std::string PatternText(std::int32_t length) {
    std::string text;
    for (std::int32_t i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + i % 26));
    return text;
  }
};

TEST_F(ReceiveBuffer, DatagramOfTheBuffersSizeNeedsNoGrowth) {
  ExpectTextArrivesWhole(64);
  EXPECT_EQ(relay.receiveBufferSize, 64);
  EXPECT_EQ(relay.log.Render(), TextEvent(PatternText(63)));
}

TEST_F(ReceiveBuffer, OneByteMoreGrowsTheBufferByOneKbFirst) {
  ExpectTextArrivesWhole(65);
  EXPECT_EQ(relay.receiveBufferSize, 1088);
  EXPECT_EQ(relay.receiveBuffer.size(), 1088);
  EXPECT_EQ(relay.log.Render(), Resized(1) + TextEvent(PatternText(64)));

  ExpectTextArrivesWhole(1088);  // the grown buffer is used to its last byte
  EXPECT_EQ(relay.receiveBufferSize, 1088);
}

TEST_F(ReceiveBuffer, ThreeThousandBytesGrowItThreeTimes) {
  ExpectTextArrivesWhole(3000);
  EXPECT_EQ(relay.receiveBufferSize, 3136);
  EXPECT_EQ(relay.log.Render(), Resized(1) + Resized(2) + Resized(3) + TextEvent(PatternText(2999)));

  // The growth lasts: a smaller datagram afterwards needs none.
  ExpectTextArrivesWhole(2000);
  EXPECT_EQ(relay.receiveBufferSize, 3136);
}

TEST_F(ReceiveBuffer, TheLargestUdpDatagramArrivesWhole) {
  ExpectTextArrivesWhole(65507);
  EXPECT_EQ(relay.receiveBufferSize, 64 + 64 * 1024);
  std::string expected;
  for (int kb = 1; kb <= 64; ++kb) expected += Resized(kb);
  EXPECT_TRUE(relay.log.Render() == expected + TextEvent(PatternText(65506)));
}

TEST_F(ReceiveBuffer, GrowthIsSilentWithDebuggingOff) {
  relay.settings.debugging = 0;
  ExpectTextArrivesWhole(3000);
  EXPECT_EQ(relay.receiveBufferSize, 3136);
  EXPECT_TRUE(relay.log.empty());
}

class ReceiveBufferAtStart : public PeerLinkTest {
 protected:
  void SetUp() override {}
};

TEST_F(ReceiveBufferAtStart, ASizeOfZeroOrLessGrowsUntilABufferExists) {
  StartRelay(-3000);
  LoopbackSocket stranger;
  Deliver(stranger, Bytes({0x05, 0x01, 0x02}));
  ExpectOnly(stranger, Bytes({0x03}));
  EXPECT_EQ(relay.receiveBufferSize, 72);  // -3000 -> -1976 -> -952 -> 72
  EXPECT_EQ(relay.receiveBuffer.size(), 72);
  EXPECT_EQ(relay.log.Render(), Resized(-1) + Resized(0) + Resized(0) +
                                    "EmpfangsEvent\n"
                                    "  Name nicht gefunden, Login FEHLGESCHLAGEN!\n");
}

TEST_F(ReceiveBufferAtStart, ASizeOfZeroGrowsToOneKb) {
  StartRelay(0);
  LoopbackSocket stranger;
  Deliver(stranger, Bytes({0x05}));
  ExpectOnly(stranger, Bytes({0x03}));
  EXPECT_EQ(relay.receiveBufferSize, 1024);
  EXPECT_EQ(relay.log.Render(), Resized(1) +
                                    "EmpfangsEvent\n"
                                    "  Name nicht gefunden, Login FEHLGESCHLAGEN!\n");
}

TEST_F(ReceiveBufferAtStart, ABufferThatCannotGrowDropsWhatDoesNotFitAndKeepsServing) {
  // The configured size could not be had at start-up, and another 1 Kb
  // would leave the 32-bit range: no datagram fits, none is handled, and
  // each is taken so that the next is not held up.
  StartRelay(0);
  relay.receiveBufferSize = 2147483000;
  LoopbackSocket stranger;
  Deliver(stranger, Bytes({0x05, 0x01, 0x02, 0x03, 0x04}));
  Deliver(stranger, Bytes({0x01, 0x07, 0x00}));
  EXPECT_FALSE(stranger.HasWaiting());
  EXPECT_EQ(relay.receiveBufferSize, 2147483000);
  EXPECT_EQ(relay.receiveBuffer.size(), 0);
  EXPECT_EQ(relay.log.Render(),
            "Buffer Resize\n"
            "  Der EmpfangBuffer konnte nicht auf 2097152 Kb vergr\xF6\xDF" "ert werden\n"
            "  Ein Datagramm mit 5 Bytes wurde verworfen\n"
            "Buffer Resize\n"
            "  Der EmpfangBuffer konnte nicht auf 2097152 Kb vergr\xF6\xDF" "ert werden\n"
            "  Ein Datagramm mit 3 Bytes wurde verworfen\n");
}

TEST_F(ReceiveBufferAtStart, ABufferThatCannotGrowKeepsServingWhatFits) {
  StartRelay(64);
  relay.receiveBufferSize = 2147483000;  // the size claims more than the 64 bytes at hand
  relay.settings.debugging = 0;
  LoggedInFrom(Configure(7), partnerEntry);
  Deliver(partnerEntry, Bytes({0x07}) + std::string(100, 'y'));
  EXPECT_TRUE(clients.sent.empty());
  Deliver(partnerEntry, Bytes({0x07}) + std::string(63, 'z'));
  ASSERT_EQ(clients.sent.size(), 1u);
  EXPECT_EQ(clients.sent[0].pointedBytes, std::string(63, 'z'));
  EXPECT_TRUE(relay.log.empty());
}

using ReceiveLoopTurn = PeerLinkTest;

TEST_F(ReceiveLoopTurn, AnEmptyDatagramIsPassedOverAndDoesNotHoldUpTheNext) {
  LoggedInFrom(Configure(7), partnerEntry);
  LoopbackSocket stranger;
  Deliver(stranger, "");
  Deliver(partnerEntry, "");
  EXPECT_FALSE(stranger.HasWaiting());
  EXPECT_FALSE(partnerServer.HasWaiting());
  EXPECT_TRUE(clients.sent.empty());
  EXPECT_TRUE(relay.log.empty());

  Deliver(stranger, Bytes({0x05}));
  ExpectOnly(stranger, Bytes({0x03}));
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Name nicht gefunden, Login FEHLGESCHLAGEN!\n");
}

}  // namespace
}  // namespace quorvel::testing
