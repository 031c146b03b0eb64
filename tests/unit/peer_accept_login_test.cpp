// Datagrams from sources that are no entry's login source, over real
// loopback sockets.

#include <gtest/gtest.h>

#include <string>

#include "base/byte_order.h"
#include "relay/datagram.h"
#include "peer_link.h"

namespace quorvel::testing {
namespace {

std::string Login(std::int32_t nameId) {
  const LoginDatagram login = BuildLogin(nameId);
  return std::string(login.begin(), login.end());
}

const char kRefusedOnly[] =
    "EmpfangsEvent\n"
    "  Name nicht gefunden, Login FEHLGESCHLAGEN!\n";

using AcceptLogin = PeerLinkTest;

TEST_F(AcceptLogin, MatchingLoginRegistersItsSourceAndIsAnsweredAtThePartnersServerPort) {
  VirtualServer& entry = Configure(7);
  Deliver(partnerEntry, Bytes({0x01, 0x07, 0x00, 0x00, 0x00}));

  EXPECT_EQ(entry.loginSource, (PeerAddress{PortToNetworkOrder(partnerEntry.port()), Ipv4Address(127, 0, 0, 1)}));
  const auto reply = partnerServer.Next();
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->bytes, Bytes({0x02}));
  EXPECT_EQ(reply->sourceAddress, "127.0.0.1");
  EXPECT_NE(reply->sourcePort, relayPort);  // from the entry's own socket, not the server port
  EXPECT_FALSE(partnerEntry.HasWaiting());  // nothing to the login's source port
  EXPECT_EQ(relay.table.CurrentVirtualServer(), &entry);
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Login\n"
            "  IP: 127.0.0.1\n"
            "  Name: 7\n"
            "  Name gefunden, Login erfolgreich!\n");
}

TEST_F(AcceptLogin, LoginFromAnotherPortOfTheLoggedInPartnerIsRefusedToThatPort) {
  VirtualServer& entry = Configure(7);
  Deliver(partnerEntry, Login(7));
  ExpectOnly(partnerServer, Bytes({0x02}));
  const PeerAddress registered = entry.loginSource;

  LoopbackSocket restarted;  // the partner after a restart: same address, new port
  Deliver(restarted, Login(7));
  const auto refusal = restarted.Next();
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->bytes, Bytes({0x03}));
  EXPECT_EQ(refusal->sourcePort, relayPort);  // from the server port
  EXPECT_FALSE(partnerServer.HasWaiting());
  EXPECT_EQ(entry.loginSource, registered);
}

TEST_F(AcceptLogin, LoginFromAnotherAddressIsRefused) {
  VirtualServer& entry = Configure(7);
  LoopbackSocket elsewhere("127.0.0.2");
  Deliver(elsewhere, Login(7));
  const auto refusal = elsewhere.Next();
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->bytes, Bytes({0x03}));
  EXPECT_EQ(refusal->sourcePort, relayPort);
  EXPECT_EQ(entry.loginSource, PeerAddress{});
  EXPECT_FALSE(partnerServer.HasWaiting());
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Login\n"
            "  IP: 127.0.0.2\n"
            "  Name: 7\n"
            "  Name nicht gefunden, Login FEHLGESCHLAGEN!\n");
}

TEST_F(AcceptLogin, LoginsOfFourOrSixBytesAreRefusedWithoutBeingRead) {
  VirtualServer& entry = Configure(7);
  Deliver(partnerEntry, Bytes({0x01, 0x07, 0x00, 0x00, 0x00, 0x00}));
  ExpectOnly(partnerEntry, Bytes({0x03}));
  Deliver(partnerEntry, Bytes({0x01, 0x07, 0x00, 0x00}));
  ExpectOnly(partnerEntry, Bytes({0x03}));
  EXPECT_EQ(entry.loginSource, PeerAddress{});
  EXPECT_FALSE(partnerServer.HasWaiting());
  EXPECT_EQ(relay.log.Render(), std::string(kRefusedOnly) + kRefusedOnly);
}

TEST_F(AcceptLogin, EveryOtherDatagramFromAStrangerIsAnsweredLoginFailedAtItsSource) {
  Configure(7);
  const std::string others[] = {Bytes({0x07, 'h', 'i'}), Bytes({0x05}), Bytes({0x02}), Bytes({0x00}),
                                Bytes({0x04}),           Bytes({0x06}), Bytes({0x09, 0x01}), Bytes({0xFF})};
  for (const std::string& datagram : others) {
    Deliver(partnerEntry, datagram);
    const auto refusal = partnerEntry.Next();
    ASSERT_TRUE(refusal.has_value()) << static_cast<int>(static_cast<unsigned char>(datagram[0]));
    EXPECT_EQ(refusal->bytes, Bytes({0x03}));
    EXPECT_EQ(refusal->sourcePort, relayPort);
  }
  EXPECT_FALSE(partnerServer.HasWaiting());
  std::string expected;
  for (std::size_t i = 0; i < std::size(others); ++i) expected += kRefusedOnly;
  EXPECT_EQ(relay.log.Render(), expected);
}

