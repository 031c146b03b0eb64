// Windows Sockets, used at the level of version 1.1.
#include "net/socket_platform.h"
#include "net/socket_probing.h"

#include <winsock2.h>

#include <cstring>

namespace quorvel::socket_platform {
namespace {

SOCKET PlatformSocket(SocketHandle socket) { return static_cast<SOCKET>(socket); }

sockaddr_in ToSockaddr(const SocketAddress& address) {
  sockaddr_in platform{};
  platform.sin_family = static_cast<short>(address.sin_family);
  platform.sin_port = address.sin_port;
  platform.sin_addr.s_addr = address.sin_addr;
  return platform;
}

void FromSockaddr(const sockaddr_in& platform, SocketAddress& address) {
  address.sin_family = static_cast<std::uint16_t>(platform.sin_family);
  address.sin_port = platform.sin_port;
  address.sin_addr = platform.sin_addr.s_addr;
}

enum class Failure { MessageTooLong, NothingQueued, Unreachable, Other };

// The one place where the thread's error code is read. It is reset at once,
// so that no later call finds a stale code.
Failure TakeLastFailure() {
  const int code = ::WSAGetLastError();
  ::WSASetLastError(0);
  switch (code) {
    case WSAEMSGSIZE:
      return Failure::MessageTooLong;
    case WSAEWOULDBLOCK:
      return Failure::NothingQueued;
    // A datagram socket learns of an ICMP port unreachable as a reset.
    case WSAECONNRESET:
    case WSAECONNREFUSED:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAENETRESET:
      return Failure::Unreachable;
    default:
      return Failure::Other;
  }
}

// true when a datagram or an error is waiting; waits at most `milliseconds`.
int SelectReadable(SOCKET socket, std::int32_t milliseconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval timeout{};
  timeout.tv_sec = milliseconds / 1000;
  timeout.tv_usec = (milliseconds % 1000) * 1000;
  return ::select(0, &readable, nullptr, nullptr, &timeout);
}

WSADATA socketLibraryData;

}  // namespace

std::int32_t StartSocketLibrary() { return ::WSAStartup(0x0101, &socketLibraryData); }

void StopSocketLibrary() {
  if (::WSAIsBlocking()) ::WSACancelBlockingCall();
  ::WSACleanup();
}

SocketHandle OpenDatagramSocket() {
  const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (socket == INVALID_SOCKET) {
    TakeLastFailure();
    return 0;
  }
  return static_cast<SocketHandle>(socket);
}

bool BindSocket(SocketHandle socket, const SocketAddress& local) {
  const sockaddr_in platform = ToSockaddr(local);
  if (::bind(PlatformSocket(socket), reinterpret_cast<const sockaddr*>(&platform), sizeof platform) == 0) {
    return true;
  }
  TakeLastFailure();
  return false;
}

std::uint16_t BoundPort(SocketHandle socket) {
  sockaddr_in platform{};
  int length = sizeof platform;
  if (::getsockname(PlatformSocket(socket), reinterpret_cast<sockaddr*>(&platform), &length) != 0) {
    TakeLastFailure();
    return 0;
  }
  return ::ntohs(platform.sin_port);
}

void CloseSocket(SocketHandle socket) {
  if (::closesocket(PlatformSocket(socket)) != 0) TakeLastFailure();
}

bool RequestReceiveQueue(SocketHandle socket, std::int32_t bytes) {
  const int value = bytes;
  if (::setsockopt(PlatformSocket(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&value),
                   sizeof value) == 0) {
    return true;
  }
  TakeLastFailure();
  return false;
}

std::int32_t ReceiveQueueSize(SocketHandle socket) {
  int value = 0;
  int length = sizeof value;
  if (::getsockopt(PlatformSocket(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&value), &length) != 0) {
    TakeLastFailure();
    return -1;
  }
  return value;
}

bool SendTo(SocketHandle socket, const void* data, std::int32_t length, const SocketAddress& destination) {
  if (length < 0 || (data == nullptr && length > 0)) return false;
  const sockaddr_in platform = ToSockaddr(destination);
  if (::sendto(PlatformSocket(socket), static_cast<const char*>(data), length, 0,
               reinterpret_cast<const sockaddr*>(&platform), sizeof platform) != SOCKET_ERROR) {
    return true;
  }
  TakeLastFailure();
  return false;
}

WaitHandle WatchForDatagrams(SocketHandle socket, WaitHandle shared) {
  // Auto-reset: the wait that sees it set clears it, so no further call is
  // needed. Set when a datagram arrives, and again after each receive that
  // leaves one queued; the socket turns non-blocking.
  HANDLE event = shared != 0 ? reinterpret_cast<HANDLE>(shared) : ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (event == nullptr) return 0;
  if (::WSAEventSelect(PlatformSocket(socket), event, FD_READ) != 0) {
    TakeLastFailure();
    if (shared == 0) ::CloseHandle(event);
    return 0;
  }
  return reinterpret_cast<WaitHandle>(event);
}

std::int32_t ReceiveFrom(SocketHandle socket, void* buffer, std::int32_t size, SocketAddress& sender) {
  char none = 0;
  if (buffer == nullptr || size <= 0) {
    buffer = &none;
    size = 0;
  }
  sockaddr_in platform{};
  int length = sizeof platform;
  const int received = ::recvfrom(PlatformSocket(socket), static_cast<char*>(buffer), size, 0,
                                  reinterpret_cast<sockaddr*>(&platform), &length);
  FromSockaddr(platform, sender);
  if (received != SOCKET_ERROR) return received;
  switch (TakeLastFailure()) {
    case Failure::MessageTooLong:  // too long, and the datagram is gone
      return kReceiveFailed;
    case Failure::Unreachable:  // a refusal of an earlier send, consumed
      return kPortClosed;
    default:
      return kNothingQueued;
  }
}

Readiness WaitForDatagram(SocketHandle socket, std::int32_t timeoutMilliseconds) {
  const SOCKET platform = PlatformSocket(socket);
  const int ready = SelectReadable(platform, timeoutMilliseconds);
  if (ready == 0) return Readiness::TimedOut;
  if (ready == SOCKET_ERROR) {
    TakeLastFailure();
    return Readiness::Failed;
  }
  // Readable means a datagram or a pending error (an unreachable port from
  // an earlier send). A peek for no bytes tells them apart: an empty datagram
  // fits, a longer one is reported as too long, and both stay queued.
  char scratch = 0;
  if (::recv(platform, &scratch, 0, MSG_PEEK) != SOCKET_ERROR) return Readiness::DatagramQueued;
  switch (TakeLastFailure()) {
    case Failure::MessageTooLong:
      return Readiness::DatagramQueued;
    case Failure::Unreachable:
      return Readiness::Unreachable;
    default:
      return Readiness::Failed;
  }
}

Reach ConnectSocket(SocketHandle socket, const SocketAddress& peer) {
  const sockaddr_in platform = ToSockaddr(peer);
  if (::connect(PlatformSocket(socket), reinterpret_cast<const sockaddr*>(&platform), sizeof platform) == 0) {
    return Reach::Delivered;
  }
  return TakeLastFailure() == Failure::Unreachable ? Reach::Unreachable : Reach::Failed;
}

Reach SendConnected(SocketHandle socket, const void* data, std::int32_t length) {
  if (length < 0 || (data == nullptr && length > 0)) return Reach::Failed;
  if (::send(PlatformSocket(socket), static_cast<const char*>(data), length, 0) != SOCKET_ERROR) {
    return Reach::Delivered;
  }
  return TakeLastFailure() == Failure::Unreachable ? Reach::Unreachable : Reach::Failed;
}

std::uint32_t ParseDottedAddress(const char* text) { return static_cast<std::uint32_t>(::inet_addr(text)); }

bool LookUpHost(const char* name, std::uint32_t& firstAddress) {
  const hostent* host = ::gethostbyname(name);
  if (host == nullptr) {
    TakeLastFailure();
    return false;
  }
  if (host->h_addrtype != AF_INET || host->h_length != 4 || host->h_addr_list == nullptr ||
      host->h_addr_list[0] == nullptr) {
    return false;
  }
  std::memcpy(&firstAddress, host->h_addr_list[0], sizeof firstAddress);
  return true;
}

}  // namespace quorvel::socket_platform
