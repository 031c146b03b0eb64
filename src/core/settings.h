#pragma once

#include <cstdint>

namespace quorvel {

struct Settings {
  std::int32_t port = 0;
  std::int32_t receiveBufferSize = 0;
  std::int32_t sendBufferSize = 0;
  std::uint8_t debugging = 0;  // debug mode exactly when this equals 1
};

}  // namespace quorvel