TEST_F(AcceptLogin, LoginFailedFromAStrangerIsNotAnswered) {
  Configure(7);
  Deliver(partnerEntry, Bytes({0x03}));
  EXPECT_FALSE(partnerEntry.HasWaiting());
  Deliver(partnerEntry, Bytes({0x03, 0x00, 0x00, 0x00, 0x00}));  // its length does not matter
  EXPECT_FALSE(partnerEntry.HasWaiting());
  // The same source is still answered for anything else; the only reply it
  // ever gets is that one.
  Deliver(partnerEntry, Bytes({0x05}));
  ExpectOnly(partnerEntry, Bytes({0x03}));
  EXPECT_FALSE(partnerServer.HasWaiting());
  EXPECT_EQ(relay.log.Render(), std::string(kRefusedOnly) + kRefusedOnly + kRefusedOnly);
}

TEST_F(AcceptLogin, NegativeNameNumberIsShownSigned) {
  Configure(7);
  Deliver(partnerEntry, Bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF}));
  ExpectOnly(partnerEntry, Bytes({0x03}));
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Login\n"
            "  IP: 127.0.0.1\n"
            "  Name: -1\n"
            "  Name nicht gefunden, Login FEHLGESCHLAGEN!\n");
}

TEST_F(AcceptLogin, EntriesWithEqualKeysAreFilledInTableOrder) {
  VirtualServer& first = Configure(7, "127.0.0.1", 0x1001, 0x51);
  VirtualServer& second = Configure(7, "127.0.0.1", 0x1002, 0x52);
  LoopbackSocket secondSource;
  LoopbackSocket thirdSource;

  Deliver(partnerEntry, Login(7));
  ExpectOnly(partnerServer, Bytes({0x02}));
  EXPECT_EQ(first.loginSource.peerPort, PortToNetworkOrder(partnerEntry.port()));
  EXPECT_EQ(second.loginSource, PeerAddress{});

  Deliver(secondSource, Login(7));
  ExpectOnly(partnerServer, Bytes({0x02}));
  EXPECT_EQ(second.loginSource.peerPort, PortToNetworkOrder(secondSource.port()));

  Deliver(thirdSource, Login(7));
  ExpectOnly(thirdSource, Bytes({0x03}));
  EXPECT_FALSE(partnerServer.HasWaiting());
  EXPECT_EQ(first.loginSource.peerPort, PortToNetworkOrder(partnerEntry.port()));
  EXPECT_EQ(second.loginSource.peerPort, PortToNetworkOrder(secondSource.port()));
}

TEST_F(AcceptLogin, UnresolvedOrUnconfiguredEntriesNeverAcceptALogin) {
  VirtualServer& unresolved = Configure(7);
  unresolved.partnerAddress = 0xFFFFFFFFu;  // what a host that did not resolve leaves
  VirtualServer* announced = relay.table.AddVirtualServer();  // announced only: name 0, address 0
  ASSERT_NE(announced, nullptr);
  Deliver(partnerEntry, Login(7));
  ExpectOnly(partnerEntry, Bytes({0x03}));
  Deliver(partnerEntry, Login(0));
  ExpectOnly(partnerEntry, Bytes({0x03}));
  EXPECT_EQ(unresolved.loginSource, PeerAddress{});
  EXPECT_EQ(announced->loginSource, PeerAddress{});
  EXPECT_FALSE(partnerServer.HasWaiting());
}

TEST_F(AcceptLogin, WithDebuggingOffTheRepliesAreTheSameAndNothingIsLogged) {
  relay.settings.debugging = 0;
  VirtualServer& entry = Configure(7);
  Deliver(partnerEntry, Login(7));
  ExpectOnly(partnerServer, Bytes({0x02}));
  EXPECT_NE(entry.loginSource, PeerAddress{});
  LoopbackSocket stranger;
  Deliver(stranger, Login(7));
  ExpectOnly(stranger, Bytes({0x03}));
  Deliver(stranger, Bytes({0x03}));
  EXPECT_FALSE(stranger.HasWaiting());
  EXPECT_TRUE(relay.log.empty());
}

}  // namespace
}  // namespace quorvel::testing
