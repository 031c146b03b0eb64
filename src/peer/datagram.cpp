#include "peer/datagram.h"

#include <cstring>

namespace quorvel {

LoginDatagram BuildLogin(std::int32_t nameId) {
  const auto bits = static_cast<std::uint32_t>(nameId);
  return {static_cast<std::uint8_t>(DatagramType::Login), static_cast<std::uint8_t>(bits),
          static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits >> 16),
          static_cast<std::uint8_t>(bits >> 24)};
}

ReplyDatagram BuildReply(DatagramType type) { return {static_cast<std::uint8_t>(type)}; }

void WriteTextDatagram(std::uint8_t* block, const void* data, std::int32_t dataLength) {
  block[0] = static_cast<std::uint8_t>(DatagramType::Text);
  if (dataLength > 0) std::memcpy(block + 1, data, static_cast<std::size_t>(dataLength));
}

DatagramType TypeOf(std::uint8_t typeByte) { return static_cast<DatagramType>(typeByte); }

bool IsLoginCandidate(DatagramType type, std::int32_t payloadLength) {
  return type == DatagramType::Login && payloadLength == kLoginLength - 1;
}

std::int32_t ReadNameId(const std::uint8_t* payload) {
  const std::uint32_t bits = static_cast<std::uint32_t>(payload[0]) | static_cast<std::uint32_t>(payload[1]) << 8 |
                             static_cast<std::uint32_t>(payload[2]) << 16 |
                             static_cast<std::uint32_t>(payload[3]) << 24;
  return static_cast<std::int32_t>(bits);
}

}  // namespace quorvel
