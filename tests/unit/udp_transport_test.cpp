#include "net/udp_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "loopback_udp.h"
#include "net/socket_platform.h"

namespace quorvel {
namespace {

using loopback::LoopbackAddress;
using loopback::OpenServerOnFreePort;
using loopback::Send;
using loopback::TakeNext;
using loopback::WaitUntilFlagged;
using loopback::WatchedServerTest;


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

TEST(OpenClientEndpoint, AimsAtTheResolvedHostAndBindsOnlyAtTheFirstSend) {
  ASSERT_TRUE(StartNetwork());
  UdpEndpoint server;
  const std::uint16_t port = OpenServerOnFreePort(server);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(StartWatcher(server));

  UdpEndpoint client;
  const SocketHandle socket = OpenClientEndpoint(client, "localhost", port);
  ASSERT_NE(socket, 0);
  EXPECT_EQ(client.socketHandle, socket);
  EXPECT_EQ(client.address.sin_family, 2);
  EXPECT_EQ(PortFromNetworkOrder(client.address.sin_port), port);
  EXPECT_EQ(client.address.sin_addr, LoopbackAddress());
  EXPECT_EQ(socket_platform::BoundPort(socket), 0);

  Send(client, "hello");
  EXPECT_EQ(TakeNext(server), "hello");
  EXPECT_NE(socket_platform::BoundPort(socket), 0);
  // A client endpoint is never watched, so nothing is ever taken from it.
  char buffer[8];
  client.dataReady.store(1);
  EXPECT_EQ(ReceiveDatagram(client, buffer, sizeof buffer), 0);
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
  ASSERT_TRUE(WaitUntilFlagged(server));
  std::vector<char> buffer(64);
  EXPECT_EQ(ReceiveDatagram(server, buffer.data(), 64), 64);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), exact);
  EXPECT_EQ(FlaggedDatagramSize(server), -1);
  EXPECT_EQ(server.dataReady.load(), 0u);

  Send(client, std::string(65, 'l'));
  ASSERT_TRUE(WaitUntilFlagged(server));
  EXPECT_EQ(ReceiveDatagram(server, buffer.data(), 64), -1);
  EXPECT_EQ(FlaggedDatagramSize(server), -1);
  EXPECT_EQ(server.dataReady.load(), 0u);
  // The long one is gone: what comes next is the datagram sent after it.
  Send(client, "next");
  EXPECT_EQ(TakeNext(server), "next");
}

TEST_F(ReceiveDatagramTest, WithNoBufferEveryDatagramButAnEmptyOneFails) {
  Send(client, "a");
  ASSERT_TRUE(WaitUntilFlagged(server));
  EXPECT_EQ(ReceiveDatagram(server, nullptr, 1024), -1);
  Send(client, "b");
  ASSERT_TRUE(WaitUntilFlagged(server));
  char buffer[4];
  EXPECT_EQ(ReceiveDatagram(server, buffer, -5), -1);
  Send(client, "");
  ASSERT_TRUE(WaitUntilFlagged(server));
  EXPECT_EQ(ReceiveDatagram(server, nullptr, 0), 0);
  Send(client, "c");
  EXPECT_EQ(TakeNext(server), "c");
}

TEST_F(ReceiveDatagramTest, RecordsTheSenderAndASecondSenderReplacesIt) {
  UdpEndpoint other;
  ASSERT_NE(OpenClientEndpoint(other, "127.0.0.1", port), 0);

  Send(client, "from client");
  ASSERT_EQ(TakeNext(server), "from client");
  const PeerAddress sender = EndpointPeer(server);
  EXPECT_EQ(sender.peerIp, LoopbackAddress());
  EXPECT_EQ(PortFromNetworkOrder(sender.peerPort), socket_platform::BoundPort(client.socketHandle));
  EXPECT_EQ(EndpointAddress(server), LoopbackAddress());
  EXPECT_EQ(server.address.sin_family, 2);

  Send(other, "from other");
  ASSERT_EQ(TakeNext(server), "from other");
  const PeerAddress second = EndpointPeer(server);
  EXPECT_EQ(second.peerIp, LoopbackAddress());
  EXPECT_EQ(PortFromNetworkOrder(second.peerPort), socket_platform::BoundPort(other.socketHandle));
  EXPECT_NE(second.peerPort, sender.peerPort);
}

TEST_F(ReceiveDatagramTest, AnswersASenderThroughTheServerEndpoint) {
  Send(client, "login");
  ASSERT_EQ(TakeNext(server), "login");

  // A second watched server stands in for the sender's side.
  UdpEndpoint answerSide;
  const std::uint16_t answerPort = OpenServerOnFreePort(answerSide);
  ASSERT_NE(answerPort, 0);
  ASSERT_TRUE(StartWatcher(answerSide));
  const PeerAddress target{PortToNetworkOrder(answerPort), LoopbackAddress()};
  SendDatagramTo(server, target, "refused", 7);
  EXPECT_EQ(TakeNext(answerSide), "refused");

  EXPECT_EQ(PortFromNetworkOrder(EndpointPeer(answerSide).peerPort), port);
  // The server endpoint keeps the new destination.
  EXPECT_EQ(EndpointPeer(server), target);
}

TEST(ReceiveDatagram, TakesNothingFromAnEndpointWithoutAWatcher) {
  ASSERT_TRUE(StartNetwork());
  UdpEndpoint server;
  const std::uint16_t port = OpenServerOnFreePort(server);
  ASSERT_NE(port, 0);
  UdpEndpoint client;
  ASSERT_NE(OpenClientEndpoint(client, "127.0.0.1", port), 0);
  Send(client, "queued");

  char buffer[16] = {};
  EXPECT_EQ(ReceiveDatagram(server, buffer, sizeof buffer), 0);
  server.dataReady.store(1);  // a flag without a watcher counts for nothing
  EXPECT_EQ(ReceiveDatagram(server, buffer, sizeof buffer), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(server.dataReady.load(), 1u);

  // The datagram is still queued for a watcher started later.
  server.dataReady.store(0);
  ASSERT_TRUE(StartWatcher(server));
  EXPECT_EQ(TakeNext(server), "queued");
}

}  // namespace
}  // namespace quorvel
