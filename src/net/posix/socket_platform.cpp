// BSD sockets. A handle is the descriptor plus one, so that 0 means "no
// socket" as it does everywhere else in the relay.
#include "net/socket_platform.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
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
// are "interrupted, just try again", "nothing there yet" and "no socket".
bool Interrupted() { return errno == EINTR; }
bool NothingQueued() { return errno == EAGAIN || errno == EWOULDBLOCK; }
bool NoSocket() { return errno == EBADF || errno == ENOTSOCK; }
bool PeerUnreachable() { return errno == ECONNREFUSED || errno == EHOSTUNREACH || errno == ENETUNREACH; }

// A refusal reported for an earlier send stands before the datagrams; each
// look consumes one. Bounded, so that a socket that fails for good cannot
// hold a caller here.
constexpr int kMostErrorsPassed = 8;

// Length of the head datagram (MSG_TRUNC: its real length, whatever the
// buffer), -1 when nothing is queued, -2 when an error was consumed instead.
ssize_t PeekLength(int descriptor) {
  char scratch = 0;
  ssize_t length;
  do {
    length = ::recv(descriptor, &scratch, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
  } while (length < 0 && Interrupted());
  if (length >= 0) return length;
  return NothingQueued() || NoSocket() ? -1 : -2;
}

int SignalDescriptor(WaitHandle signal) {
  return signal > 0 && signal - 1 <= INT32_MAX ? static_cast<int>(signal - 1) : -1;
}

void ClearSignal(int descriptor) {
  eventfd_t count = 0;
  static_cast<void>(::eventfd_read(descriptor, &count));  // EAGAIN when it was not raised: nothing to clear
}

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

std::int32_t ReceiveFrom(SocketHandle socket, void* buffer, std::int32_t size, SocketAddress& sender) {
  char none = 0;
  if (buffer == nullptr || size <= 0) {
    buffer = &none;
    size = 0;
  }
  // The platform writes the sender over what the record held before.
  sockaddr_in platform = ToSockaddr(sender);
  socklen_t length = sizeof platform;
  // MSG_TRUNC reports the datagram's real length, so a datagram that did not
  // fit is recognised; its rest is discarded by the kernel, as on Windows.
  ssize_t received;
  do {
    received = ::recvfrom(DescriptorOf(socket), buffer, static_cast<size_t>(size), MSG_TRUNC | MSG_DONTWAIT,
                          reinterpret_cast<sockaddr*>(&platform), &length);
  } while (received < 0 && Interrupted());
  FromSockaddr(platform, sender);
  if (received < 0 || received > size) return -1;
  return static_cast<std::int32_t>(received);
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

std::int32_t QueuedDatagramSize(SocketHandle socket) {
  const int descriptor = DescriptorOf(socket);
  ssize_t size = -2;
  for (int look = 0; look < kMostErrorsPassed && size == -2; ++look) size = PeekLength(descriptor);
  return size < 0 || size > INT32_MAX ? -1 : static_cast<std::int32_t>(size);
}

WaitHandle CreateSignal() {
  const int descriptor = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return descriptor < 0 ? 0 : static_cast<WaitHandle>(descriptor) + 1;
}

void RaiseSignal(WaitHandle signal) { static_cast<void>(::eventfd_write(SignalDescriptor(signal), 1)); }

void CloseSignal(WaitHandle signal) {
  const int descriptor = SignalDescriptor(signal);
  if (descriptor >= 0) ::close(descriptor);
}

void WaitForSignal(WaitHandle signal) {
  pollfd raised{SignalDescriptor(signal), POLLIN, 0};
  while (::poll(&raised, 1, -1) < 0 && Interrupted()) {
  }
  ClearSignal(raised.fd);
}

// Every wait takes the descriptor itself; there is nothing to set up, and a
// socket stays blocking (the transport's receives do not wait: MSG_DONTWAIT).
WaitHandle WatchSocket(SocketHandle socket) { return DescriptorOf(socket) >= 0 ? 1 : 0; }

void UnwatchSocket(SocketHandle, WaitHandle) {}

Queued PeekQueued(SocketHandle socket) {
  return PeekLength(DescriptorOf(socket)) >= 0 ? Queued::Datagram : Queued::Nothing;
}

Wake WaitForSocketOrSignal(SocketHandle socket, WaitHandle, WaitHandle signal) {
  pollfd watched[2] = {{DescriptorOf(socket), POLLIN, 0}, {SignalDescriptor(signal), POLLIN, 0}};
  const int ready = ::poll(watched, 2, -1);
  if (ready < 0) return Interrupted() ? Wake::Signal : Wake::Failed;
  if ((watched[1].revents & POLLIN) != 0) {
    ClearSignal(watched[1].fd);
    return Wake::Signal;
  }
  // A closed socket gives POLLNVAL at once and would do so for ever.
  if ((watched[0].revents & POLLNVAL) != 0) return Wake::Failed;
  return Wake::Socket;
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
