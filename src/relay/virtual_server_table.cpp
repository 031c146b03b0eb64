// The virtual servers in table order.

#include "relay/virtual_server_table.h"

#include <new>

namespace quorvel {

VirtualServerTable::~VirtualServerTable() {
  VirtualServer* entry = head_;
  while (entry != nullptr) {
    VirtualServer* next = entry->next;
    delete entry;
    entry = next;
  }
}

VirtualServer* VirtualServerTable::AddVirtualServer() {
  auto* entry = new (std::nothrow) VirtualServer();
  if (entry == nullptr) return nullptr;
  if (lastTouched_ == nullptr) {
    entry->next = head_;
    head_ = entry;
  } else {
    entry->next = lastTouched_->next;
    lastTouched_->next = entry;
  }
  lastTouched_ = entry;
  return entry;
}

VirtualServer* VirtualServerTable::FindByLoginSource(const PeerAddress& source) {
  return FindFirst([&source](const VirtualServer& entry) { return entry.loginSource == source; });
}

}  // namespace quorvel
