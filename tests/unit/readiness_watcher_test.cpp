#include "net/readiness_watcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "loopback_endpoints.h"
#include "net/byte_order.h"
#include "net/socket_platform.h"
#include "net/udp_transport.h"

namespace quorvel {
namespace {

using loopback::LoopbackAddress;
using loopback::OpenServerOnFreePort;
using loopback::Send;
using loopback::TakeNext;
using loopback::WaitUntilFlagged;

using ReadinessWatcherTest = loopback::WatchedServerTest;

TEST_F(ReadinessWatcherTest, FlagsADatagramAndTellsItsSizeWithoutTakingIt) {
  EXPECT_EQ(FlaggedDatagramSize(server), -1);  // nothing flagged yet

  for (const std::int32_t length : {1, 2, 700, 65507}) {
    SCOPED_TRACE(length);
    const std::string datagram(static_cast<std::size_t>(length), static_cast<char>('a' + length % 26));
    Send(client, datagram);
    ASSERT_TRUE(WaitUntilFlagged(server));
    EXPECT_EQ(FlaggedDatagramSize(server), length);
    EXPECT_EQ(FlaggedDatagramSize(server), length);  // still there
    std::vector<char> buffer(static_cast<std::size_t>(length));
    ASSERT_EQ(ReceiveDatagram(server, buffer.data(), length), length);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), datagram);
    EXPECT_EQ(server.dataReady.load(), 0u);
    EXPECT_EQ(FlaggedDatagramSize(server), -1);
  }
}

TEST_F(ReadinessWatcherTest, FlagsOnlyOneDatagramPerDrain) {
  // The watcher pauses at least 1 ms after the flag was lowered before it
  // looks again, so a drain that calls twice within that time takes one
  // datagram. An attempt in which this thread was held up for longer proves
  // nothing and is repeated.
  for (int attempt = 0; attempt < 50; ++attempt) {
    Send(client, "first");
    Send(client, "second");
    ASSERT_TRUE(WaitUntilFlagged(server));
    char buffer[16];
    const auto before = std::chrono::steady_clock::now();
    const std::int32_t first = ReceiveDatagram(server, buffer, sizeof buffer);
    const std::int32_t second = ReceiveDatagram(server, buffer, sizeof buffer);
    const bool undisturbed = std::chrono::steady_clock::now() - before < std::chrono::milliseconds(1);
    ASSERT_EQ(first, 5);
    if (second != 0 && !undisturbed) continue;
    EXPECT_EQ(second, 0);
    EXPECT_EQ(TakeNext(server), "second");
    return;
  }
  ADD_FAILURE() << "no attempt ran undisturbed";
}

TEST_F(ReadinessWatcherTest, TheLoopsPauseEndsAsSoonAsADatagramIsFlagged) {
  // With a limit of an hour, a pause that did not end on the flag would run
  // into the test's own time limit.
  std::thread sender([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Send(client, "late");
  });
  PauseUntilFlagged(server, std::chrono::hours(1));
  sender.join();
  EXPECT_EQ(server.dataReady.load(), 1u);
  EXPECT_EQ(TakeNext(server), "late");

  // Already flagged: the pause does not wait at all.
  Send(client, "early");
  ASSERT_TRUE(WaitUntilFlagged(server));
  PauseUntilFlagged(server, std::chrono::hours(1));
  EXPECT_EQ(TakeNext(server), "early");
}

TEST_F(ReadinessWatcherTest, AnEmptyDatagramIsFlaggedAndDoesNotHideTheOnesBehindIt) {
  Send(client, "");
  Send(client, "x");
  Send(client, "");
  Send(client, "yz");

  ASSERT_TRUE(WaitUntilFlagged(server));
  EXPECT_EQ(FlaggedDatagramSize(server), 0);
  char buffer[8] = {};
  EXPECT_EQ(ReceiveDatagram(server, buffer, sizeof buffer), 0);
  EXPECT_EQ(TakeNext(server), "x");
  ASSERT_TRUE(WaitUntilFlagged(server));
  EXPECT_EQ(FlaggedDatagramSize(server), 0);
  EXPECT_EQ(ReceiveDatagram(server, buffer, sizeof buffer), 0);
  EXPECT_EQ(TakeNext(server), "yz");
}

