// Datagrams from the logged-in partner of an entry, over real loopback
// sockets.

#include <gtest/gtest.h>

#include <string>

#include "quorvel_wire.h"
#include "base/byte_order.h"
#include "peer_link.h"

namespace quorvel::testing {

namespace {

class KnownPartner : public PeerLinkTest {
 protected:
  void SetUp() override {
    PeerLinkTest::SetUp();
    entry = &Configure(7);
    LoggedInFrom(*entry, partnerEntry);
  }

  // Answers go through the entry's socket to the partner's server port.
  void ExpectReplyToPartner(const std::string& expected) {
    const auto reply = partnerServer.Next();
    ASSERT_TRUE(reply.has_value()) << "no reply came";
    EXPECT_EQ(reply->bytes, expected);
    EXPECT_NE(reply->sourcePort, relayPort);
    EXPECT_FALSE(partnerServer.HasWaiting());
    EXPECT_FALSE(partnerEntry.HasWaiting());  // never to the datagram's own source port
  }

  void ExpectNoReply() {
    EXPECT_FALSE(partnerServer.HasWaiting());
    EXPECT_FALSE(partnerEntry.HasWaiting());
  }

  VirtualServer* entry = nullptr;
};

TEST_F(KnownPartner, PingIsAnsweredAliveAtThePartnersServerPort) {
  Deliver(partnerEntry, Bytes({0x05}));
  ExpectReplyToPartner(Bytes({0x06}));
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Wir werden gepingt\n");
}

TEST_F(KnownPartner, RepeatedLoginIsAnsweredAlreadyLoggedInWhateverItCarries) {
  const PeerAddress registered = entry->loginSource;
  Deliver(partnerEntry, Bytes({0x01, 0x08, 0x00, 0x00, 0x00}));  // another name number
  ExpectReplyToPartner(Bytes({0x04}));
  Deliver(partnerEntry, Bytes({0x01}));  // no name number at all
  ExpectReplyToPartner(Bytes({0x04}));
  EXPECT_EQ(entry->loginSource, registered);
  EXPECT_EQ(entry->nameId, 7);
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Jemand versucht sich erneut einzuloggen.\n"
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Jemand versucht sich erneut einzuloggen.\n");
}

TEST_F(KnownPartner, TypesWithoutAReplyAreOnlyDescribed) {
  Deliver(partnerEntry, Bytes({0x00}));
  Deliver(partnerEntry, Bytes({0x02}));
  Deliver(partnerEntry, Bytes({0x03}));
  Deliver(partnerEntry, Bytes({0x04}));
  Deliver(partnerEntry, Bytes({0x06}));
  Deliver(partnerEntry, Bytes({0x08}));
  Deliver(partnerEntry, Bytes({0x09, 0x05}));
  Deliver(partnerEntry, Bytes({0xFF}));
  ExpectNoReply();
  EXPECT_TRUE(clients.sent.empty());
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  User hat sich abgemeldet\n"
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Es ist eine LoginOK\n"
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Login fehlgeschlagen\n"
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Schon angemeldet.\n"
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Er ist noch am Leben\n"
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n");
}

TEST_F(KnownPartner, TextIsHandedToTheClientWindowFromTheReceiveBuffer) {
  Deliver(partnerEntry, Bytes({0x07, 'H', 'a', 'l', 'l', 'o'}));
  ExpectNoReply();
  ASSERT_EQ(clients.sent.size(), 1u);
  const auto& sent = clients.sent[0];
  EXPECT_EQ(sent.window, kClientWindow);
  EXPECT_EQ(sent.message, QV_DATA_MESSAGE);
  EXPECT_EQ(sent.wParam, reinterpret_cast<std::uintptr_t>(relay.receiveBuffer.data() + 1));
  EXPECT_EQ(sent.lParam, 5);
  EXPECT_EQ(sent.pointedBytes, "Hallo");
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Es ist ein Text\n"
            "  Er beinhaltet folgende Nachricht:\n"
            "  Hallo\n"
            "  Nachricht wird an das Fenster 196626 weitergeleitet\n");
}

TEST_F(KnownPartner, TextWithAZeroByteIsHandedOverWholeAndShownUpToTheZero) {
  Deliver(partnerEntry, Bytes({0x07, 'a', 'b', 0x00, 'c', 0xE4}));
  ASSERT_EQ(clients.sent.size(), 1u);
  EXPECT_EQ(clients.sent[0].lParam, 5);
  EXPECT_EQ(clients.sent[0].pointedBytes, std::string("ab\0c\xE4", 5));
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Es ist ein Text\n"
            "  Er beinhaltet folgende Nachricht:\n"
            "  ab\n"
            "  Nachricht wird an das Fenster 196626 weitergeleitet\n");
}

