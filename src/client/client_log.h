#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "core/relay.h"
#include "peer/peer_log.h"

namespace quorvel {

// Small helpers for the client link's debug lines. Callers test
// relay.Debugging() first.

// Client bytes shown as text: up to their first zero byte, at most `length`.
inline void AppendTextLine(Relay& relay, const std::uint8_t* bytes, std::int32_t length) {
  const char* text = reinterpret_cast<const char*>(bytes);
  std::size_t shown = 0;
  if (length > 0) {
    const void* zero = std::memchr(text, 0, static_cast<std::size_t>(length));
    shown = zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - text)
                            : static_cast<std::size_t>(length);
  }
  relay.log.AppendLine(std::string(text, shown).c_str());
}

}  // namespace quorvel
