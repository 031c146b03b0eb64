// The record tag and the check that a process vouches for a record with it.

#include "relay/record_tag.h"

#include "base/byte_order.h"
#include "quorvel_wire.h"

namespace quorvel {

bool TagNamesProcess(const std::uint8_t* tag, std::uint32_t processId) {
  return static_cast<std::uint32_t>(ReadLittleEndian32(tag + QV_RECORD_TAG_MARK_OFFSET)) == QV_RECORD_TAG_MARK &&
         static_cast<std::uint32_t>(ReadLittleEndian32(tag + QV_RECORD_TAG_PROCESS_OFFSET)) == processId;
}

bool ProcessTaggedRecord(ClientPlatform& clients, ProcessHandle process, std::uint32_t processId,
                         std::uintptr_t address) {
  if (address < QV_RECORD_TAG_SIZE) return false;
  std::uint8_t tag[QV_RECORD_TAG_SIZE];
  return clients.ReadClientMemory(process, address - QV_RECORD_TAG_SIZE, tag, sizeof tag) &&
         TagNamesProcess(tag, processId);
}

}  // namespace quorvel
