#pragma once

// The relay's reading of the command records clients hand over; their
// layout is defined once, in the wire header the client SDK shares.

#include <cstdint>
#include <cstring>

#include "base/byte_order.h"
#include "base/handles.h"
#include "quorvel_wire.h"

namespace quorvel {

enum class CommandCode : std::int8_t {
  CreateVirtualServer = QV_CODE_CREATE,
  SendText = QV_CODE_TEXT,
  SendLogin = QV_CODE_LOGIN,
  Quit = QV_CODE_QUIT,
  Reports = QV_CODE_REPORTS,
};

namespace record_layout {

inline constexpr std::int32_t kNameIdOffset = QV_CREATE_NAME_OFFSET;
inline constexpr std::int32_t kClientWindowOffset = QV_CREATE_WINDOW_OFFSET;
inline constexpr std::int32_t kHostOffset = QV_CREATE_HOST_OFFSET;
inline constexpr std::int32_t kTextOffset = QV_TEXT_OFFSET;
// A create record needs at least the host text's zero byte.
inline constexpr std::int32_t kShortestCreateRecord = kHostOffset + 1;
// The longest record that can do anything: a text record whose text fills
// one datagram. A create record's host text is far shorter.
inline constexpr std::int32_t kLongestUsefulRecord = kTextOffset + QV_LONGEST_TEXT;

}  // namespace record_layout

inline CommandCode ReadCommandCode(const std::uint8_t* record) {
  return static_cast<CommandCode>(static_cast<std::int8_t>(record[0]));
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
  if (length < record_layout::kShortestCreateRecord) return CreateRecordCheck::TooShort;
  const void* end = std::memchr(record + record_layout::kHostOffset, 0,
                                static_cast<std::size_t>(length - record_layout::kHostOffset));
  return end == nullptr ? CreateRecordCheck::HostNotEnded : CreateRecordCheck::Sound;
}

// Whether the record is a create command long enough to name its window.
inline bool NamesClientWindow(const std::uint8_t* record, std::int32_t length) {
  return length >= record_layout::kHostOffset && ReadCommandCode(record) == CommandCode::CreateVirtualServer;
}

// The window a create record names: its 32-bit handle, sign-extended.
inline WindowHandle ReadClientWindow(const std::uint8_t* record) {
  return static_cast<WindowHandle>(ReadLittleEndian32(record + record_layout::kClientWindowOffset));
}

// What a reports record says; a shorter record says nothing.
struct ReportsFields {
  bool on;
  std::uint32_t lastTextNumber;  // the client's count of the texts it handed over
};

inline bool IsReportsRecord(std::int32_t length) {
  return length >= static_cast<std::int32_t>(QV_REPORTS_RECORD_LENGTH);
}

inline ReportsFields ReadReportsRecord(const std::uint8_t* record) {
  return {record[QV_REPORTS_ON_OFFSET] != 0,
          static_cast<std::uint32_t>(ReadLittleEndian32(record + QV_REPORTS_NUMBER_OFFSET))};
}

inline CreateVirtualServerFields ReadCreateRecord(const std::uint8_t* record) {
  const char* host = reinterpret_cast<const char*>(record + record_layout::kHostOffset);
  return {ReadLittleEndian32(record + record_layout::kNameIdOffset), ReadClientWindow(record), host,
          static_cast<std::int32_t>(std::strlen(host))};
}

}  // namespace quorvel
