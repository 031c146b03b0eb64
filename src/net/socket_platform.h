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
// The local port (host order) the socket is bound to; 0 = not bound or unknown.
std::uint16_t BoundPort(SocketHandle socket);
void CloseSocket(SocketHandle socket);
// Asks for a receive queue of `bytes`; false when the platform refused. The
// platform may grant less (or, like Linux, count its bookkeeping in).
bool RequestReceiveQueue(SocketHandle socket, std::int32_t bytes);
// The receive queue the platform granted, in bytes; -1 when unknown.
std::int32_t ReceiveQueueSize(SocketHandle socket);

// Hands one datagram to the platform; true = accepted for sending.
bool SendTo(SocketHandle socket, const void* data, std::int32_t length, const SocketAddress& destination);
// Takes one datagram without waiting: its length, or -1 when the receive
// failed (nothing queued counts as failed). A datagram longer than `size` is
// lost and gives -1. The sender goes into `sender`.
std::int32_t ReceiveFrom(SocketHandle socket, void* buffer, std::int32_t size, SocketAddress& sender);

// ---- The probe's connected socket, on which the network's word that a
// datagram cannot be delivered (an ICMP port or host unreachable, no route)
// comes back as an error.

enum class Reach { Delivered, Unreachable, Failed };
// Fixes the socket's one peer; Unreachable when there is no route to it.
Reach ConnectSocket(SocketHandle socket, const SocketAddress& peer);
// Hands one datagram to the platform for the connected peer.
Reach SendConnected(SocketHandle socket, const void* data, std::int32_t length);

enum class Readiness { DatagramQueued, TimedOut, Unreachable, Failed };
// Waits up to `timeoutMilliseconds` until a datagram (empty ones included) is
// queued, and leaves it queued. A pending socket error is consumed and gives
// Unreachable when it says the peer cannot be reached, Failed otherwise.
// (The probe's wait; the relay's watcher uses the waits below.)
Readiness WaitForDatagram(SocketHandle socket, std::int32_t timeoutMilliseconds);
// Length of the datagram at the head of the queue without taking it; -1 when
// none is queued or its length cannot be learnt. Does not wait. An error
// pending on the socket (a refusal of an earlier send) is consumed on the
// way and does not count.
std::int32_t QueuedDatagramSize(SocketHandle socket);

// ---- The readiness watcher's waits (net/readiness_watcher.cpp).

// A platform object one thread waits on: an event (Windows) or a descriptor
// plus one (Linux). 0 = none.
using WaitHandle = std::intptr_t;

// A signal between two threads, auto-reset: raising it wakes one wait, and
// the wait that sees it clears it. A raise with no waiter is kept.
WaitHandle CreateSignal();
void RaiseSignal(WaitHandle signal);
void CloseSignal(WaitHandle signal);
// Waits until the signal is raised, then clears it. No time limit.
void WaitForSignal(WaitHandle signal);

// Makes the socket waitable for WaitForSocketOrSignal and turns it
// non-blocking; the handle it returns (0 = refused) goes to Unwatch when the
// watching ends, which makes the socket blocking again.
WaitHandle WatchSocket(SocketHandle socket);
void UnwatchSocket(SocketHandle socket, WaitHandle watch);

// Without waiting: is a datagram queued (an empty one too)? An error pending
// on the socket is consumed and gives Nothing.
enum class Queued { Datagram, Nothing };
Queued PeekQueued(SocketHandle socket);

// Waits without a time limit until the socket has something queued (a
// datagram or an error) or `signal` is raised (then cleared). It returns at
// once for something already queued when the watching began or that came
// after the last receive or peek on the socket. Failed: the socket cannot be
// waited on (say, it has been closed); nothing is waited for.
enum class Wake { Socket, Signal, Failed };
Wake WaitForSocketOrSignal(SocketHandle socket, WaitHandle watch, WaitHandle signal);

// Dotted IPv4 text -> network-order address; 255.255.255.255 when it does not
// parse.
std::uint32_t ParseDottedAddress(const char* text);
// Name lookup: true and the first listed IPv4 address (network order).
bool LookUpHost(const char* name, std::uint32_t& firstAddress);

}  // namespace quorvel::socket_platform
