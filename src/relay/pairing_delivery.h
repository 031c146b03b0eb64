#pragma once

// A pairing's texts toward a partner that comes and goes: sent at once or
// kept waiting in their order, sent once more after a refusal, and sent
// when the partner logs in again. Every datagram a pairing sends goes
// through here, so that the partner's refusals can be matched to them.

#include <cstdint>
#include <span>

namespace quorvel {

struct Relay;
struct VirtualServer;

// The relay's steady clock in milliseconds; only differences count.
std::int64_t SteadyMilliseconds();

// Takes what came to the pairing's own socket: a LoginFailed from the
// partner's address (TakeRefusal) and the word that the partner's port is
// closed (TakePortClosed); nothing else there means anything. Some
// platforms (Wine) do not wake the wait for that word, so it is also looked
// for before a text is sent and when the partner logs in.
void ReceiveOnPairing(Relay& relay, VirtualServer& entry);

// Sends a Login or a reply from the pairing's socket.
void SendFromPairing(VirtualServer& entry, std::span<const std::uint8_t> datagram, std::int64_t nowMs);
// Sends the pairing's own Login from its socket.
void LogInToPartner(VirtualServer& entry, std::int64_t nowMs);

enum class TextFate {
  Sent,
  Waiting,   // put last in the outbox
  NoMemory,  // no memory for its datagram: not sent
};

// A text of the pairing's client (its next number in the client's count):
// sent as a Text datagram, or put last in the outbox while that holds
// texts, so that the order is kept.
TextFate DeliverText(Relay& relay, VirtualServer& entry, std::span<const std::uint8_t> text, std::int64_t nowMs);

// The partner refused a datagram of this pairing (a LoginFailed on its
// socket). A text refused for the first time, while nothing waits, is sent
// once more after a Login; a text refused again waits in the outbox. Only
// what concerns a text is logged, as an event of its own.
void TakeRefusal(Relay& relay, VirtualServer& entry, std::int64_t nowMs);

// The partner's port is closed: the texts sent lately wait in the outbox.
// Logged as an event of its own.
void TakePortClosed(Relay& relay, VirtualServer& entry, std::int64_t nowMs);

// The partner has logged in (for the first time, or `anew` from another
// port). A pairing whose client had logged in logs in back when the partner
// came anew, and before it sends what waited; then the waiting texts go, in
// their order, and their clients hear that they were sent later.
void ResumeWithPartner(Relay& relay, VirtualServer& entry, bool anew, std::int64_t nowMs);

// The pairing's partner changes: the texts waiting for the earlier one are
// dropped, and their clients told.
void ForgetWaitingTexts(Relay& relay, VirtualServer& entry);

// At the end of the relay: the log says how many texts were still waiting,
// lost with the relay's memory.
void LogTextsLostAtEnd(Relay& relay);

}  // namespace quorvel
