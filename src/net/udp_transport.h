#pragma once

#include <cstdint>

#include "net/udp_endpoint.h"

namespace quorvel {

// Starts the sockets library; 1 = ready, 0 = failed.
int StartNetwork();
void StopNetwork();

// Dotted IPv4 or host name -> IPv4 in network order; 0xFFFFFFFF when it
// cannot be resolved. Only the first address of a name counts.
std::uint32_t ResolveHost(const char* host);

// Binds a socket to `port` (low 16 bits) on every local IPv4 address and
// asks for a receive queue of kServerReceiveQueue bytes (keeping whatever
// the platform grants). Returns the socket, or 0 (and socketHandle stays 0).
SocketHandle OpenServerEndpoint(UdpEndpoint& endpoint, std::int32_t port);
// A send-only socket toward (ResolveHost(host), port); never bound.
SocketHandle OpenClientEndpoint(UdpEndpoint& endpoint, const char* host, std::int32_t port);
void CloseEndpoint(UdpEndpoint& endpoint);

// -1 = handed to the platform (whatever it made of it); 0 = network not started.
std::int32_t SendDatagram(UdpEndpoint& endpoint, const void* data, std::int32_t length);
// As SendDatagram, to `peer`; the endpoint keeps that destination afterwards.
std::int32_t SendDatagramTo(UdpEndpoint& endpoint, const PeerAddress& peer, const void* data,
                            std::int32_t length);

// The receive queue asked for on the server socket: bursts (and the time an
// error box is open) ride it out. Windows' default is far smaller.
inline constexpr std::int32_t kServerReceiveQueue = 1 << 20;

// The main thread's half of the handshake with the readiness watcher. Once
// the watcher has flagged the endpoint (dataReady 1), the socket is the main
// thread's: it takes datagrams with the two calls below, none of which
// waits, until FlaggedDatagramSize finds nothing left and hands the socket
// back.
//
// Length of the datagram at the head of the queue (0 for an empty one),
// taking nothing. When nothing is left, hands the socket back to the watcher
// and returns -1; -1 also when nothing is flagged.
std::int32_t FlaggedDatagramSize(UdpEndpoint& endpoint);
// Takes the datagram at the head of the queue: its length; 0 = nothing taken
// (nothing flagged) or an empty datagram; -1 = the receive failed (a datagram
// longer than the buffer is lost). The socket stays with the main thread.
std::int32_t ReceiveDatagram(UdpEndpoint& endpoint, void* buffer, std::int32_t size);
// Whether the main thread holds the flagged socket, so that datagrams may be
// waiting for it.
bool DatagramsFlagged(const UdpEndpoint& endpoint);
// What the watcher raises when it flags the endpoint, for the main loop's
// wait (Desktop::WaitForWork); 0 when the endpoint has no watcher.
std::intptr_t ReadinessHandle(const UdpEndpoint& endpoint);

std::uint32_t EndpointAddress(const UdpEndpoint& endpoint);
void GetPeerAddress(const UdpEndpoint& endpoint, PeerAddress& peer);

// The readiness watcher: a thread that raises dataReady (and the readiness
// handle) when a datagram is waiting on the endpoint's socket. Returns a non-zero handle (the one
// already recorded, if any); 0 = network not started or no thread.
std::uintptr_t StartWatcher(UdpEndpoint& endpoint);
// -1 = the watcher has ended; 0 = there was none, or network not started.
std::int32_t StopWatcher(UdpEndpoint& endpoint);

}  // namespace quorvel
