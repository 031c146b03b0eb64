// Datagrams from anywhere, handed to the relay as its receive loop hands
// them over after a receive, against a table with configured and logged-in
// entries.
//
// Input: a set-up byte (bit 0: debug mode; bits 1-3: number of entries,
// 1 to 8), one byte per entry, then datagrams, each a source byte (below
// 0x80: one of the known sources; else a raw IPv4 address and port follow),
// a 16-bit length and that many bytes. Entry byte: bits 0-1 pick the name
// number, bits 2-3 the partner's address, bit 4 says whether the partner has
// logged in, bits 5-7 from which known source.

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "relay/relay.h"
#include "doubles/fake_client_platform.h"
#include "base/byte_order.h"
#include "net/udp_transport.h"
#include "relay/peer_protocol.h"
#include "support/checked_log_view.h"
#include "support/fuzz_input.h"
#include "support/quiet_desktop.h"

namespace {

using quorvel::PeerAddress;

constexpr std::int32_t kPort = 1234;
constexpr std::array<std::int32_t, 4> kNameIds = {7, 8, 0, -1};
constexpr std::array<const char*, 4> kPartnerHosts = {"127.0.0.2", "partner", "no.such.host", "0.0.0.0"};

// The partners' addresses, each from the relay port and from another port,
// and two strangers.
PeerAddress KnownSource(std::uint8_t index) {
  static const std::array<const char*, 4> kAddresses = {"127.0.0.2", "10.0.0.5", "0.0.0.0", "192.0.2.9"};
  const std::uint16_t port = (index & 1) == 0 ? kPort : 40000;
  PeerAddress source;
  source.peerIp = quorvel::ResolveHost(kAddresses[(index >> 1) % kAddresses.size()]);
  source.peerPort = quorvel::PortToNetworkOrder(port);
  return source;
}

void AddEntry(quorvel::Relay& relay, std::uint8_t setUp, std::int64_t number) {
  quorvel::VirtualServer* entry = relay.table.AddVirtualServer();
  if (entry == nullptr) return;
  const char* host = kPartnerHosts[(setUp >> 2) & 3];
  entry->nameId = kNameIds[setUp & 3];
  entry->clientProcess = static_cast<quorvel::ProcessHandle>(0x100 + number);
  entry->clientWindow = static_cast<quorvel::WindowHandle>(0x30000 + number);
  entry->partnerAddress = quorvel::ResolveHost(host);
  quorvel::OpenClientEndpoint(entry->partnerEndpoint, host, kPort);
  if ((setUp & 0x10) != 0) entry->loginSource = KnownSource(static_cast<std::uint8_t>(setUp >> 5));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvel::fuzzing::FuzzInput input(data, size);
  quorvel::fuzzing::QuietDesktop desktop;
  quorvel::testing::FakeClientPlatform clients;
  quorvel::fuzzing::CheckedLogView view;
  quorvel::Relay relay(desktop, clients);

  const std::uint8_t setUp = input.Byte();
  relay.settings.port = kPort;
  relay.log.Enable((setUp & 1) != 0);
  if (relay.Debugging()) relay.log.AttachView(&view);
  quorvel::StartNetwork();
  quorvel::OpenServerEndpoint(relay.serverEndpoint, kPort);
  const int entries = 1 + ((setUp >> 1) & 7);
  for (int number = 0; number < entries; ++number) AddEntry(relay, input.Byte(), number);

  while (!input.empty()) {
    const std::uint8_t sourceByte = input.Byte();
    PeerAddress source = KnownSource(sourceByte);
    if (sourceByte >= 0x80) {
      source.peerIp = input.Long();
      source.peerPort = input.Word();
    }
    const std::string datagram = input.Bytes(input.Word());
    // An empty datagram is never dispatched: the loop stops at it.
    if (datagram.empty()) continue;

    // As a receive leaves them: the bytes at the start of the buffer (here
    // exactly as long as the datagram, so that any read beyond it shows:
    // a reallocation under the address sanitizer always moves the bytes).
    const auto length = static_cast<std::int32_t>(datagram.size());
    relay.receiveBuffer.Configure(length);
    if (relay.receiveBuffer.capacity() != length) continue;
    std::memcpy(relay.receiveBuffer.data(), datagram.data(), datagram.size());

    quorvel::DispatchDatagram(relay, {relay.receiveBuffer.data(), datagram.size()}, source);
  }
  (void)relay.log.Render();
  return 0;
}