TEST_F(ReadinessWatcherTest, ASecondStartKeepsTheRunningWatcher) {
  const std::uintptr_t handle = StartWatcher(server);
  ReadinessWatcher* const watcher = server.watcherThread.get();
  EXPECT_EQ(handle, reinterpret_cast<std::uintptr_t>(watcher));
  EXPECT_EQ(StartWatcher(server), handle);
  EXPECT_EQ(server.watcherThread.get(), watcher);
  Send(client, "still watched");
  EXPECT_EQ(TakeNext(server), "still watched");
}

TEST_F(ReadinessWatcherTest, StopEndsTheWatcherAndAFreshOneTakesOver) {
  ASSERT_EQ(StopWatcher(server), -1);
  EXPECT_FALSE(server.watcherThread);
  EXPECT_EQ(StopWatcher(server), 0);

  // Unwatched, the endpoint takes nothing.
  Send(client, "after stop");
  char buffer[16];
  EXPECT_EQ(ReceiveDatagram(server, buffer, sizeof buffer), 0);

  ASSERT_NE(StartWatcher(server), 0u);
  EXPECT_TRUE(server.watcherThread);
  EXPECT_EQ(TakeNext(server), "after stop");
}

TEST_F(ReadinessWatcherTest, StopEndsAWatcherHoldingAFlagAndTheFlagStays) {
  Send(client, "held");
  Send(client, "behind");
  ASSERT_TRUE(WaitUntilFlagged(server));
  ASSERT_EQ(StopWatcher(server), -1);
  EXPECT_FALSE(server.watcherThread);
  EXPECT_EQ(server.dataReady.load(), 1u);

  // The standing flag still belongs to the main thread, which takes the
  // datagram under a new watcher.
  ASSERT_NE(StartWatcher(server), 0u);
  char buffer[16];
  ASSERT_EQ(ReceiveDatagram(server, buffer, sizeof buffer), 4);
  EXPECT_EQ(std::string(buffer, 4), "held");
  EXPECT_EQ(TakeNext(server), "behind");
}

TEST_F(ReadinessWatcherTest, CloseEndpointEndsTheWatcherAndFreesThePort) {
  Send(client, "flagged at close");
  ASSERT_TRUE(WaitUntilFlagged(server));
  const std::uint32_t addressBefore = server.address.sin_addr;
  CloseEndpoint(server);
  EXPECT_FALSE(server.watcherThread);
  EXPECT_EQ(server.socketHandle, 0);
  EXPECT_EQ(server.dataReady.load(), 1u);
  EXPECT_EQ(server.address.sin_addr, addressBefore);

  UdpEndpoint reopened;
  EXPECT_NE(OpenServerEndpoint(reopened, port), 0);
}

TEST_F(ReadinessWatcherTest, AWatcherWhoseSocketIsGoneRaisesNothingAndStillStops) {
  socket_platform::CloseSocket(server.socketHandle);
  // Give the watcher passes on the dead socket; none may raise the flag.
  for (int pass = 0; pass < 50; ++pass) {
    EXPECT_EQ(server.dataReady.load(), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(StopWatcher(server), -1);
  server.socketHandle = 0;
}

TEST_F(ReadinessWatcherTest, ARefusalFromAnEarlierSendIsNotADatagram) {
  // A port nobody listens on: the platform may report the refusal on the
  // server's socket, which the watcher must drop.
  std::uint16_t deadPort = 0;
  {
    UdpEndpoint probe;
    deadPort = OpenServerOnFreePort(probe);
    ASSERT_NE(deadPort, 0);
  }
  const PeerAddress nobody{PortToNetworkOrder(deadPort), LoopbackAddress()};
  EXPECT_EQ(SendDatagramTo(server, nobody, "anyone?", 7), -1);
  EXPECT_EQ(SendDatagramTo(server, nobody, "anyone?", 7), -1);

  Send(client, "real");
  EXPECT_EQ(TakeNext(server), "real");
}

}  // namespace
}  // namespace quorvel
