#include "peer/peer_log.h"

#include <cstdio>
#include <cstring>

namespace quorvel {

namespace {
// Every formatted peer line is a short fixed text with one number or address.
constexpr std::size_t kLineCapacity = 160;
}  // namespace

void AppendNumberLine(DebugLog& log, const char* format, long number) {
  char line[kLineCapacity];
  std::snprintf(line, sizeof line, format, number);
  log.AppendLine(line);
}

void AppendAddressLine(DebugLog& log, const char* format, std::uint32_t address) {
  unsigned char bytes[4];
  std::memcpy(bytes, &address, sizeof bytes);
  char line[kLineCapacity];
  std::snprintf(line, sizeof line, format, bytes[0], bytes[1], bytes[2], bytes[3]);
  log.AppendLine(line);
}

}  // namespace quorvel
