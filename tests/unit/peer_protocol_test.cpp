// The peer protocol over real loopback sockets: the relay's server endpoint
// open and watched on a free port, and plain sockets that play the partner's
// relay: one bound at the port the relay sends its replies to (the settings
// port), others that send as the partner's entries or as strangers.

#include "relay/peer_protocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "base/byte_order.h"
#include "doubles/failing_allocation.h"
#include "doubles/fake_client_platform.h"
#include "doubles/fake_desktop.h"
#include "loopback_udp.h"
#include "net/socket_platform.h"
#include "net/socket_probing.h"
#include "net/udp_transport.h"
#include "quorvel_wire.h"
#include "relay/client_link.h"
#include "relay/datagram.h"
#include "relay/relay.h"
#include "table_walk.h"

namespace quorvel::testing {
namespace {

using loopback::Bytes;
using loopback::UdpSocket;

class PeerProtocolTest : public ::testing::Test {
 protected:
  static constexpr WindowHandle kClientWindow = 0x30012;
  static constexpr ProcessHandle kClientProcess = 0x51;

  void SetUp() override { StartRelay(64); }

  // The state start-up leaves with debugging on and the given "ReceiveBuffer
  // Size".
  void StartRelay(std::int32_t receiveBufferSize) {
    ASSERT_NE(partnerServer.port(), 0);
    ASSERT_TRUE(StartNetwork());
    relay.settings.port = partnerServer.port();
    relay.log.Enable(true);
    relay.receiveBuffer.Configure(receiveBufferSize);
    ASSERT_NE(OpenServerEndpoint(relay.serverEndpoint, 0), 0);
    relayPort = socket_platform::BoundPort(relay.serverEndpoint.socketHandle);
    ASSERT_NE(relayPort, 0);
    ASSERT_TRUE(relay.datagramWait.Watch(relay.serverEndpoint));
  }

  // An entry configured as a create command leaves it: name number, partner
  // address and window set, and a client endpoint toward the partner's host
  // at the settings port.
  VirtualServer& Configure(std::int32_t nameId, const char* host = "127.0.0.1",
                           WindowHandle window = kClientWindow, ProcessHandle process = kClientProcess) {
    VirtualServer* entry = relay.table.AddVirtualServer();
    EXPECT_NE(entry, nullptr);
    entry->clientProcess = process;
    entry->nameId = nameId;
    entry->partnerAddress = ResolveHost(host);
    entry->clientWindow = window;
    EXPECT_NE(OpenClientEndpoint(entry->partnerEndpoint, host, relay.settings.port), 0);
    return *entry;
  }

  // Marks `entry` as logged in by the partner that sends from `from`.
  static void LoggedInFrom(VirtualServer& entry, const UdpSocket& from) {
    entry.loginSource = PeerAddress{PortToNetworkOrder(from.port()), Ipv4Address(127, 0, 0, 1)};
  }

  // Sends `bytes` to the relay's server port and runs one turn of the receive
  // loop once they are queued, so that they have been handled (or, if empty,
  // passed over) when this returns.
  void Deliver(const UdpSocket& from, const std::string& bytes) {
    ASSERT_TRUE(from.SendTo(relayPort, bytes));
    ASSERT_TRUE(loopback::DatagramQueued(relay.serverEndpoint)) << "the datagram never reached the relay";
    ReceiveLoop(relay);
  }

  // Whether the socket is left with nothing after `expected`.
  static void ExpectOnly(const UdpSocket& socket, const std::string& expected) {
    const auto got = socket.Next();
    ASSERT_TRUE(got.has_value()) << "no datagram came";
    EXPECT_EQ(got->bytes, expected);
    EXPECT_FALSE(socket.HasWaiting());
  }

