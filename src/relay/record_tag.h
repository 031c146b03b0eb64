#pragma once

// The record tag: the bytes a client may place just before a record to name
// the process that holds it, and the relay's check that a registered process
// vouches for a record that way.

#include <cstdint>

#include "base/handles.h"
#include "relay/client_platform.h"

namespace quorvel {

// Whether the QV_RECORD_TAG_SIZE bytes at `tag` are a record tag naming
// `processId`.
bool TagNamesProcess(const std::uint8_t* tag, std::uint32_t processId);

// Whether `process` (whose id is `processId`) holds, directly before the
// record at `address`, the tag naming itself. Such a process holds the record
// for certain; one without it may only happen to have readable memory there.
bool ProcessTaggedRecord(ClientPlatform& clients, ProcessHandle process, std::uint32_t processId,
                         std::uintptr_t address);

}  // namespace quorvel
