#pragma once

#include <cstdint>
#include <cstring>

// Network byte order without platform headers: the most significant byte
// comes first in memory, whatever the processor's own order.
namespace quorvel {

inline std::uint16_t PortToNetworkOrder(std::uint16_t port) {
  const unsigned char bytes[2] = {static_cast<unsigned char>(port >> 8), static_cast<unsigned char>(port)};
  std::uint16_t stored;
  std::memcpy(&stored, bytes, sizeof stored);
  return stored;
}

inline std::uint16_t PortFromNetworkOrder(std::uint16_t stored) {
  unsigned char bytes[2];
  std::memcpy(bytes, &stored, sizeof stored);
  return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

// The IPv4 address a.b.c.d as a network-order 32-bit value.
inline std::uint32_t Ipv4Address(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
  const unsigned char bytes[4] = {a, b, c, d};
  std::uint32_t stored;
  std::memcpy(&stored, bytes, sizeof stored);
  return stored;
}

}  // namespace quorvel
