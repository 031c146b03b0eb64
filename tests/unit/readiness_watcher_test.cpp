#include "net/readiness_watcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/byte_order.h"
#include "loopback_udp.h"
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
    // Nothing left: the socket goes back to the watcher.
    EXPECT_EQ(FlaggedDatagramSize(server), -1);
    EXPECT_EQ(server.dataReady.load(), 0u);
  }
}

TEST_F(ReadinessWatcherTest, ABurstIsTakenInOneHandOverAndTheSignalIsRaisedForIt) {
  // Loopback sends are queued by the time they return: one hand-over covers
  // the whole burst, and the main thread keeps the socket until it finds
  // nothing left.
  for (int i = 0; i < 100; ++i) Send(client, "datagram " + std::to_string(i));
  socket_platform::WaitForSignal(ReadinessHandle(server));  // no time limit: the test's own limit catches a miss
  EXPECT_EQ(server.dataReady.load(), 1u);
  char buffer[32];
  for (int i = 0; i < 100; ++i) {
    const std::int32_t size = FlaggedDatagramSize(server);
    ASSERT_EQ(ReceiveDatagram(server, buffer, sizeof buffer), size);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(size)), "datagram " + std::to_string(i));
    EXPECT_EQ(server.dataReady.load(), 1u);
  }
  EXPECT_EQ(FlaggedDatagramSize(server), -1);
  EXPECT_EQ(server.dataReady.load(), 0u);

  // A datagram that arrives while the watcher waits is flagged at once.
  Send(client, "late");
  socket_platform::WaitForSignal(ReadinessHandle(server));
  EXPECT_EQ(TakeNext(server), "late");
}

TEST_F(ReadinessWatcherTest, AStreamIsTakenWholeWhileTheThreadsHandTheSocketToAndFro) {
  // Run under ThreadSanitizer (native-tsan): a sender thread streams while
  // this thread drains the way the main loop does, waiting on the readiness
  // signal whenever it has handed the socket back.
  constexpr int kCount = 3000;
  std::atomic<int> taken{0};
  std::thread sender([this, &taken] {
    UdpEndpoint own;
    ASSERT_NE(OpenClientEndpoint(own, "127.0.0.1", port), 0);
    for (int i = 0; i < kCount; ++i) {
      // Stay within what the socket queue holds, whatever the pace here.
      while (i - taken.load() > 200) std::this_thread::yield();
      const std::string bytes = std::to_string(i);
      SendDatagram(own, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    }
  });
  char buffer[16];
  int next = 0;
  while (next < kCount) {
    if (!DatagramsFlagged(server)) socket_platform::WaitForSignal(ReadinessHandle(server));
    for (std::int32_t size = FlaggedDatagramSize(server); size >= 0; size = FlaggedDatagramSize(server)) {
      const std::int32_t received = ReceiveDatagram(server, buffer, sizeof buffer);
      ASSERT_EQ(received, size);
      ASSERT_EQ(std::string(buffer, static_cast<std::size_t>(received)), std::to_string(next));
      taken.store(++next);
    }
  }
  sender.join();
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
  ReadinessWatcher* const watcher = server.watcherThread.get();
  ASSERT_NE(watcher, nullptr);
  EXPECT_TRUE(StartWatcher(server));
  EXPECT_EQ(server.watcherThread.get(), watcher);
  Send(client, "still watched");
  EXPECT_EQ(TakeNext(server), "still watched");
}

TEST_F(ReadinessWatcherTest, StopEndsTheWatcherAndAFreshOneTakesOver) {
  StopWatcher(server);
  EXPECT_FALSE(server.watcherThread);
  StopWatcher(server);  // a second stop finds nothing to end

  // Unwatched, the endpoint takes nothing.
  Send(client, "after stop");
  char buffer[16];
  EXPECT_EQ(ReceiveDatagram(server, buffer, sizeof buffer), 0);

  ASSERT_TRUE(StartWatcher(server));
  EXPECT_TRUE(server.watcherThread);
  EXPECT_EQ(TakeNext(server), "after stop");
}

TEST_F(ReadinessWatcherTest, StopEndsAWatcherHoldingAFlagAndTheFlagStays) {
  Send(client, "held");
  Send(client, "behind");
  ASSERT_TRUE(WaitUntilFlagged(server));
  StopWatcher(server);
  EXPECT_FALSE(server.watcherThread);
  EXPECT_EQ(server.dataReady.load(), 1u);

  // The standing flag still belongs to the main thread, which takes the
  // datagram under a new watcher.
  ASSERT_TRUE(StartWatcher(server));
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
  StopWatcher(server);
  EXPECT_FALSE(server.watcherThread);
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
  SendDatagramTo(server, nobody, "anyone?", 7);
  SendDatagramTo(server, nobody, "anyone?", 7);

  Send(client, "real");
  EXPECT_EQ(TakeNext(server), "real");
}

}  // namespace
}  // namespace quorvel
