#include "net/udp_transport.h"

#include "net/byte_order.h"
#include "net/network_start_error.h"
#include "net/readiness_watcher.h"
#include "net/socket_platform.h"

namespace quorvel {

std::int32_t NetworkStartError = 0;

namespace {

constexpr std::uint16_t kAddressFamilyIpv4 = 2;
constexpr std::uint32_t kUnresolvable = 0xFFFFFFFF;

std::uint16_t PortArgument(std::int32_t port) { return PortToNetworkOrder(static_cast<std::uint16_t>(port)); }

}  // namespace

UdpEndpoint::UdpEndpoint() = default;

UdpEndpoint::~UdpEndpoint() {
  watcherThread.reset();
  if (socketHandle != 0) socket_platform::CloseSocket(socketHandle);
}

int StartNetwork() {
  NetworkStartError = socket_platform::StartSocketLibrary();
  return NetworkStartError == 0 ? 1 : 0;
}

void StopNetwork() {
  if (NetworkStartError != 0) return;
  socket_platform::StopSocketLibrary();
}

std::uint32_t ResolveHost(const char* host) {
  if (host == nullptr) return kUnresolvable;
  const std::uint32_t dotted = socket_platform::ParseDottedAddress(host);
  if (dotted != kUnresolvable) return dotted;
  std::uint32_t first = 0;
  return socket_platform::LookUpHost(host, first) ? first : kUnresolvable;
}

SocketHandle OpenServerEndpoint(UdpEndpoint& endpoint, std::int32_t port) {
  endpoint.socketHandle = 0;
  if (NetworkStartError != 0) return 0;
  endpoint.address.sin_family = kAddressFamilyIpv4;
  endpoint.address.sin_port = PortArgument(port);
  // sin_addr stays as it is: 0 in a fresh endpoint, every local interface.
  const SocketHandle socket = socket_platform::OpenDatagramSocket();
  if (socket == 0) return 0;
  if (!socket_platform::BindSocket(socket, endpoint.address)) {
    socket_platform::CloseSocket(socket);
    return 0;
  }
  // A smaller queue than asked for still serves; nothing to report.
  socket_platform::RequestReceiveQueue(socket, kServerReceiveQueue);
  endpoint.socketHandle = socket;
  return socket;
}

SocketHandle OpenClientEndpoint(UdpEndpoint& endpoint, const char* host, std::int32_t port) {
  endpoint.socketHandle = 0;
  if (NetworkStartError != 0) return 0;
  endpoint.address.sin_family = kAddressFamilyIpv4;
  endpoint.address.sin_port = PortArgument(port);
  endpoint.address.sin_addr = 0;
  // Kept whatever it is; sends toward 255.255.255.255 are refused by the
  // platform, as no socket here may broadcast.
  endpoint.address.sin_addr = ResolveHost(host);
  const SocketHandle socket = socket_platform::OpenDatagramSocket();
  if (socket == 0) return 0;
  endpoint.socketHandle = socket;
  return socket;
}

void CloseEndpoint(UdpEndpoint& endpoint) {
  StopWatcher(endpoint);
  // The socket must not go while a watcher still looks at it, even when
  // StopWatcher held back because the library is marked as not started.
  endpoint.watcherThread.reset();
  socket_platform::CloseSocket(endpoint.socketHandle);
  endpoint.socketHandle = 0;
}

std::int32_t SendDatagram(UdpEndpoint& endpoint, const void* data, std::int32_t length) {
  if (NetworkStartError != 0) return 0;
  socket_platform::SendTo(endpoint.socketHandle, data, length, endpoint.address);
  return -1;
}

std::int32_t SendDatagramTo(UdpEndpoint& endpoint, const PeerAddress& peer, const void* data,
                            std::int32_t length) {
  if (NetworkStartError != 0) return 0;
  endpoint.address.sin_port = peer.peerPort;
  endpoint.address.sin_addr = peer.peerIp;
  return SendDatagram(endpoint, data, length);
}

bool DatagramsFlagged(const UdpEndpoint& endpoint) {
  return endpoint.watcherThread && endpoint.dataReady.load() != 0;
}

std::int32_t FlaggedDatagramSize(UdpEndpoint& endpoint) {
  if (!DatagramsFlagged(endpoint)) return -1;
  const std::int32_t size =
      NetworkStartError == 0 ? socket_platform::QueuedDatagramSize(endpoint.socketHandle) : -1;
  if (size < 0) endpoint.watcherThread->HandBack();
  return size;
}

std::int32_t ReceiveDatagram(UdpEndpoint& endpoint, void* buffer, std::int32_t size) {
  if (!DatagramsFlagged(endpoint)) return 0;
  if (NetworkStartError != 0) {
    endpoint.watcherThread->HandBack();
    return 0;
  }
  return socket_platform::ReceiveFrom(endpoint.socketHandle, buffer, size, endpoint.address);
}

std::intptr_t ReadinessHandle(const UdpEndpoint& endpoint) {
  return endpoint.watcherThread ? endpoint.watcherThread->readiness() : 0;
}

std::uint32_t EndpointAddress(const UdpEndpoint& endpoint) { return endpoint.address.sin_addr; }

void GetPeerAddress(const UdpEndpoint& endpoint, PeerAddress& peer) {
  peer.peerPort = endpoint.address.sin_port;
  peer.peerIp = endpoint.address.sin_addr;
}

std::uintptr_t StartWatcher(UdpEndpoint& endpoint) {
  if (NetworkStartError != 0) return 0;
  if (!endpoint.watcherThread) {
    auto watcher = std::make_unique<ReadinessWatcher>(endpoint);
    if (!watcher->Start()) return 0;
    endpoint.watcherThread = std::move(watcher);
  }
  return reinterpret_cast<std::uintptr_t>(endpoint.watcherThread.get());
}

std::int32_t StopWatcher(UdpEndpoint& endpoint) {
  if (NetworkStartError != 0 || !endpoint.watcherThread) return 0;
  endpoint.watcherThread.reset();  // ends the thread and waits for it
  return -1;
}

}  // namespace quorvel
