#pragma once

// The few things the transport asks of the platform's datagram sockets. One
// implementation per platform (posix/, win32/); each turns the platform's
// error codes into these results in one place, and none keeps an error code.

#include <cstdint>

#include "base/handles.h"

namespace quorvel {

// An IPv4 socket address with port and address in network byte order, as the
// platform's sockaddr_in holds them.
struct SocketAddress {
  std::uint16_t sin_family = 0;
  std::uint16_t sin_port = 0;  // network order
  std::uint32_t sin_addr = 0;  // network order
};

}  // namespace quorvel

namespace quorvel::socket_platform {

// Starts the sockets library: 0 = ready, otherwise the platform's reason.
std::int32_t StartSocketLibrary();
// Cancels a blocking call still in progress, then releases the library.
void StopSocketLibrary();

// A new IPv4 datagram socket in blocking mode; 0 = none.
SocketHandle OpenDatagramSocket();
// Binds to `local`; false when the platform refuses (typically: port taken).
bool BindSocket(SocketHandle socket, const SocketAddress& local);
void CloseSocket(SocketHandle socket);
// Asks for a receive queue of `bytes`; false when the platform refused. The
// platform may grant less (or, like Linux, count its bookkeeping in).
bool RequestReceiveQueue(SocketHandle socket, std::int32_t bytes);

// Hands one datagram to the platform; true = accepted for sending.
bool SendTo(SocketHandle socket, const void* data, std::int32_t length, const SocketAddress& destination);

// A platform object the main loop's one wait watches: an event (Windows) or
// a descriptor plus one (Linux). 0 = none.
using WaitHandle = std::intptr_t;
// Lets a datagram queued on `socket` end the main loop's wait, and makes the
// socket's receives return at once. On Windows the socket sets `shared`, an
// auto-reset event that any number of sockets may share (a new one when
// `shared` is 0); elsewhere the socket itself is waited on. Returns what to
// wait on; 0 when the platform refused.
WaitHandle WatchForDatagrams(SocketHandle socket, WaitHandle shared);

// Takes one datagram from a watched socket without waiting: its length,
// with its sender in `sender`; or one of the results below.
std::int32_t ReceiveFrom(SocketHandle socket, void* buffer, std::int32_t size, SocketAddress& sender);
// Nothing is queued (or the socket cannot be read at all).
inline constexpr std::int32_t kNothingQueued = -1;
// No datagram was taken, but one may be queued behind: the datagram was
// longer than `size` (and is lost), or an error reported for an earlier
// send stood before it (and is consumed).
inline constexpr std::int32_t kReceiveFailed = -2;
// No datagram was taken: the network reported that an earlier send found
// its destination port closed (an ICMP port unreachable; consumed).
inline constexpr std::int32_t kPortClosed = -3;

enum class Reach { Delivered, Unreachable, Failed };
// Fixes the socket's one peer; Unreachable when there is no route to it. The
// relay connects its pairings' sockets, so that the partner's refusals and
// the word that its port is closed reach them and nothing else does; the
// probe connects its own.
Reach ConnectSocket(SocketHandle socket, const SocketAddress& peer);

// Dotted IPv4 text -> network-order address; 255.255.255.255 when it does not
// parse.
std::uint32_t ParseDottedAddress(const char* text);
// Name lookup: true and the first listed IPv4 address (network order).
bool LookUpHost(const char* name, std::uint32_t& firstAddress);

}  // namespace quorvel::socket_platform
