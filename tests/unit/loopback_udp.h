#pragma once

// UDP on the loopback interface for the tests: plain sockets that stand in
// for the other side (a partner relay, a stranger, a port the probe asks),
// and the relay's own endpoints opened on free ports. Ports come from
// binding port 0, and every wait has a deadline (a bound for a failing
// test, not a measurement).

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
#include <vector>

#include "base/byte_order.h"
#include "net/socket_platform.h"
#include "net/socket_probing.h"
#include "net/udp_transport.h"

namespace quorvel::loopback {

inline std::uint32_t LoopbackAddress() { return Ipv4Address(127, 0, 0, 1); }

// Bytes from a list of numbers, for datagrams written out byte by byte.
inline std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

struct ReceivedDatagram {
  std::string bytes;
  std::string sourceAddress;
  std::uint16_t sourcePort = 0;  // host order
};

// A plain datagram socket bound to `address` ("0.0.0.0": every local
// address) at `port` (0: one the system picks).
class UdpSocket {
 public:
  explicit UdpSocket(const char* address = "127.0.0.1", std::uint16_t port = 0)
      : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = ::inet_addr(address);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      Close();
      return;
    }
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
  }
  ~UdpSocket() { Close(); }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // 0 when the socket could not be bound.
  std::uint16_t port() const { return port_; }
  int descriptor() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // To `port` on 127.0.0.1; whether the whole datagram went.
  bool SendTo(std::uint16_t port, const std::string& bytes) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(bytes.size());
  }

  // The next datagram, waiting at most `wait`; none when nothing came. An
  // answer goes back to its source through `answerFrom` (this socket when
  // null) when given.
  std::optional<ReceivedDatagram> Next(std::chrono::milliseconds wait = std::chrono::seconds(5),
                                       const std::optional<std::string>& answer = std::nullopt,
                                       const UdpSocket* answerFrom = nullptr) const {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(wait.count())) != 1) return std::nullopt;
    std::vector<char> buffer(70000);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const auto received =
        ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (received < 0) return std::nullopt;
    if (answer) {
      const int through = answerFrom != nullptr ? answerFrom->fd_ : fd_;
      ::sendto(through, answer->data(), answer->size(), 0, reinterpret_cast<const sockaddr*>(&from), sizeof from);
    }
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
    return ReceivedDatagram{std::string(buffer.data(), static_cast<std::size_t>(received)), address,
                            ntohs(from.sin_port)};
  }

  // The bytes of the next datagram; "<none>" when nothing came.
  std::string NextBytes() const {
    const auto datagram = Next();
    return datagram ? datagram->bytes : std::string("<none>");
  }

  // True when a datagram is already waiting; takes it, does not wait.
  bool HasWaiting() const { return Next(std::chrono::milliseconds(0)).has_value(); }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A port nobody holds right now, found by letting the system pick one.
inline std::uint16_t FreeUdpPort() { return UdpSocket("0.0.0.0").port(); }

// ---- The relay's endpoints

// Opens `server` on a port the platform picks; returns that port, 0 on failure.
inline std::uint16_t OpenServerOnFreePort(UdpEndpoint& server) {
  if (OpenServerEndpoint(server, 0) == 0) return 0;
  return socket_platform::BoundPort(server.socketHandle);
}

// Whether a datagram is queued on the endpoint within the deadline; it stays
// queued.
inline bool DatagramQueued(const UdpEndpoint& endpoint, std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
  return socket_platform::WaitForDatagram(endpoint.socketHandle, static_cast<std::int32_t>(deadline.count())) ==
         socket_platform::Readiness::DatagramQueued;
}

inline void Send(UdpEndpoint& client, const std::string& bytes) {
  SendDatagram(client, bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

// Waits for the next datagram and takes it whole, with its sender.
inline std::string TakeNext(const UdpEndpoint& server, PeerAddress& from) {
  if (!DatagramQueued(server)) return "<nothing queued>";
  std::vector<char> buffer(65536);
  const std::int32_t received =
      ReceiveDatagram(server, buffer.data(), static_cast<std::int32_t>(buffer.size()), from);
  if (received < 0) return "<receive failed>";
  return std::string(buffer.data(), static_cast<std::size_t>(received));
}

inline std::string TakeNext(const UdpEndpoint& server) {
  PeerAddress from;
  return TakeNext(server, from);
}

// A started network, a watched server and a client aimed at it.
class WatchedServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartNetwork());
    port = OpenServerOnFreePort(server);
    ASSERT_NE(port, 0);
    ASSERT_TRUE(wait.Watch(server));
    ASSERT_NE(OpenClientEndpoint(client, "127.0.0.1", port), 0);
  }

  UdpEndpoint server;
  DatagramWait wait;
  UdpEndpoint client;
  std::uint16_t port = 0;
};

}  // namespace quorvel::loopback
