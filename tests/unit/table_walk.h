#pragma once

// Looking into the virtual server table from a test. Both walk it as any
// lookup does, so the entry they stop at is the last touched afterwards.

#include <vector>

#include "relay/virtual_server_table.h"

namespace quorvel::testing {

// The client processes of the entries in table order; the last entry is the
// last touched afterwards.
inline std::vector<ProcessHandle> TableOrder(VirtualServerTable& table) {
  std::vector<ProcessHandle> order;
  table.FindFirst([&order](const VirtualServer& entry) {
    order.push_back(entry.clientProcess);
    return false;
  });
  return order;
}

// The first entry of `process`, or null.
inline VirtualServer* EntryOf(VirtualServerTable& table, ProcessHandle process) {
  return table.FindFirst([process](const VirtualServer& entry) { return entry.clientProcess == process; });
}

}  // namespace quorvel::testing
