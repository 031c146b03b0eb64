#pragma once

// Real sockets on 127.0.0.1 for the transport's tests: ports come from
// binding port 0, and every wait has a deadline.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "base/byte_order.h"
#include "net/socket_platform.h"
#include "net/udp_transport.h"

namespace quorvel::loopback {

inline std::uint32_t LoopbackAddress() { return Ipv4Address(127, 0, 0, 1); }

// Opens `server` on a port the platform picks; returns that port, 0 on failure.
inline std::uint16_t OpenServerOnFreePort(UdpEndpoint& server) {
  if (OpenServerEndpoint(server, 0) == 0) return 0;
  return socket_platform::BoundPort(server.socketHandle);
}

// Polls the flag; false when the deadline passes first.
inline bool WaitUntilFlagged(const UdpEndpoint& endpoint,
                             std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (endpoint.dataReady.load() == 0) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline void Send(UdpEndpoint& client, const std::string& bytes) {
  ASSERT_EQ(SendDatagram(client, bytes.data(), static_cast<std::int32_t>(bytes.size())), -1);
}

// Waits for the next flagged datagram and takes it whole.
inline std::string TakeNext(UdpEndpoint& server) {
  if (!WaitUntilFlagged(server)) return "<nothing flagged>";
  std::vector<char> buffer(65536);
  const std::int32_t received = ReceiveDatagram(server, buffer.data(), static_cast<std::int32_t>(buffer.size()));
  if (received < 0) return "<receive failed>";
  return std::string(buffer.data(), static_cast<std::size_t>(received));
}

// A started network, a watched server and a client aimed at it.
class WatchedServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(StartNetwork(), 1);
    port = OpenServerOnFreePort(server);
    ASSERT_NE(port, 0);
    ASSERT_NE(StartWatcher(server), 0u);
    ASSERT_NE(OpenClientEndpoint(client, "127.0.0.1", port), 0);
  }

  UdpEndpoint server;
  UdpEndpoint client;
  std::uint16_t port = 0;
};

}  // namespace quorvel::loopback
