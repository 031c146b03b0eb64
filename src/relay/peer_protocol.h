#pragma once

// The peer protocol: the datagrams partners' relays send this one (logins,
// replies, texts) and the texts this relay sends them for its clients.

#include <cstdint>
#include <span>

#include "net/udp_transport.h"

namespace quorvel {

class LogEvent;
struct Relay;
struct VirtualServer;

// The most datagrams one turn of the main loop takes before it looks for a
// window event again, so that a flood of datagrams cannot starve the clients.
inline constexpr std::int32_t kDatagramsPerTurn = 64;

// Takes and handles the datagrams waiting on the server endpoint, at most
// kDatagramsPerTurn of them; never waits. Each is taken whole into the
// intake, and the receive buffer grows for it before it is copied there.
// True when it stopped at the limit, so that more may be waiting.
bool ReceiveLoop(Relay& relay);

// Hands a datagram (at least 1 byte, in the receive buffer) from `from` to
// its handler: the partner logged in from that sender gets it, otherwise it
// is taken as a login.
void DispatchDatagram(Relay& relay, std::span<const std::uint8_t> datagram, const PeerAddress& from);

// Handles a datagram (at least its type byte) whose sender is no entry's
// login source. A 5-byte Login whose name number and source address fit a
// configured entry without a logged-in partner registers the sender and is
// answered LoginOk through the entry's partner endpoint. Everything else is
// refused: answered LoginFailed to its sender through the server endpoint,
// except a LoginFailed, which is never answered, so that two relays cannot
// bounce refusals.
void AcceptLogin(Relay& relay, std::span<const std::uint8_t> datagram, const PeerAddress& from);

// Reacts to a datagram (at least its type byte) from the logged-in partner
// of `entry`, logging into the datagram's `event`. A repeated Login is
// answered AlreadyLoggedIn and a Ping Alive, both through the entry's
// partner endpoint; a Text is handed to the entry's client window, after
// the event has ended; everything else is only described in the log.
void HandlePeerDatagram(Relay& relay, std::span<const std::uint8_t> datagram, VirtualServer& entry,
                        LogEvent& event);

// Takes what came to the pairings' own sockets: the partners' refusals of
// what a pairing sent, and the word that a partner's port is closed.
void ReceiveOnPairings(Relay& relay);

// Sends `length` bytes (0 or more) of the client of `sender` as one Text
// datagram through its partner endpoint, or lets them wait while texts wait
// before them (pairing_delivery.h). A send that fails, or a datagram for
// which no memory can be had, is simply not sent.
void SendClientData(Relay& relay, VirtualServer& sender, const std::uint8_t* data, std::int32_t length);

}  // namespace quorvel