TEST_F(KnownPartner, EmptyTextIsHandedOverWithLengthZero) {
  Deliver(partnerEntry, Bytes({0x07}));
  ASSERT_EQ(clients.sent.size(), 1u);
  EXPECT_EQ(clients.sent[0].lParam, 0);
  EXPECT_EQ(clients.sent[0].wParam, reinterpret_cast<std::uintptr_t>(relay.receiveBuffer.data() + 1));
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Es ist ein Text\n"
            "  Er beinhaltet folgende Nachricht:\n"
            "  \n"
            "  Nachricht wird an das Fenster 196626 weitergeleitet\n");
}

TEST_F(KnownPartner, TextFillingTheBufferToTheLastByteIsNotRunPastInTheLog) {
  // 64 bytes in a 64-byte buffer, no zero byte: the shown text stops at the
  // datagram's end.
  const std::string text(63, 'x');
  Deliver(partnerEntry, Bytes({0x07}) + text);
  ASSERT_EQ(relay.receiveBufferSize, 64);
  ASSERT_EQ(clients.sent.size(), 1u);
  EXPECT_EQ(clients.sent[0].pointedBytes, text);
  EXPECT_NE(relay.log.Render().find("\n  " + text + "\n"), std::string::npos);
}

TEST_F(KnownPartner, AfterALogoutThePartnerIsStillRecognised) {
  const PeerAddress registered = entry->loginSource;
  Deliver(partnerEntry, Bytes({0x00}));
  EXPECT_EQ(entry->loginSource, registered);
  Deliver(partnerEntry, Bytes({0x07, 'x'}));
  ASSERT_EQ(clients.sent.size(), 1u);
  EXPECT_EQ(clients.sent[0].pointedBytes, "x");
}

TEST_F(KnownPartner, TheDatagramsGroupIsClosedBeforeTheWindowGetsTheText) {
  // Lines that client messages write while the window handles the text stand
  // outside the datagram's group; the receive loop's own close then ends a
  // group such a message left open, so the next datagram starts at the top.
  clients.onSend = [this](const FakeClientPlatform::SentMessage&) {
    relay.log.AppendLine("WindowEvent");
    relay.log.OpenGroup();
    relay.log.AppendLine("Nachricht");
  };
  Deliver(partnerEntry, Bytes({0x07, 'x'}));
  clients.onSend = nullptr;
  Deliver(partnerEntry, Bytes({0x05}));
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Es ist ein Text\n"
            "  Er beinhaltet folgende Nachricht:\n"
            "  x\n"
            "  Nachricht wird an das Fenster 196626 weitergeleitet\n"
            "WindowEvent\n"
            "  Nachricht\n"
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Wir werden gepingt\n");
}

TEST_F(KnownPartner, APartnersDatagramLeavesTheCursorOnItsEntry) {
  // Table E1, E2, E3 with E1 logged in: after a datagram from E1's partner a
  // new entry goes directly behind E1.
  Configure(8, "127.0.0.1", 0x2002, 0x52);
  Configure(9, "127.0.0.1", 0x2003, 0x53);
  Deliver(partnerEntry, Bytes({0x06}));
  EXPECT_EQ(relay.table.CurrentVirtualServer(), entry);
  relay.table.AddVirtualServer()->clientProcess = 0x54;

  std::vector<ProcessHandle> order;
  relay.table.ResetCursor();
  while (VirtualServer* each = relay.table.NextVirtualServer()) order.push_back(each->clientProcess);
  EXPECT_EQ(order, (std::vector<ProcessHandle>{kClientProcess, 0x54, 0x52, 0x53}));
}

TEST_F(KnownPartner, DatagramsAreHandledForTheEntryOfTheirSource) {
  VirtualServer& other = Configure(8, "127.0.0.1", 0x2002, 0x52);
  LoopbackSocket otherSource;
  LoggedInFrom(other, otherSource);
  Deliver(otherSource, Bytes({0x07, 'b'}));
  Deliver(partnerEntry, Bytes({0x07, 'a'}));
  ASSERT_EQ(clients.sent.size(), 2u);
  EXPECT_EQ(clients.sent[0].window, 0x2002);
  EXPECT_EQ(clients.sent[0].pointedBytes, "b");
  EXPECT_EQ(clients.sent[1].window, kClientWindow);
  EXPECT_EQ(clients.sent[1].pointedBytes, "a");
}

TEST_F(KnownPartner, WithDebuggingOffRepliesAndDeliveriesAreTheSameAndNothingIsLogged) {
  relay.settings.debugging = 0;
  Deliver(partnerEntry, Bytes({0x05}));
  ExpectReplyToPartner(Bytes({0x06}));
  Deliver(partnerEntry, Bytes({0x01, 0x07, 0x00, 0x00, 0x00}));
  ExpectReplyToPartner(Bytes({0x04}));
  Deliver(partnerEntry, Bytes({0x07, 'h', 0x00, 'i'}));
  ASSERT_EQ(clients.sent.size(), 1u);
  EXPECT_EQ(clients.sent[0].pointedBytes, std::string("h\0i", 3));
  Deliver(partnerEntry, Bytes({0x00}));
  Deliver(partnerEntry, Bytes({0x09}));
  ExpectNoReply();
  EXPECT_TRUE(relay.log.empty());
}

}  // namespace
}  // namespace quorvel::testing
