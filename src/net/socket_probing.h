#pragma once

// What the probe and the tests ask of a datagram socket beyond what the
// relay needs: a connected socket that hears of unreachable peers, a wait
// with a time limit, and what the platform made of a socket. Implemented
// beside the relay's socket calls (posix/, win32/socket_platform.cpp).

#include <cstdint>

#include "net/socket_platform.h"

namespace quorvel::socket_platform {

// The local port (host order) the socket is bound to; 0 = not bound or unknown.
std::uint16_t BoundPort(SocketHandle socket);
// The receive queue the platform granted, in bytes; -1 when unknown.
std::int32_t ReceiveQueueSize(SocketHandle socket);

// The probe's connected socket (ConnectSocket), on which the network's word
// that a datagram cannot be delivered (an ICMP port or host unreachable, no
// route) comes back as an error.

// Hands one datagram to the platform for the connected peer.
Reach SendConnected(SocketHandle socket, const void* data, std::int32_t length);

enum class Readiness { DatagramQueued, TimedOut, Unreachable, Failed };
// Waits up to `timeoutMilliseconds` until a datagram (empty ones included) is
// queued, and leaves it queued. A pending socket error is consumed and gives
// Unreachable when it says the peer cannot be reached, Failed otherwise.
Readiness WaitForDatagram(SocketHandle socket, std::int32_t timeoutMilliseconds);

}  // namespace quorvel::socket_platform
