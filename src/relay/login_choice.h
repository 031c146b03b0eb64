#pragma once

// Which pairing a partner's Login goes to, and binding the partner to it.

#include <cstdint>

#include "relay/virtual_server_table.h"

namespace quorvel {

enum class LoginOutcome {
  Refused,          // no pairing with this name number for this address
  Filled,           // a pairing without a partner takes it
  Rebound,          // a partner that logged in before, now from another port
  AlreadyLoggedIn,  // the same source again
};

struct LoginChoice {
  LoginOutcome outcome;
  VirtualServer* entry;  // null when refused
};

// The pairing for a Login of `nameId` from `from`, over `entries` in table
// order. The very same source is already logged in. Otherwise the first
// pairing with this name number and partner address that has no partner yet
// takes it; when none is free, the one whose partner logged in longest ago
// is rebound, so that pairings alike are taken over in the order they were
// filled (a partner that restarted logs in from a new port).
template <typename Entries>
LoginChoice ChooseLoginPairing(Entries& entries, std::int32_t nameId, const PeerAddress& from) {
  VirtualServer* free = nullptr;
  VirtualServer* oldest = nullptr;
  for (VirtualServer& entry : entries) {
    if (entry.loginSource == from) return {LoginOutcome::AlreadyLoggedIn, &entry};
    if (entry.partnerAddress != from.peerIp || entry.nameId != nameId) continue;
    if (entry.loginSource == PeerAddress{}) {
      if (free == nullptr) free = &entry;
    } else if (oldest == nullptr || entry.loginOrder < oldest->loginOrder) {
      oldest = &entry;
    }
  }
  if (free != nullptr) return {LoginOutcome::Filled, free};
  if (oldest != nullptr) return {LoginOutcome::Rebound, oldest};
  return {LoginOutcome::Refused, nullptr};
}

// Makes `from` the entry's partner source. `logins` counts the logins the
// relay has accepted; the entry keeps its place in that count.
inline void BindPartner(VirtualServer& entry, const PeerAddress& from, std::uint64_t& logins) {
  entry.loginSource = from;
  entry.loginOrder = ++logins;
}

}  // namespace quorvel
