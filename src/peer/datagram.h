#pragma once

#include <array>
#include <cstdint>

namespace quorvel {

// The relays' wire format: every datagram starts with one type byte; only
// Login and Text carry bytes after it. Codes 8 to 255 mean nothing.
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

LoginDatagram BuildLogin(std::int32_t nameId);
ReplyDatagram BuildReply(DatagramType type);

// A Text is the type byte followed by the client's bytes exactly as given:
// no terminator, no length. The block must hold TextDatagramLength(length)
// bytes.
constexpr std::int32_t TextDatagramLength(std::int32_t dataLength) { return dataLength + 1; }
void WriteTextDatagram(std::uint8_t* block, const void* data, std::int32_t dataLength);

// Reading: only the type byte counts, except that a login must be exactly
// kLoginLength bytes long to be considered at all.
DatagramType TypeOf(std::uint8_t typeByte);
bool IsLoginCandidate(DatagramType type, std::int32_t payloadLength);
// The name number in the 4 payload bytes of a Login.
std::int32_t ReadNameId(const std::uint8_t* payload);

}  // namespace quorvel
