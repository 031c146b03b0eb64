#pragma once

#include <cstdint>

namespace quorvel {

struct Settings {
  std::int32_t port = 0;
  std::int32_t receiveBufferSize = 0;
  std::int32_t sendBufferSize = 0;
  std::uint8_t debugging = 0;  // debug mode exactly when this equals 1
  std::int32_t debugEntries = 0;  // top-level entries the debug log keeps; 0 or less: all
};

}  // namespace quorvel