  FakeDesktop desktop;
  FakeClientPlatform clients;
  UdpSocket partnerServer{"0.0.0.0"};  // the partner relay's server port = settings port
  UdpSocket partnerEntry;              // the partner's entry socket, its login source
  Relay relay{desktop, clients};
  std::uint16_t relayPort = 0;
};

// ---- The datagrams' format

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

// ---- Logins from sources no entry knows

std::string Login(std::int32_t nameId) {
  const LoginDatagram login = BuildLogin(nameId);
  return std::string(login.begin(), login.end());
}

const char kRefusedOnly[] =
    "EmpfangsEvent\n"
    "  Name nicht gefunden, Login FEHLGESCHLAGEN!\n";

using AcceptLogin = PeerProtocolTest;

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
  EXPECT_EQ(relay.log.Render(),
            "EmpfangsEvent\n"
            "  Login\n"
            "  IP: 127.0.0.1\n"
            "  Name: 7\n"
            "  Name gefunden, Login erfolgreich!\n");
}

TEST_F(AcceptLogin, TheLoggedInPartnerLoggingInFromANewPortTakesThePairingAndTheOldPortIsAStranger) {
  VirtualServer& entry = Configure(7);
  Deliver(partnerEntry, Login(7));
  ExpectOnly(partnerServer, Bytes({0x02}));
  const std::size_t before = relay.log.Render().size();

  UdpSocket restarted;  // the partner after a restart: same address, new port
  Deliver(restarted, Login(7));
  ExpectOnly(partnerServer, Bytes({0x02}));
  EXPECT_FALSE(restarted.HasWaiting());
  EXPECT_EQ(entry.loginSource.peerPort, PortToNetworkOrder(restarted.port()));
  EXPECT_EQ(relay.log.Render().substr(before),
            "EmpfangsEvent\n  Login\n  IP: 127.0.0.1\n  Name: 7\n"
            "  Der Partner meldet sich neu an, von Port " + std::to_string(restarted.port()) + "\n"
            "  Name gefunden, Login erfolgreich!\n");
  Deliver(partnerEntry, Bytes({0x05}));
  ExpectOnly(partnerEntry, Bytes({0x03}));
}

TEST_F(AcceptLogin, LoginFromAnotherAddressIsRefused) {
  VirtualServer& entry = Configure(7);
  UdpSocket elsewhere("127.0.0.2");
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
  UdpSocket secondSource;
  UdpSocket thirdSource;

  Deliver(partnerEntry, Login(7));
  ExpectOnly(partnerServer, Bytes({0x02}));
  EXPECT_EQ(first.loginSource.peerPort, PortToNetworkOrder(partnerEntry.port()));
  EXPECT_EQ(second.loginSource, PeerAddress{});

  Deliver(secondSource, Login(7));
  ExpectOnly(partnerServer, Bytes({0x02}));
  EXPECT_EQ(second.loginSource.peerPort, PortToNetworkOrder(secondSource.port()));

  // None is free: the one whose partner logged in longest ago is taken.
  Deliver(thirdSource, Login(7));
  ExpectOnly(partnerServer, Bytes({0x02}));
  EXPECT_FALSE(thirdSource.HasWaiting());
  EXPECT_EQ(first.loginSource.peerPort, PortToNetworkOrder(thirdSource.port()));
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
  relay.log.Enable(false);
  VirtualServer& entry = Configure(7);
  Deliver(partnerEntry, Login(7));
  ExpectOnly(partnerServer, Bytes({0x02}));
  EXPECT_NE(entry.loginSource, PeerAddress{});
  UdpSocket stranger("127.0.0.2");
  Deliver(stranger, Login(7));
  ExpectOnly(stranger, Bytes({0x03}));
  Deliver(stranger, Bytes({0x03}));
  EXPECT_FALSE(stranger.HasWaiting());
  EXPECT_TRUE(relay.log.empty());
}

// ---- Datagrams from logged-in partners

class KnownPartner : public PeerProtocolTest {
 protected:
  void SetUp() override {
    PeerProtocolTest::SetUp();
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
  ASSERT_EQ(relay.receiveBuffer.size(), 64);
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
  // outside the datagram's group, and the next datagram starts at the top.
  clients.AddProcess(61, 0x610);
  clients.onSend = [this](const FakeClientPlatform::SentMessage&) {
    ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, 61);
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
            "  Login von 1552\n"
            "EmpfangsEvent\n"
            "  Der Text stammt von 7\n"
            "  Wir werden gepingt\n");
}

TEST_F(KnownPartner, ANewEntryGoesBehindTheEntryOfThePartnersLastDatagram) {
  // Table E1, E2, E3 with E1 logged in: after a datagram from E1's partner a
  // new entry goes directly behind E1.
  Configure(8, "127.0.0.1", 0x2002, 0x52);
  Configure(9, "127.0.0.1", 0x2003, 0x53);
  Deliver(partnerEntry, Bytes({0x06}));
  relay.table.AddVirtualServer()->clientProcess = 0x54;
  EXPECT_EQ(TableOrder(relay.table), (std::vector<ProcessHandle>{kClientProcess, 0x54, 0x52, 0x53}));
}

TEST_F(KnownPartner, DatagramsAreHandledForTheEntryOfTheirSource) {
  VirtualServer& other = Configure(8, "127.0.0.1", 0x2002, 0x52);
  UdpSocket otherSource;
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
  relay.log.Enable(false);
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

// ---- The receive loop and its buffer

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

class ReceiveBufferGrowth : public PeerProtocolTest {
 protected:
  void SetUp() override {
    PeerProtocolTest::SetUp();
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

TEST_F(ReceiveBufferGrowth, DatagramOfTheBuffersSizeNeedsNoGrowth) {
  ExpectTextArrivesWhole(64);
  EXPECT_EQ(relay.receiveBuffer.size(), 64);
  EXPECT_EQ(relay.log.Render(), TextEvent(PatternText(63)));
}

TEST_F(ReceiveBufferGrowth, OneByteMoreGrowsTheBufferByOneKbFirst) {
  ExpectTextArrivesWhole(65);
  EXPECT_EQ(relay.receiveBuffer.size(), 1088);
  EXPECT_EQ(relay.receiveBuffer.capacity(), 1088);
  EXPECT_EQ(relay.log.Render(), Resized(1) + TextEvent(PatternText(64)));

  ExpectTextArrivesWhole(1088);  // the grown buffer is used to its last byte
  EXPECT_EQ(relay.receiveBuffer.size(), 1088);
}

TEST_F(ReceiveBufferGrowth, ThreeThousandBytesGrowItThreeTimes) {
  ExpectTextArrivesWhole(3000);
  EXPECT_EQ(relay.receiveBuffer.size(), 3136);
  EXPECT_EQ(relay.log.Render(), Resized(1) + Resized(2) + Resized(3) + TextEvent(PatternText(2999)));

  // The growth lasts: a smaller datagram afterwards needs none.
  ExpectTextArrivesWhole(2000);
  EXPECT_EQ(relay.receiveBuffer.size(), 3136);
}

TEST_F(ReceiveBufferGrowth, TheLargestUdpDatagramArrivesWhole) {
  ExpectTextArrivesWhole(65507);
  EXPECT_EQ(relay.receiveBuffer.size(), 64 + 64 * 1024);
  std::string expected;
  for (int kb = 1; kb <= 64; ++kb) expected += Resized(kb);
  EXPECT_TRUE(relay.log.Render() == expected + TextEvent(PatternText(65506)));
}

TEST_F(ReceiveBufferGrowth, GrowthIsSilentWithDebuggingOff) {
  relay.log.Enable(false);
  ExpectTextArrivesWhole(3000);
  EXPECT_EQ(relay.receiveBuffer.size(), 3136);
  EXPECT_TRUE(relay.log.empty());
}

class ReceiveBufferAtStart : public PeerProtocolTest {
 protected:
  void SetUp() override {}
};

TEST_F(ReceiveBufferAtStart, ASizeOfZeroOrLessGrowsUntilABufferExists) {
  StartRelay(-3000);
  UdpSocket stranger;
  Deliver(stranger, Bytes({0x05, 0x01, 0x02}));
  ExpectOnly(stranger, Bytes({0x03}));
  EXPECT_EQ(relay.receiveBuffer.size(), 72);  // -3000 -> -1976 -> -952 -> 72
  EXPECT_EQ(relay.receiveBuffer.capacity(), 72);
  EXPECT_EQ(relay.log.Render(), Resized(-1) + Resized(0) + Resized(0) +
                                    "EmpfangsEvent\n"
                                    "  Name nicht gefunden, Login FEHLGESCHLAGEN!\n");
}

TEST_F(ReceiveBufferAtStart, ASizeOfZeroGrowsToOneKb) {
  StartRelay(0);
  UdpSocket stranger;
  Deliver(stranger, Bytes({0x05}));
  ExpectOnly(stranger, Bytes({0x03}));
  EXPECT_EQ(relay.receiveBuffer.size(), 1024);
  EXPECT_EQ(relay.log.Render(), Resized(1) +
                                    "EmpfangsEvent\n"
                                    "  Name nicht gefunden, Login FEHLGESCHLAGEN!\n");
}

TEST_F(ReceiveBufferAtStart, ABufferThatCannotGrowDropsWhatDoesNotFitAndKeepsServing) {
  // No bytes at start, and no memory for the first step of growth: the
  // datagram is not handled, and it is taken so that the next is not held
  // up behind it.
  StartRelay(0);
  UdpSocket stranger;
  FailNextNothrowAllocations(1);
  Deliver(stranger, Bytes({0x05, 0x01, 0x02, 0x03, 0x04}));
  FailNextNothrowAllocations(1);
  Deliver(stranger, Bytes({0x01, 0x07, 0x00}));
  EXPECT_EQ(PendingNothrowFailures(), 0);
  EXPECT_FALSE(stranger.HasWaiting());
  EXPECT_EQ(relay.receiveBuffer.size(), 0);
  EXPECT_EQ(relay.receiveBuffer.capacity(), 0);
  const std::string dropped =
      "Buffer Resize\n"
      "  Der EmpfangBuffer konnte nicht auf 1 Kb vergr\xF6\xDF" "ert werden\n"
      "  Ein Datagramm mit 5 Bytes wurde verworfen\n"
      "Buffer Resize\n"
      "  Der EmpfangBuffer konnte nicht auf 1 Kb vergr\xF6\xDF" "ert werden\n"
      "  Ein Datagramm mit 3 Bytes wurde verworfen\n";
  EXPECT_EQ(relay.log.Render(), dropped);

  // With memory again the next one is served.
  Deliver(stranger, Bytes({0x05}));
  ExpectOnly(stranger, Bytes({0x03}));
  EXPECT_EQ(relay.log.Render(), dropped + Resized(1) +
                                    "EmpfangsEvent\n"
                                    "  Name nicht gefunden, Login FEHLGESCHLAGEN!\n");
}

TEST_F(ReceiveBufferAtStart, ABufferThatCannotGrowKeepsServingWhatFits) {
  StartRelay(64);
  relay.log.Enable(false);
  LoggedInFrom(Configure(7), partnerEntry);
  FailNextNothrowAllocations(1);
  Deliver(partnerEntry, Bytes({0x07}) + std::string(100, 'y'));
  EXPECT_EQ(PendingNothrowFailures(), 0);
  EXPECT_TRUE(clients.sent.empty());
  EXPECT_EQ(relay.receiveBuffer.size(), 64);
  Deliver(partnerEntry, Bytes({0x07}) + std::string(63, 'z'));
  ASSERT_EQ(clients.sent.size(), 1u);
  EXPECT_EQ(clients.sent[0].pointedBytes, std::string(63, 'z'));
  EXPECT_TRUE(relay.log.empty());
}

using ReceiveLoopTurn = PeerProtocolTest;

TEST_F(ReceiveLoopTurn, AnEmptyDatagramIsPassedOverAndDoesNotHoldUpTheNext) {
  LoggedInFrom(Configure(7), partnerEntry);
  UdpSocket stranger;
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

// ---- Clients' data to partners

class SendClientDataTest : public PeerProtocolTest {
 protected:
  // An entry for `process`, linked to the partner.
  VirtualServer& LinkedEntry(ProcessHandle process) {
    VirtualServer* entry = relay.table.AddVirtualServer();
    entry->clientProcess = process;
    EXPECT_NE(OpenClientEndpoint(entry->partnerEndpoint, "127.0.0.1", relay.settings.port), 0);
    return *entry;
  }

  void Send(ProcessHandle process, const std::string& data) {
    SendClientData(relay, *EntryOf(relay.table, process), reinterpret_cast<const std::uint8_t*>(data.data()),
                   static_cast<std::int32_t>(data.size()));
  }
};

TEST_F(SendClientDataTest, SendsTheBytesUnchangedBehindTheTextType) {
  LinkedEntry(0x77);
  Send(0x77, "abc");
  EXPECT_EQ(partnerServer.NextBytes(), "\x07" "abc");
  Send(0x77, std::string("\0mid\0", 5));
  EXPECT_EQ(partnerServer.NextBytes(), std::string("\x07\0mid\0", 6));
  Send(0x77, "");
  EXPECT_EQ(partnerServer.NextBytes(), "\x07");

  EXPECT_EQ(relay.log.Render(),
            "SendeEvent\n  Sende Daten von 119\n  Folgende Daten werden gesendet:\n  abc\n"
            "SendeEvent\n  Sende Daten von 119\n  Folgende Daten werden gesendet:\n  \n"
            "SendeEvent\n  Sende Daten von 119\n  Folgende Daten werden gesendet:\n  \n");
}

TEST_F(SendClientDataTest, TheLineNamesTheClientByItsProcessHandleAsA32BitNumber) {
  LinkedEntry(static_cast<ProcessHandle>(-4));  // a pseudo handle, sign-extended
  Send(-4, "x");
  EXPECT_EQ(partnerServer.NextBytes(), "\x07x");
  EXPECT_EQ(relay.log.Render(), "SendeEvent\n  Sende Daten von -4\n  Folgende Daten werden gesendet:\n  x\n");
}

TEST_F(SendClientDataTest, AnEntryWithoutALinkSendsNothingButIsLogged) {
  VirtualServer* entry = relay.table.AddVirtualServer();
  entry->clientProcess = 0x30;
  Send(0x30, "nowhere");
  EXPECT_EQ(relay.log.Render(), "SendeEvent\n  Sende Daten von 48\n  Folgende Daten werden gesendet:\n  nowhere\n");
}

TEST_F(SendClientDataTest, NoMemoryForTheDatagramSendsNothingAndTheRelayGoesOn) {
  LinkedEntry(0x77);
  FailNextNothrowAllocations(1);
  Send(0x77, "dropped");
  EXPECT_EQ(PendingNothrowFailures(), 0);
  EXPECT_EQ(relay.log.Render(),
            "SendeEvent\n  Sende Daten von 119\n"
            "  Kein Speicher f\xFC" "r das Datagramm, es wird nicht gesendet\n");

  Send(0x77, "next");
  EXPECT_EQ(partnerServer.NextBytes(), "\x07" "next");
}

TEST_F(SendClientDataTest, WithDebuggingOffTheSameDatagramLeavesAndNothingIsLogged) {
  relay.log.Enable(false);
  LinkedEntry(0x77);
  Send(0x77, std::string("a\0b", 3));
  EXPECT_EQ(partnerServer.NextBytes(), std::string("\x07" "a\0b", 4));
  FailNextNothrowAllocations(1);
  Send(0x77, "dropped");
  Send(0x77, "next");
  EXPECT_EQ(partnerServer.NextBytes(), "\x07" "next");
  EXPECT_TRUE(relay.log.empty());
}

}  // namespace
}  // namespace quorvel::testing
