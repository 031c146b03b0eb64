#pragma once

// A relay with its server endpoint open and watched on a free loopback port,
// and plain sockets that play the partner's relay: one bound at the port the
// relay sends its replies to (the settings port), others that send as the
// partner's entries or as strangers.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "relay/relay.h"
#include "doubles/fake_client_platform.h"
#include "doubles/fake_desktop.h"
#include "base/byte_order.h"
#include "net/socket_platform.h"
#include "net/udp_transport.h"
#include "relay/peer_protocol.h"

namespace quorvel::testing {

struct ReceivedDatagram {
  std::string bytes;
  std::string sourceAddress;
  std::uint16_t sourcePort = 0;
};

// A datagram socket bound to `address` at a port the system picks.
class LoopbackSocket {
 public:
  explicit LoopbackSocket(const char* address = "127.0.0.1") {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = ::inet_addr(address);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      ADD_FAILURE() << "cannot bind a test socket to " << address;
      return;
    }
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
  }
  ~LoopbackSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  std::uint16_t port() const { return port_; }

  void SendTo(std::uint16_t port, const std::string& bytes) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto sent = ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ASSERT_EQ(sent, static_cast<ssize_t>(bytes.size()));
  }

  // The next datagram, waiting at most `wait`; none when nothing came.
  std::optional<ReceivedDatagram> Next(std::chrono::milliseconds wait = std::chrono::seconds(5)) const {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(wait.count())) != 1) return std::nullopt;
    std::vector<char> buffer(65536);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const auto received =
        ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (received < 0) return std::nullopt;
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
    return ReceivedDatagram{std::string(buffer.data(), static_cast<std::size_t>(received)), address,
                            ntohs(from.sin_port)};
  }

  // True when a datagram is already waiting; does not wait.
  bool HasWaiting() const { return Next(std::chrono::milliseconds(0)).has_value(); }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

class PeerLinkTest : public ::testing::Test {
 protected:
  static constexpr WindowHandle kClientWindow = 0x30012;
  static constexpr ProcessHandle kClientProcess = 0x51;

  void SetUp() override { StartRelay(64); }

  // The state start-up leaves with debugging on and the given "ReceiveBuffer
  // Size": a buffer of that size, none when it is 0 or less.
  void StartRelay(std::int32_t receiveBufferSize) {
    ASSERT_EQ(StartNetwork(), 1);
    relay.settings.port = partnerServer.port();
    relay.settings.debugging = 1;
    relay.receiveBufferSize = receiveBufferSize;
    if (receiveBufferSize > 0) {
      ASSERT_TRUE(relay.receiveBuffer.Reallocate(receiveBufferSize));
    }
    ASSERT_NE(OpenServerEndpoint(relay.serverEndpoint, 0), 0);
    relayPort = socket_platform::BoundPort(relay.serverEndpoint.socketHandle);
    ASSERT_NE(relayPort, 0);
    ASSERT_NE(StartWatcher(relay.serverEndpoint), 0u);
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
  static void LoggedInFrom(VirtualServer& entry, const LoopbackSocket& from) {
    entry.loginSource = PeerAddress{PortToNetworkOrder(from.port()), Ipv4Address(127, 0, 0, 1)};
  }

  // Sends `bytes` to the relay's server port and runs one turn of the receive
  // loop once the watcher has flagged them, so that they have been handled
  // (or, if empty, passed over) when this returns.
  void Deliver(const LoopbackSocket& from, const std::string& bytes) {
    from.SendTo(relayPort, bytes);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (relay.serverEndpoint.dataReady.load() == 0) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the datagram never reached the relay";
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ReceiveLoop(relay);
  }

  // Whether the partner socket is left with nothing after `expected`.
  static void ExpectOnly(const LoopbackSocket& socket, const std::string& expected) {
    const auto got = socket.Next();
    ASSERT_TRUE(got.has_value()) << "no datagram came";
    EXPECT_EQ(got->bytes, expected);
    EXPECT_FALSE(socket.HasWaiting());
  }

  FakeDesktop desktop;
  FakeClientPlatform clients;
  LoopbackSocket partnerServer{"0.0.0.0"};  // the partner relay's server port = settings port
  LoopbackSocket partnerEntry;               // the partner's entry socket, its login source
  Relay relay{desktop, clients};
  std::uint16_t relayPort = 0;
};

inline std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

}  // namespace quorvel::testing
