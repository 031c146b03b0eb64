#pragma once

// The peer protocol: the datagrams partners' relays send this one (logins,
// replies, texts) and the texts this relay sends them for its clients.

#include <cstdint>

#include "base/handles.h"

namespace quorvel {

struct Relay;
struct VirtualServer;

// The most datagrams one turn of the main loop takes before it looks for a
// window event again, so that a flood of datagrams cannot starve the clients.
inline constexpr std::int32_t kDatagramsPerTurn = 64;

// Takes and handles the datagrams waiting on the server endpoint once the
// watcher has flagged it, at most kDatagramsPerTurn of them; never waits.
// The receive buffer grows before a receive, so that a datagram is taken
// whole. When it took the last one, the socket is back with the watcher.
void ReceiveLoop(Relay& relay);

// Hands the datagram just received into the receive buffer (`length` bytes,
// at least 1; the sender is the server endpoint's address) to its handler:
// the partner logged in from that sender gets it, otherwise it is taken as a
// login.
void DispatchDatagram(Relay& relay, std::int32_t length);

// Handles a datagram whose source is no entry's login source. `bytes` are
// the datagram's bytes after its type byte, which stands directly in front
// of them; `count` is their number (0 for a 1-byte datagram). A 5-byte Login
// whose name number and source address fit a configured entry without a
// logged-in partner registers the source and is answered LoginOk through the
// entry's partner endpoint. Everything else is refused: answered LoginFailed
// to its own source through the server endpoint, except a LoginFailed,
// which is never answered, so that two relays cannot bounce refusals.
void AcceptLogin(Relay& relay, const std::uint8_t* bytes, std::int32_t count);

// Reacts to a datagram from the logged-in partner of `entry` (its source is
// the entry's login source). `datagram` starts with the type byte; `length`
// is at least 1. A repeated Login is answered AlreadyLoggedIn and a Ping
// Alive, both through the entry's partner endpoint; a Text is handed to the
// entry's client window; everything else is only described in the log.
void HandlePeerDatagram(Relay& relay, const std::uint8_t* datagram, std::int32_t length, VirtualServer& entry);

// Sends `length` bytes of a local client's data (0 or more) as one Text
// datagram through the partner endpoint of the first entry whose client
// process is `process`. Without such an entry nothing is sent and nothing is
// logged. A send that fails, or a datagram for which no memory can be had,
// is simply not sent.
void SendClientData(Relay& relay, ProcessHandle process, const std::uint8_t* data, std::int32_t length);

}  // namespace quorvel
