// The virtual servers in table order, with the table's one cursor.

#include "relay/virtual_server_table.h"

#include <new>

namespace quorvel {

namespace {

bool IsLoggedIn(const VirtualServer& entry) { return entry.loginSource != PeerAddress{}; }

}  // namespace

VirtualServerTable::~VirtualServerTable() {
  VirtualServer* entry = head_;
  while (entry != nullptr) {
    VirtualServer* next = entry->next;
    delete entry;
    entry = next;
  }
}

void VirtualServerTable::ResetCursor() { cursor_ = nullptr; }

VirtualServer* VirtualServerTable::NextVirtualServer() {
  VirtualServer* following = cursor_ == nullptr ? head_ : cursor_->next;
  if (following == nullptr) return nullptr;  // the cursor stays where it is
  cursor_ = following;
  return cursor_;
}

VirtualServer* VirtualServerTable::AddVirtualServer() {
  auto* entry = new (std::nothrow) VirtualServer();
  if (entry == nullptr) return nullptr;
  if (cursor_ == nullptr) {
    entry->next = head_;
    head_ = entry;
  } else {
    entry->next = cursor_->next;
    cursor_->next = entry;
  }
  cursor_ = entry;
  return entry;
}

void VirtualServerTable::MakeCurrent(VirtualServer* entry) { cursor_ = entry; }

VirtualServer* VirtualServerTable::FindByClientProcess(ProcessHandle process) {
  ResetCursor();
  while (VirtualServer* entry = NextVirtualServer()) {
    if (entry->clientProcess == process) return entry;
  }
  return nullptr;
}

VirtualServer* VirtualServerTable::FindByLoginSource(const PeerAddress& source) {
  ResetCursor();
  while (VirtualServer* entry = NextVirtualServer()) {
    if (entry->loginSource == source) return entry;
  }
  return nullptr;
}

VirtualServer* VirtualServerTable::FindLoginCandidate(std::int32_t nameId, std::uint32_t address) {
  ResetCursor();
  while (VirtualServer* entry = NextVirtualServer()) {
    if (entry->partnerAddress == address && entry->nameId == nameId && !IsLoggedIn(*entry)) return entry;
  }
  return nullptr;
}

}  // namespace quorvel
