#pragma once

#include <cstdint>
#include <cstring>

#include "ui/window_events.h"

namespace quorvel {

// The record a client hands over with DataMessage. Byte 0 is the command
// code, read as a signed 8-bit number; multi-byte integers are
// little-endian; there are no gaps.
//
//   CreateVirtualServer  0 | nameId (4) | client window (4) | host text ... 0
//   SendText             2 | the text, every byte after the code
//   SendLogin            3
//   Quit                 4
//
// Code 1 and every other code carry nothing and do nothing.
enum class CommandCode : std::int8_t {
  CreateVirtualServer = 0,
  SendText = 2,
  SendLogin = 3,
  Quit = 4,
};

namespace command_record {

inline constexpr std::int32_t kCodeOffset = 0;
inline constexpr std::int32_t kNameIdOffset = 1;
inline constexpr std::int32_t kClientWindowOffset = 5;
inline constexpr std::int32_t kHostOffset = 9;
inline constexpr std::int32_t kTextOffset = 1;

// A create record needs at least the host text's zero byte.
inline constexpr std::int32_t kShortestCreateRecord = kHostOffset + 1;

// The largest UDP payload over IPv4. A text travels as one Text datagram,
// a type byte followed by the text, so no text can be longer than this
// minus one byte.
inline constexpr std::int32_t kLongestDatagram = 65507;
inline constexpr std::int32_t kLongestText = kLongestDatagram - 1;
// The longest record that can do anything: a SendText record whose text
// fills one datagram (the code byte plus the longest text). A create
// record's host text is far shorter than any useful text of that size.
inline constexpr std::int32_t kLongestUsefulRecord = kTextOffset + kLongestText;

}  // namespace command_record

inline CommandCode ReadCommandCode(const std::uint8_t* record) {
  return static_cast<CommandCode>(static_cast<std::int8_t>(record[command_record::kCodeOffset]));
}

inline std::int32_t ReadLittleEndian32(const std::uint8_t* bytes) {
  const std::uint32_t value = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                              (static_cast<std::uint32_t>(bytes[2]) << 16) |
                              (static_cast<std::uint32_t>(bytes[3]) << 24);
  return static_cast<std::int32_t>(value);
}

// What a create record says, read out of a record that has passed
// CheckCreateRecord.
struct CreateVirtualServerFields {
  std::int32_t nameId;
  WindowHandle clientWindow;  // the record's 32-bit handle, sign-extended
  const char* host;           // inside the record, ended by its zero byte
  std::int32_t hostLength;    // without the zero byte
};

enum class CreateRecordCheck {
  Sound,
  TooShort,      // no room for the fields and the host text's zero byte
  HostNotEnded,  // no zero byte after the host text within the record
};

inline CreateRecordCheck CheckCreateRecord(const std::uint8_t* record, std::int32_t length) {
  if (length < command_record::kShortestCreateRecord) return CreateRecordCheck::TooShort;
  const void* end = std::memchr(record + command_record::kHostOffset, 0,
                                static_cast<std::size_t>(length - command_record::kHostOffset));
  return end == nullptr ? CreateRecordCheck::HostNotEnded : CreateRecordCheck::Sound;
}

// Whether the record is a create command long enough to name its window.
inline bool NamesClientWindow(const std::uint8_t* record, std::int32_t length) {
  return length >= command_record::kHostOffset && ReadCommandCode(record) == CommandCode::CreateVirtualServer;
}

// The window a create record names: its 32-bit handle, sign-extended.
inline WindowHandle ReadClientWindow(const std::uint8_t* record) {
  return static_cast<WindowHandle>(ReadLittleEndian32(record + command_record::kClientWindowOffset));
}

inline CreateVirtualServerFields ReadCreateRecord(const std::uint8_t* record) {
  const char* host = reinterpret_cast<const char*>(record + command_record::kHostOffset);
  return {ReadLittleEndian32(record + command_record::kNameIdOffset), ReadClientWindow(record), host,
          static_cast<std::int32_t>(std::strlen(host))};
}

}  // namespace quorvel
