#pragma once

// The virtual servers: each pairing of a local client with a partner on
// another machine, in table order.

#include <cstdint>

#include "base/handles.h"
#include "net/udp_transport.h"
#include "relay/outbox.h"
#include "relay/sent_log.h"

namespace quorvel {

// One pairing of a local client with a partner on another machine.
struct VirtualServer {
  std::int32_t nameId = 0;
  std::uint32_t partnerAddress = 0;  // IPv4, network order; kUnresolvableAddress = not resolvable
  WindowHandle clientWindow = 0;
  ProcessHandle clientProcess = 0;  // 0 = none: its client carries on another entry
  // The id the client announced. The relay's open handle keeps the process
  // object, and so its id, from being reused while the entry holds it.
  std::uint32_t clientProcessId = 0;
  UdpEndpoint partnerEndpoint;
  PeerAddress loginSource;  // all zero = no partner logged in
  std::uint64_t loginOrder = 0;  // when the partner logged in, in the relay's count of logins
  bool configured = false;  // a create command has named the partner
  // The client asked to hear what becomes of texts that wait; texts are
  // numbered in the client's own count, which the request carries.
  bool reportsWanted = false;
  std::uint32_t lastTextNumber = 0;
  bool clientLoggedIn = false;  // the client has asked to log in on this link
  Outbox outbox;                // texts that wait for the partner
  SentLog sentLog;              // what was sent lately, for the partner's refusals

  VirtualServer* next = nullptr;  // table order
};

// The ordered list of virtual servers. Lookups scan from the head and return
// the first match. Where a lookup stops (at the match, or at the last entry
// when nothing matches) is the last entry touched, and a new entry goes
// directly behind it. Entries live as long as the table and never move, so
// a reference to one stays good across nested window messages.
class VirtualServerTable {
 public:
  VirtualServerTable() = default;
  ~VirtualServerTable();
  VirtualServerTable(const VirtualServerTable&) = delete;
  VirtualServerTable& operator=(const VirtualServerTable&) = delete;

  // Inserts a zero-filled entry behind the last entry touched (at the head
  // when none was) and makes it the last touched. Null, with nothing
  // changed, when memory for it cannot be had.
  VirtualServer* AddVirtualServer();

  // The first entry in table order for which `matches` holds, or null.
  template <typename Matches>
  VirtualServer* FindFirst(Matches matches) {
    for (VirtualServer* entry = head_; entry != nullptr; entry = entry->next) {
      lastTouched_ = entry;
      if (matches(*entry)) return entry;
    }
    return nullptr;
  }
  VirtualServer* FindByLoginSource(const PeerAddress& source);

  // Table order, for walks that look at every entry; they leave the
  // insertion point alone.
  class Iterator {
   public:
    explicit Iterator(VirtualServer* at) : at_(at) {}
    VirtualServer& operator*() const { return *at_; }
    Iterator& operator++() {
      at_ = at_->next;
      return *this;
    }
    bool operator==(const Iterator&) const = default;

   private:
    VirtualServer* at_;
  };
  Iterator begin() { return Iterator(head_); }
  Iterator end() { return Iterator(nullptr); }

 private:
  VirtualServer* head_ = nullptr;
  VirtualServer* lastTouched_ = nullptr;  // null only while the table is empty
};

}  // namespace quorvel
