#pragma once

// A relay built on the desktop and client-process doubles, with a stand-in
// for the partner relay's server port: a plain UDP socket on the loopback
// interface whose port the relay is configured to send to.

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "relay/client_link.h"
#include "quorvel_wire.h"
#include "relay/relay.h"
#include "doubles/fake_client_platform.h"
#include "doubles/fake_desktop.h"
#include "net/udp_transport.h"

namespace quorvel::testing {

// The partner's server port. Bound to every local address, so that links
// toward 127.0.0.1 and 127.0.0.2 both end here.
class PartnerEmulator {
 public:
  struct Datagram {
    std::string bytes;
    std::uint16_t sourcePort;  // host order
  };

  PartnerEmulator() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = 0;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
  }
  ~PartnerEmulator() {
    if (fd_ >= 0) ::close(fd_);
  }
  PartnerEmulator(const PartnerEmulator&) = delete;
  PartnerEmulator& operator=(const PartnerEmulator&) = delete;

  // The next datagram, or nothing when none came within a few seconds (a
  // bound for a failing test, not a measurement).
  std::optional<Datagram> Next() {
    pollfd waiting{fd_, POLLIN, 0};
    if (::poll(&waiting, 1, 5000) != 1) return std::nullopt;
    std::vector<char> buffer(70000);
    sockaddr_in source{};
    socklen_t length = sizeof source;
    const ssize_t received =
        ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&source), &length);
    if (received < 0) return std::nullopt;
    return Datagram{std::string(buffer.data(), static_cast<std::size_t>(received)), ntohs(source.sin_port)};
  }

  // The bytes of the next datagram; "<none>" when nothing came.
  std::string NextBytes() {
    auto datagram = Next();
    return datagram ? datagram->bytes : std::string("<none>");
  }

  std::uint16_t port = 0;

 private:
  int fd_ = -1;
};

// The descriptors the test process holds open.
inline int OpenDescriptorCount() {
  int count = 0;
  if (DIR* directory = ::opendir("/proc/self/fd")) {
    while (::readdir(directory) != nullptr) ++count;
    ::closedir(directory);
  }
  return count;
}

// Record builders, byte for byte as a client lays them out.
inline std::string LittleEndian32(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

inline std::string CreateRecord(std::int32_t nameId, std::uint32_t window, const std::string& host) {
  return std::string(1, '\0') + LittleEndian32(static_cast<std::uint32_t>(nameId)) + LittleEndian32(window) + host +
         std::string(1, '\0');
}

inline std::string TextRecord(const std::string& text) { return std::string(1, '\x02') + text; }
inline std::string LoginRecord() { return std::string(1, '\x03'); }
inline std::string QuitRecord() { return std::string(1, '\x04'); }

class ClientLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(partner.port, 0);
    ASSERT_EQ(StartNetwork(), 1);
    relay.settings.port = partner.port;
    relay.settings.sendBufferSize = 64;
    ASSERT_TRUE(relay.clientDataBuffer.Reallocate(64));
    relay.settings.debugging = 1;
  }
  void TearDown() override { NetworkStartError = 0; }

  // Announces a client process that the fake opens under `handle`.
  void Announce(std::uint32_t processId, ProcessHandle handle) {
    clients.AddProcess(processId, handle);
    ASSERT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, processId), 1u);
  }

  // Places `record` at `address` in the client's memory and hands it over.
  std::uint32_t Hand(ProcessHandle process, std::uintptr_t address, const std::string& record) {
    clients.PutMemory(process, address, record);
    return ClientWindowCallback(relay, QV_DATA_MESSAGE, address, static_cast<std::intptr_t>(record.size()));
  }

  std::string Log() const { return relay.log.Render(); }

  FakeDesktop desktop;
  FakeClientPlatform clients;
  Relay relay{desktop, clients};
  PartnerEmulator partner;
};

}  // namespace quorvel::testing
