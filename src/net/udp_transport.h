#pragma once

#include <chrono>
#include <cstdint>

#include "net/udp_endpoint.h"

namespace quorvel {

// Starts the sockets library; 1 = ready, 0 = failed.
int StartNetwork();
void StopNetwork();

// Dotted IPv4 or host name -> IPv4 in network order; 0xFFFFFFFF when it
// cannot be resolved. Only the first address of a name counts.
std::uint32_t ResolveHost(const char* host);

// Binds a socket to `port` (low 16 bits) on every local IPv4 address.
// Returns the socket, or 0 (and socketHandle stays 0).
SocketHandle OpenServerEndpoint(UdpEndpoint& endpoint, std::int32_t port);
// A send-only socket toward (ResolveHost(host), port); never bound.
SocketHandle OpenClientEndpoint(UdpEndpoint& endpoint, const char* host, std::int32_t port);
void CloseEndpoint(UdpEndpoint& endpoint);

// -1 = handed to the platform (whatever it made of it); 0 = network not started.
std::int32_t SendDatagram(UdpEndpoint& endpoint, const void* data, std::int32_t length);
// As SendDatagram, to `peer`; the endpoint keeps that destination afterwards.
std::int32_t SendDatagramTo(UdpEndpoint& endpoint, const PeerAddress& peer, const void* data,
                            std::int32_t length);

// Length of the datagram the watcher has flagged (0 for an empty one), or -1
// when nothing is flagged or the size cannot be learnt. Takes nothing.
std::int32_t FlaggedDatagramSize(UdpEndpoint& endpoint);
// Takes the flagged datagram: its length; 0 = nothing taken (or an empty
// datagram); -1 = the receive failed (a datagram longer than the buffer is
// lost). Hands the socket back to the watcher.
std::int32_t ReceiveDatagram(UdpEndpoint& endpoint, void* buffer, std::int32_t size);

// The receive loop's pause: waits at most `limit` for the watcher to flag a
// datagram, so that one arriving during the pause is taken at once instead
// of a whole pause later. Without a watcher it simply sleeps.
void PauseUntilFlagged(UdpEndpoint& endpoint, std::chrono::milliseconds limit);

std::uint32_t EndpointAddress(const UdpEndpoint& endpoint);
void GetPeerAddress(const UdpEndpoint& endpoint, PeerAddress& peer);

// The readiness watcher: a thread that raises dataReady when a datagram is
// waiting on the endpoint's socket. Returns a non-zero handle (the one
// already recorded, if any); 0 = network not started or no thread.
std::uintptr_t StartWatcher(UdpEndpoint& endpoint);
// -1 = the watcher has ended; 0 = there was none, or network not started.
std::int32_t StopWatcher(UdpEndpoint& endpoint);

}  // namespace quorvel
