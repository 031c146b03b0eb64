// Windows Sockets, used at the level of version 1.1.
#include "net/socket_platform.h"

#include <winsock2.h>

#include <cstring>
#include <memory>

namespace quorvel::socket_platform {
namespace {

// No datagram over IPv4 is longer than 65,507 bytes, so a peek into this
// many bytes always learns the whole length.
constexpr int kLargestPeek = 65536;

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

// A refusal reported for an earlier send (WSAECONNRESET on a datagram
// socket) stands before the datagrams; each look consumes one. Bounded, so
// that a socket that fails for good cannot hold a caller here.
constexpr int kMostErrorsPassed = 8;

// The head datagram's length is learnt by a peek into room for the largest
// one: FIONREAD would not do, as on Windows it counts every byte queued, not
// the first datagram's. Main thread only.
char* PeekScratch() {
  static const std::unique_ptr<char[]> scratch(new char[kLargestPeek]);
  return scratch.get();
}

HANDLE EventOf(WaitHandle handle) { return reinterpret_cast<HANDLE>(handle); }

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

std::int32_t ReceiveFrom(SocketHandle socket, void* buffer, std::int32_t size, SocketAddress& sender) {
  char none = 0;
  if (buffer == nullptr || size <= 0) {
    buffer = &none;
    size = 0;
  }
  // The platform writes the sender over what the record held before.
  sockaddr_in platform = ToSockaddr(sender);
  int length = sizeof platform;
  const int received = ::recvfrom(PlatformSocket(socket), static_cast<char*>(buffer), size, 0,
                                  reinterpret_cast<sockaddr*>(&platform), &length);
  FromSockaddr(platform, sender);
  if (received == SOCKET_ERROR) {
    TakeLastFailure();  // WSAEMSGSIZE: too long, and the datagram is gone
    return -1;
  }
  return received;
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

std::int32_t QueuedDatagramSize(SocketHandle socket) {
  // Only asked while the socket is watched, and so does not block.
  const SOCKET platform = PlatformSocket(socket);
  for (int look = 0; look < kMostErrorsPassed; ++look) {
    const int size = ::recv(platform, PeekScratch(), kLargestPeek, MSG_PEEK);
    if (size != SOCKET_ERROR) return size;
    // A refusal of an earlier send is consumed; look again.
    const Failure failure = TakeLastFailure();
    if (failure == Failure::MessageTooLong || failure == Failure::NothingQueued) return -1;
  }
  return -1;
}

WaitHandle CreateSignal() {
  const HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);  // auto-reset
  return reinterpret_cast<WaitHandle>(event);
}

void RaiseSignal(WaitHandle signal) { ::SetEvent(EventOf(signal)); }

void CloseSignal(WaitHandle signal) { ::CloseHandle(EventOf(signal)); }

void WaitForSignal(WaitHandle signal) { ::WaitForSingleObject(EventOf(signal), INFINITE); }

WaitHandle WatchSocket(SocketHandle socket) {
  const WSAEVENT event = ::WSACreateEvent();
  if (event == WSA_INVALID_EVENT) {
    TakeLastFailure();
    return 0;
  }
  // The event is set when a datagram (or an error) arrives, and again after
  // each receive or peek that leaves one queued. The socket turns
  // non-blocking.
  if (::WSAEventSelect(PlatformSocket(socket), event, FD_READ) != 0) {
    TakeLastFailure();
    ::WSACloseEvent(event);
    return 0;
  }
  return reinterpret_cast<WaitHandle>(event);
}

void UnwatchSocket(SocketHandle socket, WaitHandle watch) {
  const SOCKET platform = PlatformSocket(socket);
  // A socket closed meanwhile refuses both; nothing is left to undo then.
  if (::WSAEventSelect(platform, nullptr, 0) != 0) TakeLastFailure();
  u_long blocking = 0;
  if (::ioctlsocket(platform, FIONBIO, &blocking) != 0) TakeLastFailure();
  ::WSACloseEvent(EventOf(watch));
}

Queued PeekQueued(SocketHandle socket) {
  // A peek for no bytes: an empty datagram fits, a longer one is reported as
  // too long, and both stay queued. Any other error is consumed.
  char scratch = 0;
  if (::recv(PlatformSocket(socket), &scratch, 0, MSG_PEEK) != SOCKET_ERROR) return Queued::Datagram;
  return TakeLastFailure() == Failure::MessageTooLong ? Queued::Datagram : Queued::Nothing;
}

Wake WaitForSocketOrSignal(SocketHandle socket, WaitHandle watch, WaitHandle signal) {
  const HANDLE events[2] = {EventOf(watch), EventOf(signal)};
  switch (::WaitForMultipleObjects(2, events, FALSE, INFINITE)) {
    case WAIT_OBJECT_0: {
      // Reset the socket's event; the peek that follows re-arms it.
      WSANETWORKEVENTS happened;
      if (::WSAEnumNetworkEvents(PlatformSocket(socket), EventOf(watch), &happened) != 0) TakeLastFailure();
      return Wake::Socket;
    }
    case WAIT_OBJECT_0 + 1:
      return Wake::Signal;
    default:
      return Wake::Failed;
  }
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
