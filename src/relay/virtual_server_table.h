#pragma once

// The virtual servers: each pairing of a local client with a partner on
// another machine, in table order with the table's one cursor.

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
  ProcessHandle clientProcess = 0;  // 0 = none: the entry was handed to another (see Retire)
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

// The ordered list of virtual servers with its one cursor. Lookups scan from
// the head, return the first match and leave the cursor on it (or on the last
// entry when nothing matches). Entries live as long as the table.
class VirtualServerTable {
 public:
  VirtualServerTable() = default;
  ~VirtualServerTable();
  VirtualServerTable(const VirtualServerTable&) = delete;
  VirtualServerTable& operator=(const VirtualServerTable&) = delete;

  void ResetCursor();
  VirtualServer* NextVirtualServer();
  // Inserts a zero-filled entry after the cursor entry (at the head when the
  // cursor is none) and makes it current. Null, with nothing changed, when
  // memory for it cannot be had.
  VirtualServer* AddVirtualServer();
  void MakeCurrent(VirtualServer* entry);
  VirtualServer* CurrentVirtualServer() const { return cursor_; }

  VirtualServer* FindByClientProcess(ProcessHandle process);
  VirtualServer* FindByLoginSource(const PeerAddress& source);
  VirtualServer* FindLoginCandidate(std::int32_t nameId, std::uint32_t address);

 private:
  VirtualServer* head_ = nullptr;
  VirtualServer* cursor_ = nullptr;
};

}  // namespace quorvel
