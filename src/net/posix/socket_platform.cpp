// BSD sockets. A handle is the descriptor plus one, so that 0 means "no
// socket" as it does everywhere else in the relay.
#include "net/socket_platform.h"
#include "net/socket_probing.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvel::socket_platform {
namespace {

int DescriptorOf(SocketHandle socket) {
  return socket > 0 && socket - 1 <= INT32_MAX ? static_cast<int>(socket - 1) : -1;
}

sockaddr_in ToSockaddr(const SocketAddress& address) {
  sockaddr_in platform{};
  platform.sin_family = address.sin_family;
  platform.sin_port = address.sin_port;
  platform.sin_addr.s_addr = address.sin_addr;
  return platform;
}

void FromSockaddr(const sockaddr_in& platform, SocketAddress& address) {
  address.sin_family = platform.sin_family;
  address.sin_port = platform.sin_port;
  address.sin_addr = platform.sin_addr.s_addr;
}

// The one place where errno is read: the failures the transport tells apart
// are "interrupted, just try again" and "the peer cannot be reached" (an
// error reported for an earlier send); any other means nothing to take.
bool Interrupted() { return errno == EINTR; }
bool PeerUnreachable() { return errno == ECONNREFUSED || errno == EHOSTUNREACH || errno == ENETUNREACH; }

}  // namespace

std::int32_t StartSocketLibrary() { return 0; }

void StopSocketLibrary() {}

SocketHandle OpenDatagramSocket() {
  const int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  return descriptor < 0 ? 0 : static_cast<SocketHandle>(descriptor) + 1;
}

bool BindSocket(SocketHandle socket, const SocketAddress& local) {
  const sockaddr_in platform = ToSockaddr(local);
  return ::bind(DescriptorOf(socket), reinterpret_cast<const sockaddr*>(&platform), sizeof platform) == 0;
}

std::uint16_t BoundPort(SocketHandle socket) {
  sockaddr_in platform{};
  socklen_t length = sizeof platform;
  if (::getsockname(DescriptorOf(socket), reinterpret_cast<sockaddr*>(&platform), &length) != 0) return 0;
  return ntohs(platform.sin_port);
}

void CloseSocket(SocketHandle socket) {
  const int descriptor = DescriptorOf(socket);
  if (descriptor >= 0) ::close(descriptor);
}

bool RequestReceiveQueue(SocketHandle socket, std::int32_t bytes) {
  const int value = bytes;
  return ::setsockopt(DescriptorOf(socket), SOL_SOCKET, SO_RCVBUF, &value, sizeof value) == 0;
}

std::int32_t ReceiveQueueSize(SocketHandle socket) {
  int value = 0;
  socklen_t length = sizeof value;
  if (::getsockopt(DescriptorOf(socket), SOL_SOCKET, SO_RCVBUF, &value, &length) != 0) return -1;
  return value;
}

bool SendTo(SocketHandle socket, const void* data, std::int32_t length, const SocketAddress& destination) {
  if (length < 0 || (data == nullptr && length > 0)) return false;
  const sockaddr_in platform = ToSockaddr(destination);
  return ::sendto(DescriptorOf(socket), data, static_cast<size_t>(length), 0,
                  reinterpret_cast<const sockaddr*>(&platform), sizeof platform) >= 0;
}

// Every wait takes the descriptor itself, and the receives below do not
// wait (MSG_DONTWAIT): there is nothing to set up.
WaitHandle WatchForDatagrams(SocketHandle socket, WaitHandle) { return DescriptorOf(socket) >= 0 ? socket : 0; }

std::int32_t ReceiveFrom(SocketHandle socket, void* buffer, std::int32_t size, SocketAddress& sender) {
  char none = 0;
  if (buffer == nullptr || size <= 0) {
    buffer = &none;
    size = 0;
  }
  sockaddr_in platform{};
  socklen_t length = sizeof platform;
  // MSG_TRUNC reports the datagram's real length, so a datagram that did not
  // fit is recognised; its rest is discarded by the kernel, as on Windows.
  ssize_t received;
  do {
    received = ::recvfrom(DescriptorOf(socket), buffer, static_cast<size_t>(size), MSG_TRUNC | MSG_DONTWAIT,
                          reinterpret_cast<sockaddr*>(&platform), &length);
  } while (received < 0 && Interrupted());
  FromSockaddr(platform, sender);
  if (received > size) return kReceiveFailed;
  if (received >= 0) return static_cast<std::int32_t>(received);
  return PeerUnreachable() ? kPortClosed : kNothingQueued;
}

Readiness WaitForDatagram(SocketHandle socket, std::int32_t timeoutMilliseconds) {
  const int descriptor = DescriptorOf(socket);
  if (descriptor < 0) return Readiness::Failed;
  pollfd watched{descriptor, POLLIN, 0};
  const int ready = ::poll(&watched, 1, timeoutMilliseconds);
  if (ready == 0 || (ready < 0 && Interrupted())) return Readiness::TimedOut;
  if (ready < 0 || (watched.revents & POLLNVAL) != 0) return Readiness::Failed;
  // Readable means a datagram or a pending error (say, an unreachable port
  // reported for an earlier send). A zero-length peek tells them apart; it
  // consumes the error but never the datagram.
  char scratch = 0;
  const ssize_t peeked = ::recv(descriptor, &scratch, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
  if (peeked >= 0) return Readiness::DatagramQueued;
  return PeerUnreachable() ? Readiness::Unreachable : Readiness::Failed;
}

Reach ConnectSocket(SocketHandle socket, const SocketAddress& peer) {
  const sockaddr_in platform = ToSockaddr(peer);
  if (::connect(DescriptorOf(socket), reinterpret_cast<const sockaddr*>(&platform), sizeof platform) == 0) {
    return Reach::Delivered;
  }
  return PeerUnreachable() ? Reach::Unreachable : Reach::Failed;
}

Reach SendConnected(SocketHandle socket, const void* data, std::int32_t length) {
  if (length < 0 || (data == nullptr && length > 0)) return Reach::Failed;
  if (::send(DescriptorOf(socket), data, static_cast<size_t>(length), 0) >= 0) return Reach::Delivered;
  return PeerUnreachable() ? Reach::Unreachable : Reach::Failed;
}

std::uint32_t ParseDottedAddress(const char* text) { return ::inet_addr(text); }

bool LookUpHost(const char* name, std::uint32_t& firstAddress) {
  const hostent* host = ::gethostbyname(name);
  if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != 4 || host->h_addr_list == nullptr ||
      host->h_addr_list[0] == nullptr) {
    return false;
  }
  std::memcpy(&firstAddress, host->h_addr_list[0], sizeof firstAddress);
  return true;
}

}  // namespace quorvel::socket_platform
