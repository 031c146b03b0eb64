#pragma once

#include <cstdint>

#include "net/udp_endpoint.h"

// The few things the transport asks of the platform's datagram sockets. One
// implementation per platform (posix/, win32/); each turns the platform's
// error codes into these results in one place, and none keeps an error code.
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

// Hands one datagram to the platform; true = accepted for sending.
bool SendTo(SocketHandle socket, const void* data, std::int32_t length, const SocketAddress& destination);
// Takes one datagram: its length, or -1 when the receive failed. A datagram
// longer than `size` is lost and gives -1. The sender goes into `sender`.
std::int32_t ReceiveFrom(SocketHandle socket, void* buffer, std::int32_t size, SocketAddress& sender);

enum class Readiness { DatagramQueued, TimedOut, Failed };
// Waits up to `timeoutMilliseconds` until a datagram (empty ones included) is
// queued, and leaves it queued. A pending socket error is consumed and gives
// Failed.
Readiness WaitForDatagram(SocketHandle socket, std::int32_t timeoutMilliseconds);
// Length of the datagram at the head of the queue without taking it; -1 when
// there is none or it cannot be learnt. Does not wait.
std::int32_t QueuedDatagramSize(SocketHandle socket);

// Dotted IPv4 text -> network-order address; 0xFFFFFFFF when it does not parse.
std::uint32_t ParseDottedAddress(const char* text);
// Name lookup: true and the first listed IPv4 address (network order).
bool LookUpHost(const char* name, std::uint32_t& firstAddress);

}  // namespace quorvel::socket_platform
