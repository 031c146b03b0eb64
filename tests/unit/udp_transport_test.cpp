#include "net/udp_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "loopback_udp.h"
#include "net/socket_platform.h"
#include "net/socket_probing.h"

namespace quorvel {
namespace {

using loopback::LoopbackAddress;
using loopback::OpenServerOnFreePort;
using loopback::Send;
using loopback::TakeNext;
using loopback::DatagramQueued;
using loopback::WatchedServerTest;
using socket_platform::kNothingQueued;
using socket_platform::kReceiveFailed;

TEST(ResolveHost, TakesDottedAddressesAsTheyParse) {
  EXPECT_EQ(ResolveHost("192.168.0.1"), Ipv4Address(192, 168, 0, 1));
  EXPECT_EQ(ResolveHost("10.1.2.3"), Ipv4Address(10, 1, 2, 3));
  EXPECT_EQ(ResolveHost("0.0.0.0"), 0u);
  // Equal to "does not parse", so it goes on to the lookup, which gives the
  // same value back.
  EXPECT_EQ(ResolveHost("255.255.255.255"), kUnresolvableAddress);
}

TEST(ResolveHost, LooksUpNamesAndReportsTheUnresolvable) {
  EXPECT_EQ(ResolveHost("localhost"), LoopbackAddress());
  EXPECT_EQ(ResolveHost("no-such-host.invalid"), kUnresolvableAddress);
  EXPECT_EQ(ResolveHost(nullptr), kUnresolvableAddress);
}

TEST(OpenServerEndpoint, BindsEveryLocalAddressOnTheLow16BitsOfThePort) {
  ASSERT_TRUE(StartNetwork());
  UdpEndpoint probe;
  const std::uint16_t port = OpenServerOnFreePort(probe);
  ASSERT_NE(port, 0);
  CloseEndpoint(probe);

  UdpEndpoint server;
  const SocketHandle socket = OpenServerEndpoint(server, 0x30000 + port);
  ASSERT_NE(socket, 0);
  EXPECT_EQ(server.socketHandle, socket);
  EXPECT_EQ(server.address.sin_family, 2);
  EXPECT_EQ(PortFromNetworkOrder(server.address.sin_port), port);
  EXPECT_EQ(server.address.sin_addr, 0u);
  EXPECT_EQ(socket_platform::BoundPort(socket), port);
  // It asked for a larger receive queue than a socket gets by default (the
  // platform may grant less than asked, but not less than the default).
  UdpEndpoint plain;
  ASSERT_NE(OpenClientEndpoint(plain, "127.0.0.1", port), 0);
  EXPECT_GT(socket_platform::ReceiveQueueSize(socket), socket_platform::ReceiveQueueSize(plain.socketHandle));
}

TEST(OpenServerEndpoint, FailsOnAPortAnotherSocketHolds) {
  ASSERT_TRUE(StartNetwork());
  UdpEndpoint holder;
  const std::uint16_t port = OpenServerOnFreePort(holder);
  ASSERT_NE(port, 0);

  UdpEndpoint second;
  second.socketHandle = 7;  // whatever it held is forgotten first
  EXPECT_EQ(OpenServerEndpoint(second, port), 0);
  EXPECT_EQ(second.socketHandle, 0);

  // Once the holder is closed the port is free again.
  CloseEndpoint(holder);
  EXPECT_EQ(holder.socketHandle, 0);
  EXPECT_NE(OpenServerEndpoint(second, port), 0);
}

TEST(OpenClientEndpoint, IsConnectedToTheResolvedHost) {
  ASSERT_TRUE(StartNetwork());
  UdpEndpoint server;
  const std::uint16_t port = OpenServerOnFreePort(server);
  ASSERT_NE(port, 0);

  UdpEndpoint client;
  const SocketHandle socket = OpenClientEndpoint(client, "localhost", port);
  ASSERT_NE(socket, 0);
  EXPECT_EQ(client.socketHandle, socket);
  EXPECT_EQ(client.address.sin_family, 2);
  EXPECT_EQ(PortFromNetworkOrder(client.address.sin_port), port);
  EXPECT_EQ(client.address.sin_addr, LoopbackAddress());
  EXPECT_NE(socket_platform::BoundPort(socket), 0);  // connecting has bound it

  Send(client, "hello");
  EXPECT_EQ(TakeNext(server), "hello");
}

TEST(OpenClientEndpoint, KeepsAnUnresolvableHostAndItsSendsAreNotReported) {
  ASSERT_TRUE(StartNetwork());
  UdpEndpoint client;
  ASSERT_NE(OpenClientEndpoint(client, "no-such-host.invalid", 5000), 0);
  EXPECT_NE(client.socketHandle, 0);
  EXPECT_EQ(client.address.sin_addr, kUnresolvableAddress);
  // The platform refuses a broadcast without the broadcast option, and a
  // negative length; the caller is told nothing, and the endpoint stays.
  SendDatagram(client, "x", 1);
  SendDatagram(client, "x", -1);
  EXPECT_EQ(client.address.sin_addr, kUnresolvableAddress);
  EXPECT_NE(client.socketHandle, 0);
}

using ReceiveDatagramTest = WatchedServerTest;

TEST_F(ReceiveDatagramTest, TakesADatagramThatFitsAndLosesOneThatDoesNot) {
  const std::string exact(64, 'e');
  Send(client, exact);
  ASSERT_TRUE(DatagramQueued(server));
  std::vector<char> buffer(64);
  PeerAddress from;
  EXPECT_EQ(ReceiveDatagram(server, buffer.data(), 64, from), 64);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), exact);
  EXPECT_EQ(ReceiveDatagram(server, buffer.data(), 64, from), kNothingQueued);

