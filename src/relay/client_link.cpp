// The client link: the window messages local clients send the relay, finding
// the sender of a record, and the commands the records carry.

#include "relay/client_link.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/byte_order.h"
#include "log/log_event.h"
#include "net/udp_transport.h"
#include "quorvel_wire.h"
#include "relay/client_notifications.h"
#include "relay/command_record.h"
#include "relay/datagram.h"
#include "relay/operator_texts.h"
#include "relay/pairing_delivery.h"
#include "relay/peer_protocol.h"
#include "relay/record_tag.h"
#include "relay/relay.h"

namespace quorvel {

namespace {

enum class CommandOutcome {
  Executed,    // carried out, or a code that does nothing
  TurnedAway,  // a record too malformed to act on; nothing was done
};

// ---- The create command

void ShowHostNotFound(Relay& relay, const char* host) {
  const std::string text = std::string(texts::kHostNotFoundBefore) + host + texts::kHostNotFoundAfter;
  relay.desktop.ErrorBox(texts::kErrorCaption, text.c_str());
}

void ShowNoConnection(Relay& relay, const char* host, std::int32_t port) {
  const std::string text = std::string(texts::kNoConnectionBefore) + host + texts::kNoConnectionPort +
                           std::to_string(port) + texts::kNoConnectionAfter;
  relay.desktop.ErrorBox(texts::kErrorCaption, text.c_str());
}

bool TurnAwayMalformed(Relay& relay, const std::uint8_t* record, std::int32_t length) {
  switch (CheckCreateRecord(record, length)) {
    case CreateRecordCheck::Sound:
      return false;
    case CreateRecordCheck::TooShort:
      relay.log.Line(texts::kCreateTooShortFormat, static_cast<long>(length));
      return true;
    case CreateRecordCheck::HostNotEnded:
      relay.log.Line(texts::kHostNotEnded);
      return true;
  }
  return true;
}

// Whether the client that made `entry` is gone: the window it named no
// longer exists or belongs to another process now. An entry without a
// window cannot tell, and counts as still in use.
bool ClientIsGone(Relay& relay, const VirtualServer& entry) {
  if (entry.clientProcess == 0 || entry.clientWindow == 0) return false;
  return relay.clients.WindowOwner(entry.clientWindow) != entry.clientProcessId;
}

// The first pairing with this name number and partner whose client is gone,
// so that a restarted client can carry it on.
VirtualServer* FindOrphanedPairing(Relay& relay, std::int32_t nameId, std::uint32_t partnerAddress) {
  if (partnerAddress == kUnresolvableAddress) return nullptr;
  return relay.table.FindFirst([&](const VirtualServer& entry) {
    return entry.configured && entry.nameId == nameId && entry.partnerAddress == partnerAddress &&
           ClientIsGone(relay, entry);
  });
}

// The newly registered client carries on the orphaned pairing with its
// endpoint (so its source port) and its partner's login source, which is
// what the partner's relay knows it by. The client's own entry, never
// configured, is left without a process, so nothing finds it any more; it
// stays in the table, since an open command may still hold it.
VirtualServer& TakeOver(Relay& relay, VirtualServer& orphan, VirtualServer& fresh) {
  relay.log.Line(texts::kTakeOverFormat, HandleNumber(orphan.clientProcess));
  relay.receiveBuffer.ReleaseHeld(orphan.clientWindow);  // its window is gone: nothing reads them
  orphan.clientProcess = fresh.clientProcess;
  orphan.clientProcessId = fresh.clientProcessId;
  orphan.reportsWanted = false;  // the new client asks for them itself
  fresh.clientProcess = 0;
  fresh.clientProcessId = 0;
  return orphan;
}

// Whether the entry already has an open link to exactly this partner, so
// that a repeated create keeps it and its source port.
bool LinkedTo(const VirtualServer& entry, std::int32_t nameId, std::uint32_t partnerAddress) {
  return entry.configured && entry.partnerEndpoint.socketHandle != 0 && entry.nameId == nameId &&
         entry.partnerAddress == partnerAddress && partnerAddress != kUnresolvableAddress;
}

void OpenLink(Relay& relay, VirtualServer& entry, const char* host) {
  // A create naming another partner replaces the link: the earlier socket is
  // closed rather than left open for the rest of the process.
  if (entry.partnerEndpoint.socketHandle != 0) {
    relay.log.Line(texts::kEarlierLinkClosed);
    relay.datagramWait.Unwatch(entry.partnerEndpoint);
    CloseEndpoint(entry.partnerEndpoint);
  }
  entry.clientLoggedIn = false;
  ForgetWaitingTexts(relay, entry);  // they were for the earlier partner
  if (OpenClientEndpoint(entry.partnerEndpoint, host, relay.settings.port) == 0) {
    ShowNoConnection(relay, host, relay.settings.port);
  } else {
    // Without it, the pairing only sends, as a plain relay does.
    relay.datagramWait.WatchPairing(entry.partnerEndpoint);
  }
}

// Pairs the sender's entry with the partner named in the record: stores the
// name number and the client window, resolves the host, opens the entry's
// partner endpoint toward it on the relay's own port and tells the client
// window that the link is up. An entry already linked to that same partner
// keeps its endpoint; a newly registered client naming the pairing of a
// client that is gone takes that pairing over instead. Failures are shown
// in error boxes and the command goes on.
CommandOutcome CreateVirtualServer(Relay& relay, const std::uint8_t* record, std::int32_t length,
                                   VirtualServer& sender) {
  if (TurnAwayMalformed(relay, record, length)) return CommandOutcome::TurnedAway;

  relay.log.Line(texts::kCreatesVirtualServerFormat, HandleNumber(sender.clientProcess));

  // Everything the command needs from the record is taken now. While an
  // error box or the notification waits, nested client messages may
  // overwrite the client-data buffer or move it; the command keeps its
  // entry, its own copy of the host text and the window named in its record.
  const CreateVirtualServerFields fields = ReadCreateRecord(record);
  std::unique_ptr<char[]> host(new (std::nothrow) char[static_cast<std::size_t>(fields.hostLength) + 1]);
  if (!host) {
    relay.log.Line(texts::kNoMemoryForHost);
    return CommandOutcome::TurnedAway;
  }
  std::memcpy(host.get(), fields.host, static_cast<std::size_t>(fields.hostLength) + 1);
  const WindowHandle clientWindow = fields.clientWindow;
  const std::uint32_t partnerAddress = ResolveHost(host.get());

  VirtualServer* entry = &sender;
  if (!sender.configured) {
    if (VirtualServer* orphan = FindOrphanedPairing(relay, fields.nameId, partnerAddress)) {
      entry = &TakeOver(relay, *orphan, sender);
    }
  }
  const bool keepLink = LinkedTo(*entry, fields.nameId, partnerAddress);

  entry->clientWindow = clientWindow;
  entry->nameId = fields.nameId;
  entry->partnerAddress = partnerAddress;
  entry->configured = true;
  if (partnerAddress == kUnresolvableAddress) ShowHostNotFound(relay, host.get());

  if (!keepLink) OpenLink(relay, *entry, host.get());

  NotifyLinkUp(relay, clientWindow);

  relay.log.Line(texts::kClientFound);
  relay.log.Line(texts::kClientLinkUp);
  return CommandOutcome::Executed;
}

// ---- Text, login and quit

// The message's event ends before the send's own.
void SendText(Relay& relay, const std::uint8_t* record, std::int32_t length, VirtualServer& sender,
              LogEvent& event) {
  const std::uint8_t* text = record + record_layout::kTextOffset;
  const std::int32_t textLength = length - record_layout::kTextOffset;
  relay.log.Line(texts::kTextBeingSent);
  relay.log.Line(texts::kTextFollows);
  relay.log.Text(text, textLength);
  event.End();
  SendClientData(relay, sender, text, textLength);
}

// The send's event takes the place of the message's.
void SendLogin(Relay& relay, VirtualServer& sender, LogEvent& event) {
  sender.clientLoggedIn = true;  // so the pairing logs in back when its partner comes anew
  LogInToPartner(sender, SteadyMilliseconds());
  event.Next(texts::kSendEvent);
  relay.log.Line(texts::kLoginBeingSent);
  const auto ip = AddressParts(sender.partnerAddress);
  relay.log.Line(texts::kLoginDataFormat, static_cast<long>(sender.nameId), ip[0], ip[1], ip[2], ip[3],
                 HandleNumber(sender.clientWindow));
}

// Switches the reports on the client's texts on or off and takes over the
// client's count of its texts. A record too short to say so does nothing,
// as a code without a command.
void SetReports(Relay& relay, const std::uint8_t* record, std::int32_t length, VirtualServer& entry) {
  if (!IsReportsRecord(length)) return;
  const ReportsFields fields = ReadReportsRecord(record);
  entry.reportsWanted = fields.on;
  entry.lastTextNumber = fields.lastTextNumber;
  relay.log.Line(fields.on ? texts::kReportsOnFormat : texts::kReportsOffFormat, HandleNumber(entry.clientWindow));
}

[[noreturn]] void Quit(Relay& relay) {
  relay.log.Line(texts::kQuitting);
  Shutdown(relay);
}

// Executes one command record copied out of a client (`record` holds
// `length` bytes, at least 1) for the entry that supplied it, logging into
// the message's `event`.
CommandOutcome HandleClientCommand(Relay& relay, const std::uint8_t* record, std::int32_t length,
                                   VirtualServer& sender, LogEvent& event) {
  switch (ReadCommandCode(record)) {
    case CommandCode::CreateVirtualServer:
      return CreateVirtualServer(relay, record, length, sender);
    case CommandCode::SendText:
      SendText(relay, record, length, sender, event);
      return CommandOutcome::Executed;
    case CommandCode::SendLogin:
      SendLogin(relay, sender, event);
      return CommandOutcome::Executed;
    case CommandCode::Quit:
      Quit(relay);
    case CommandCode::Reports:
      SetReports(relay, record, length, sender);
      return CommandOutcome::Executed;
  }
  // Code 1 and every code without a command: nothing to do.
  return CommandOutcome::Executed;
}

// ---- The two messages

// The process-id message: opens the announced process for reading and gives
// it an entry of its own. 1 = registered, 0 = not.
std::uint32_t RegisterClient(Relay& relay, std::intptr_t processIdParam) {
  const auto processId = static_cast<std::uint32_t>(processIdParam);
  const ProcessHandle process = relay.clients.OpenClientProcess(processId);
  if (process == 0) return 0;

  VirtualServer* entry = relay.table.AddVirtualServer();
  if (entry != nullptr) {
    entry->clientProcess = process;
    entry->clientProcessId = processId;
  }

  const LogEvent event(relay.log, texts::kWindowEvent);
  relay.log.Line(entry != nullptr ? texts::kClientLoginFormat : texts::kNoMemoryForClientFormat,
                 HandleNumber(process));
  return entry != nullptr ? 1 : 0;
}

// Whether a record of this length may be read at all. A length of 0 or less
// has no command code to act on; a record longer than any useful one is not
// worth the memory. Writes the line saying why when it may not.
bool RecordLengthAcceptable(Relay& relay, std::intptr_t length) {
  if (length <= 0) {
    relay.log.Line(texts::kBadLengthFormat, static_cast<long long>(length));
    return false;
  }
  if (length > record_layout::kLongestUsefulRecord) {
    relay.log.Line(texts::kTooLongFormat, static_cast<long long>(length));
    return false;
  }
  return true;
}

// Gets the client-data buffer ready to take a record of `length` bytes. A
// record longer than the configured size gets a buffer of exactly its own
// length, so the buffer follows the last long record up and down but never
// drops below the configured size; a shorter record keeps the buffer. A
// buffer that is still too small (it could not be had at start-up) is given
// the record's length as well. When the memory cannot be had the old buffer
// stays as it was; the record fits only if it is large enough anyway.
bool MakeRoomForRecord(Relay& relay, std::int32_t length) {
  ByteBuffer& buffer = relay.clientDataBuffer;
  if (length > relay.settings.sendBufferSize || buffer.size() < length) buffer.Reallocate(length);
  return buffer.data() != nullptr && buffer.size() >= length;
}

bool SuppliesRecord(Relay& relay, const VirtualServer& entry, std::uintptr_t address, std::int32_t length) {
  return relay.clients.ReadClientMemory(entry.clientProcess, address, relay.clientDataBuffer.data(),
                                         static_cast<std::size_t>(length));
}

// Whether the record just read names a window of the entry's own process.
// A create record is the one record that says who sent it: the window it
// names belongs to its sender, and no other process is credited with it
// while that one can supply it.
bool OwnsNamedWindow(Relay& relay, const VirtualServer& entry, std::int32_t length) {
  const std::uint8_t* record = relay.clientDataBuffer.data();
  return NamesClientWindow(record, length) &&
         relay.clients.WindowOwner(ReadClientWindow(record)) == entry.clientProcessId;
}

// Finds the sender of a record and leaves the record in the client-data
// buffer: the first entry in table order whose process supplies all
// `length` bytes at `address`, except that a later supplier goes before it
// when its process vouches for the record: by the record tag naming itself,
// or, when the first supplier's bytes are a create record, by owning the
// window its own bytes name. A process reads a record whole or not at all,
// so an entry either supplies it or is passed over.
VirtualServer* FindSender(Relay& relay, std::uintptr_t address, std::int32_t length) {
  VirtualServer* first = nullptr;
  bool ownersVouch = true;      // false once the first supplier's bytes name no window
  bool readSinceFirst = false;  // the buffer may no longer hold the first one's bytes
  VirtualServer* vouched = relay.table.FindFirst([&](VirtualServer& entry) {
    readSinceFirst = first != nullptr;
    if (!SuppliesRecord(relay, entry, address, length)) return false;
    if (ProcessTaggedRecord(relay.clients, entry.clientProcess, entry.clientProcessId, address) ||
        (ownersVouch && OwnsNamedWindow(relay, entry, length))) {
      return true;
    }
    if (first == nullptr) {
      first = &entry;
      ownersVouch = NamesClientWindow(relay.clientDataBuffer.data(), length);
    }
    return false;
  });
  if (vouched != nullptr) return vouched;
  // None vouches for it: the first that supplied it, read once more if need be.
  const auto supplies = [&](const VirtualServer& entry) { return SuppliesRecord(relay, entry, address, length); };
  return readSinceFirst ? relay.table.FindFirst(supplies) : first;
}

// Hands the record to its sender's command.
std::uint32_t SenderSearch(Relay& relay, std::uintptr_t address, std::int32_t length, LogEvent& event) {
  VirtualServer* sender = FindSender(relay, address, length);
  if (sender == nullptr) {
    relay.log.Line(texts::kNoSender);
    return NotHandled;
  }
  relay.log.Line(texts::kSenderFormat, HandleNumber(sender->clientProcess));
  const CommandOutcome outcome = HandleClientCommand(relay, relay.clientDataBuffer.data(), length, *sender, event);
  return outcome == CommandOutcome::Executed ? 1 : 0;
}

// The data message: copies the record at `address` out of the sending
// client's process into the client-data buffer and executes it.
std::uint32_t TakeClientRecord(Relay& relay, std::uintptr_t address, std::intptr_t lengthParam) {
  LogEvent event(relay.log, texts::kWindowEvent);
  relay.log.Line(texts::kClientMessage);

  std::uint32_t result = 0;
  if (RecordLengthAcceptable(relay, lengthParam)) {
    const auto length = static_cast<std::int32_t>(lengthParam);
    if (MakeRoomForRecord(relay, length)) {
      result = SenderSearch(relay, address, length, event);
    } else {
      relay.log.Line(texts::kNoMemoryForRecordFormat, static_cast<long>(length));
    }
  }
  return result;
}

}  // namespace

std::uint32_t ClientWindowCallback(Relay& relay, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam) {
  switch (message) {
    case QV_PROCESS_ID_MESSAGE:
      return RegisterClient(relay, lParam);
    case QV_DATA_MESSAGE:
      return TakeClientRecord(relay, wParam, lParam);
    default:
      return NotHandled;
  }
}

}  // namespace quorvel
