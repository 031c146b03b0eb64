#pragma once

#include <cstdint>

#include "ui/debug_log.h"

namespace quorvel {

// Lines of the peer protocol that carry a number or an address. Callers test
// the debugging setting first.
void AppendNumberLine(DebugLog& log, const char* format, long number);
// `address` is an IPv4 address in network order; its first byte is shown first.
void AppendAddressLine(DebugLog& log, const char* format, std::uint32_t address);

}  // namespace quorvel
