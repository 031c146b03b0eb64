#pragma once

// The relays' wire format: every datagram starts with one type byte; only
// Login and Text carry bytes after it. Codes 8 to 255 mean nothing.

#include <array>
#include <cstdint>
#include <cstring>

#include "base/byte_order.h"

namespace quorvel {

enum class DatagramType : std::uint8_t {
  Logout = 0,
  Login = 1,
  LoginOk = 2,
  LoginFailed = 3,
  AlreadyLoggedIn = 4,
  Ping = 5,
  Alive = 6,
  Text = 7,
};

// A Login is the type byte and the sender's name number, little-endian.
inline constexpr std::int32_t kLoginLength = 5;
// Every reply is the type byte alone.
inline constexpr std::int32_t kReplyLength = 1;

using LoginDatagram = std::array<std::uint8_t, kLoginLength>;
using ReplyDatagram = std::array<std::uint8_t, kReplyLength>;

inline LoginDatagram BuildLogin(std::int32_t nameId) {
  LoginDatagram login{static_cast<std::uint8_t>(DatagramType::Login)};
  WriteLittleEndian32(login.data() + 1, nameId);
  return login;
}

inline ReplyDatagram BuildReply(DatagramType type) { return {static_cast<std::uint8_t>(type)}; }

// A Text is the type byte followed by the client's bytes exactly as given:
// no terminator, no length. The block must hold TextDatagramLength(length)
// bytes.
constexpr std::int32_t TextDatagramLength(std::int32_t dataLength) { return dataLength + 1; }
inline void WriteTextDatagram(std::uint8_t* block, const void* data, std::int32_t dataLength) {
  block[0] = static_cast<std::uint8_t>(DatagramType::Text);
  if (dataLength > 0) std::memcpy(block + 1, data, static_cast<std::size_t>(dataLength));
}

// Reading: only the type byte counts, except that a login must be exactly
// kLoginLength bytes long to be considered at all.
inline DatagramType TypeOf(std::uint8_t typeByte) { return static_cast<DatagramType>(typeByte); }
inline bool IsLoginCandidate(DatagramType type, std::int32_t payloadLength) {
  return type == DatagramType::Login && payloadLength == kLoginLength - 1;
}
// The name number in the 4 payload bytes of a Login.
inline std::int32_t ReadNameId(const std::uint8_t* payload) { return ReadLittleEndian32(payload); }

}  // namespace quorvel
