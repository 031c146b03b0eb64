#pragma once

// Multi-byte numbers as they stand in memory: network order (most
// significant byte first) for ports and addresses, little-endian for the
// numbers in datagrams and client records; without platform headers.

#include <array>
#include <cstdint>
#include <cstring>

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

// The four parts of a network-order IPv4 address, first part first, as
// "%d.%d.%d.%d" shows them.
inline std::array<int, 4> AddressParts(std::uint32_t address) {
  unsigned char bytes[4];
  std::memcpy(bytes, &address, sizeof bytes);
  return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

inline std::int32_t ReadLittleEndian32(const std::uint8_t* bytes) {
  const std::uint32_t value = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                              (static_cast<std::uint32_t>(bytes[2]) << 16) |
                              (static_cast<std::uint32_t>(bytes[3]) << 24);
  return static_cast<std::int32_t>(value);
}

inline void WriteLittleEndian32(std::uint8_t* bytes, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

}  // namespace quorvel
