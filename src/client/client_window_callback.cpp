#include "client/client_window_callback.h"

#include <cstdio>

#include "client/client_commands.h"
#include "client/client_data_buffer.h"
#include "client/client_log.h"
#include "client/command_record.h"
#include "client/window_messages.h"
#include "core/operator_texts.h"
#include "ui/window_events.h"

namespace quorvel {

namespace {

void AppendLongLongLine(Relay& relay, const char* format, long long number) {
  char line[192];
  std::snprintf(line, sizeof line, format, number);
  relay.log.AppendLine(line);
}

// ProcessIdMessage: opens the announced process for reading and gives it an
// entry of its own. 1 = registered, 0 = not.
std::uint32_t RegisterClient(Relay& relay, std::intptr_t processIdParam) {
  const auto processId = static_cast<std::uint32_t>(processIdParam);
  const ProcessHandle process = relay.clients.OpenProcessForReading(processId);
  if (process == 0) return 0;

  VirtualServer* entry = relay.table.AddVirtualServer();
  if (entry != nullptr) {
    entry->clientProcess = process;
    entry->clientProcessId = processId;
  }

  if (relay.Debugging()) {
    relay.log.AppendLine(texts::kWindowEvent);
    relay.log.OpenGroup();
    AppendNumberLine(relay.log, entry != nullptr ? texts::kClientLoginFormat : texts::kNoMemoryForClientFormat,
                     HandleNumber(process));
    relay.log.CloseGroup();
  }
  return entry != nullptr ? 1 : 0;
}

// Whether a record of this length may be read at all. A length of 0 or less
// has no command code to act on; a record longer than any useful one is not
// worth the memory. Writes the line saying why when it may not.
bool RecordLengthAcceptable(Relay& relay, std::intptr_t length) {
  if (length <= 0) {
    if (relay.Debugging()) AppendLongLongLine(relay, texts::kBadLengthFormat, length);
    return false;
  }
  if (length > command_record::kLongestUsefulRecord) {
    if (relay.Debugging()) AppendLongLongLine(relay, texts::kTooLongFormat, length);
    return false;
  }
  return true;
}

bool SuppliesRecord(Relay& relay, const VirtualServer& entry, std::uintptr_t address, std::int32_t length) {
  return relay.clients.ReadProcessMemory(entry.clientProcess, address, relay.clientDataBuffer.data(),
                                         static_cast<std::size_t>(length));
}

// Whether the record just read names a window of the entry's own process.
// A create record is the one record that says who sent it: the window it
// names belongs to its sender, and no other process is credited with it
// while that one can supply it.
bool OwnsNamedWindow(Relay& relay, const VirtualServer& entry, std::int32_t length) {
  const std::uint8_t* record = relay.clientDataBuffer.data();
  return NamesClientWindow(record, length) &&
         relay.clients.WindowProcessId(ReadClientWindow(record)) == entry.clientProcessId;
}

// Finds the sender of a record and leaves the record in the ClientDataBuffer:
// the first entry in table order whose process supplies all `length` bytes
// at `address`, except that a create record goes to the first such entry
// whose process owns the window it names, when there is one. A process
// reads a record whole or not at all, so an entry either supplies it or is
// passed over. The cursor stays on the sender's entry, or on the last entry
// when none supplied the record.
VirtualServer* FindSender(Relay& relay, std::uintptr_t address, std::int32_t length) {
  VirtualServer* first = nullptr;
  relay.table.ResetCursor();
  for (VirtualServer* entry = relay.table.NextVirtualServer(); entry != nullptr;
       entry = relay.table.NextVirtualServer()) {
    if (!SuppliesRecord(relay, *entry, address, length)) continue;
    if (OwnsNamedWindow(relay, *entry, length)) return entry;
    if (first == nullptr) {
      if (!NamesClientWindow(relay.clientDataBuffer.data(), length)) return entry;
      first = entry;
    }
  }
  // No owner among them: the first that supplied it, read once more.
  if (first == nullptr || !SuppliesRecord(relay, *first, address, length)) return nullptr;
  relay.table.MakeCurrent(first);
  return first;
}

// Hands the record to its sender's command.
std::uint32_t SenderSearch(Relay& relay, std::uintptr_t address, std::int32_t length) {
  const VirtualServer* entry = FindSender(relay, address, length);
  if (entry == nullptr) {
    if (relay.Debugging()) relay.log.AppendLine(texts::kNoSender);
    return NotHandled;
  }
  const ProcessHandle sender = entry->clientProcess;
  if (relay.Debugging()) AppendNumberLine(relay.log, texts::kSenderFormat, HandleNumber(sender));
  const CommandOutcome outcome = HandleClientCommand(relay, relay.clientDataBuffer.data(), length, sender);
  return outcome == CommandOutcome::Executed ? 1 : 0;
}

// DataMessage: copies the record at `address` out of the sending client's
// process into the ClientDataBuffer and executes it. 1 = executed; 0 = the
// record was turned away; NotHandled = no registered process supplied it.
std::uint32_t TakeClientRecord(Relay& relay, std::uintptr_t address, std::intptr_t lengthParam) {
  if (relay.Debugging()) {
    relay.log.AppendLine(texts::kWindowEvent);
    relay.log.OpenGroup();
    relay.log.AppendLine(texts::kClientMessage);
  }

  std::uint32_t result = 0;
  if (RecordLengthAcceptable(relay, lengthParam)) {
    const auto length = static_cast<std::int32_t>(lengthParam);
    if (MakeRoomForRecord(relay.clientDataBuffer, relay.settings.sendBufferSize, length)) {
      result = SenderSearch(relay, address, length);
    } else if (relay.Debugging()) {
      AppendNumberLine(relay.log, texts::kNoMemoryForRecordFormat, length);
    }
  }

  if (relay.Debugging()) relay.log.CloseGroup();
  return result;
}

}  // namespace

std::uint32_t ClientWindowCallback(Relay& relay, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam) {
  switch (message) {
    case ProcessIdMessage:
      return RegisterClient(relay, lParam);
    case DataMessage:
      return TakeClientRecord(relay, wParam, lParam);
    default:
      return NotHandled;
  }
}

}  // namespace quorvel
