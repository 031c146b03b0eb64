// Datagram endpoints over the platform's sockets: opening, sending,
// receiving with the sender, and what the main loop waits on for datagrams.

#include "net/udp_transport.h"

#include <algorithm>

#include "base/byte_order.h"
#include "net/socket_platform.h"

namespace quorvel {

namespace {

constexpr std::uint16_t kAddressFamilyIpv4 = 2;

std::uint16_t PortArgument(std::int32_t port) { return PortToNetworkOrder(static_cast<std::uint16_t>(port)); }

}  // namespace

UdpEndpoint::~UdpEndpoint() {
  if (socketHandle != 0) socket_platform::CloseSocket(socketHandle);
}

bool StartNetwork() { return socket_platform::StartSocketLibrary() == 0; }

void StopNetwork() { socket_platform::StopSocketLibrary(); }

std::uint32_t ResolveHost(const char* host) {
  if (host == nullptr) return kUnresolvableAddress;
  const std::uint32_t dotted = socket_platform::ParseDottedAddress(host);
  if (dotted != kUnresolvableAddress) return dotted;
  std::uint32_t first = 0;
  return socket_platform::LookUpHost(host, first) ? first : kUnresolvableAddress;
}

SocketHandle OpenServerEndpoint(UdpEndpoint& endpoint, std::int32_t port) {
  endpoint.socketHandle = 0;
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
  endpoint.address.sin_family = kAddressFamilyIpv4;
  endpoint.address.sin_port = PortArgument(port);
  // Kept whatever it is; sends toward 255.255.255.255 are refused by the
  // platform, as no socket here may broadcast.
  endpoint.address.sin_addr = ResolveHost(host);
  const SocketHandle socket = socket_platform::OpenDatagramSocket();
  endpoint.socketHandle = socket;
  // Connected, so that the network's word that the partner's port is closed
  // reaches the socket, and only the partner's datagrams do. A destination
  // that cannot be connected to (one that did not resolve) is left as it is.
  if (socket != 0) socket_platform::ConnectSocket(socket, endpoint.address);
  return socket;
}

void CloseEndpoint(UdpEndpoint& endpoint) {
  socket_platform::CloseSocket(endpoint.socketHandle);
  endpoint.socketHandle = 0;
}

void SendDatagram(const UdpEndpoint& endpoint, const void* data, std::int32_t length) {
  socket_platform::SendTo(endpoint.socketHandle, data, length, endpoint.address);
}

void SendDatagramTo(const UdpEndpoint& endpoint, const PeerAddress& peer, const void* data, std::int32_t length) {
  const SocketAddress destination{kAddressFamilyIpv4, peer.peerPort, peer.peerIp};
  socket_platform::SendTo(endpoint.socketHandle, data, length, destination);
}

std::int32_t ReceiveDatagram(const UdpEndpoint& endpoint, void* buffer, std::int32_t size, PeerAddress& from) {
  SocketAddress sender;
  const std::int32_t received = socket_platform::ReceiveFrom(endpoint.socketHandle, buffer, size, sender);
  from = PeerAddress{sender.sin_port, sender.sin_addr};
  return received;
}

bool DatagramWait::WatchPairing(const UdpEndpoint& endpoint) {
  if (handles_.empty()) return false;
  const std::intptr_t shared = handles_.size() > 1 ? handles_[1] : 0;
  const std::intptr_t handle = socket_platform::WatchForDatagrams(endpoint.socketHandle, shared);
  if (handle == 0) return false;
  if (std::find(handles_.begin() + 1, handles_.end(), handle) == handles_.end()) handles_.push_back(handle);
  return true;
}

void DatagramWait::Unwatch(const UdpEndpoint& endpoint) {
  // Where a socket is waited on itself, it is its own handle; a shared
  // event is never a socket's handle, so it stays.
  if (handles_.size() > 1) handles_.erase(std::remove(handles_.begin() + 1, handles_.end(), endpoint.socketHandle),
                                          handles_.end());
}

bool DatagramWait::Watch(const UdpEndpoint& endpoint) {
  const std::intptr_t shared = handles_.empty() ? 0 : handles_.front();
  const std::intptr_t handle = socket_platform::WatchForDatagrams(endpoint.socketHandle, shared);
  if (handle == 0) return false;
  if (std::find(handles_.begin(), handles_.end(), handle) == handles_.end()) handles_.push_back(handle);
  return true;
}

}  // namespace quorvel