  Send(client, std::string(65, 'l'));
  ASSERT_TRUE(DatagramQueued(server));
  EXPECT_EQ(ReceiveDatagram(server, buffer.data(), 64, from), kReceiveFailed);
  EXPECT_EQ(ReceiveDatagram(server, buffer.data(), 64, from), kNothingQueued);
  // The long one is gone: what comes next is the datagram sent after it.
  Send(client, "next");
  EXPECT_EQ(TakeNext(server), "next");
}

TEST_F(ReceiveDatagramTest, WithNoBufferEveryDatagramButAnEmptyOneFails) {
  PeerAddress from;
  Send(client, "a");
  ASSERT_TRUE(DatagramQueued(server));
  EXPECT_EQ(ReceiveDatagram(server, nullptr, 1024, from), kReceiveFailed);
  Send(client, "b");
  ASSERT_TRUE(DatagramQueued(server));
  char buffer[4];
  EXPECT_EQ(ReceiveDatagram(server, buffer, -5, from), kReceiveFailed);
  Send(client, "");
  ASSERT_TRUE(DatagramQueued(server));
  EXPECT_EQ(ReceiveDatagram(server, nullptr, 0, from), 0);
  Send(client, "c");
  EXPECT_EQ(TakeNext(server), "c");
}

TEST_F(ReceiveDatagramTest, GivesEachDatagramsSenderAndLeavesTheEndpointsAddressAlone) {
  UdpEndpoint other;
  ASSERT_NE(OpenClientEndpoint(other, "127.0.0.1", port), 0);
  const SocketAddress opened = server.address;

  PeerAddress sender;
  Send(client, "from client");
  ASSERT_EQ(TakeNext(server, sender), "from client");
  EXPECT_EQ(sender.peerIp, LoopbackAddress());
  EXPECT_EQ(PortFromNetworkOrder(sender.peerPort), socket_platform::BoundPort(client.socketHandle));

  PeerAddress second;
  Send(other, "from other");
  ASSERT_EQ(TakeNext(server, second), "from other");
  EXPECT_EQ(second.peerIp, LoopbackAddress());
  EXPECT_EQ(PortFromNetworkOrder(second.peerPort), socket_platform::BoundPort(other.socketHandle));
  EXPECT_NE(second.peerPort, sender.peerPort);

  // The server's own address is still the one it was opened with.
  EXPECT_EQ(server.address.sin_addr, opened.sin_addr);
  EXPECT_EQ(server.address.sin_port, opened.sin_port);
}

TEST_F(ReceiveDatagramTest, AnswersASenderThroughTheServerEndpoint) {
  const SocketAddress opened = server.address;
  // A second server stands in for the sender's side.
  UdpEndpoint answerSide;
  const std::uint16_t answerPort = OpenServerOnFreePort(answerSide);
  ASSERT_NE(answerPort, 0);
  const PeerAddress target{PortToNetworkOrder(answerPort), LoopbackAddress()};
  SendDatagramTo(server, target, "refused", 7);
  PeerAddress from;
  EXPECT_EQ(TakeNext(answerSide, from), "refused");
  EXPECT_EQ(PortFromNetworkOrder(from.peerPort), port);
  // The answer did not aim the server anywhere.
  EXPECT_EQ(server.address.sin_addr, opened.sin_addr);
  EXPECT_EQ(server.address.sin_port, opened.sin_port);
}

TEST_F(ReceiveDatagramTest, EmptyDatagramsAndRefusalsOfEarlierSendsDoNotHideTheDatagramsBehind) {
  // A port nobody listens on: the platform may report the refusal on the
  // server's socket, which a receive must pass over.
  std::uint16_t deadPort = 0;
  {
    UdpEndpoint probe;
    deadPort = OpenServerOnFreePort(probe);
    ASSERT_NE(deadPort, 0);
  }
  const PeerAddress nobody{PortToNetworkOrder(deadPort), LoopbackAddress()};
  SendDatagramTo(server, nobody, "anyone?", 7);
  Send(client, "");
  Send(client, "real");
  ASSERT_TRUE(DatagramQueued(server));
  std::vector<std::string> taken;
  char buffer[8];
  PeerAddress from;
  for (int look = 0; look < 8; ++look) {
    const std::int32_t received = ReceiveDatagram(server, buffer, sizeof buffer, from);
    if (received == kNothingQueued && !DatagramQueued(server, std::chrono::milliseconds(200))) break;
    if (received >= 0) taken.emplace_back(buffer, static_cast<std::size_t>(received));
  }
  EXPECT_EQ(taken, (std::vector<std::string>{"", "real"}));
}

}  // namespace
}  // namespace quorvel
