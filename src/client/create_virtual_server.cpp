#include "client/create_virtual_server.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "client/client_log.h"
#include "client/command_record.h"
#include "client/notifications.h"
#include "core/operator_texts.h"
#include "net/udp_transport.h"

namespace quorvel {

namespace {

constexpr std::uint32_t kUnresolvable = 0xFFFFFFFFu;

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
      if (relay.Debugging()) AppendNumberLine(relay.log, texts::kCreateTooShortFormat, length);
      return true;
    case CreateRecordCheck::HostNotEnded:
      if (relay.Debugging()) relay.log.AppendLine(texts::kHostNotEnded);
      return true;
  }
  return true;
}

// Whether the client that made `entry` is gone: the window it named no
// longer exists or belongs to another process now. An entry without a
// window cannot tell, and counts as still in use.
bool ClientIsGone(Relay& relay, const VirtualServer& entry) {
  if (entry.clientProcess == 0 || entry.clientWindow == 0) return false;
  return relay.clients.WindowProcessId(entry.clientWindow) != entry.clientProcessId;
}

// The first pairing with this name number and partner whose client is gone,
// so that a restarted client can carry it on.
VirtualServer* FindOrphanedPairing(Relay& relay, std::int32_t nameId, std::uint32_t partnerAddress) {
  if (partnerAddress == kUnresolvable) return nullptr;
  relay.table.ResetCursor();
  while (VirtualServer* entry = relay.table.NextVirtualServer()) {
    if (entry->configured && entry->nameId == nameId && entry->partnerAddress == partnerAddress &&
        ClientIsGone(relay, *entry)) {
      return entry;
    }
  }
  return nullptr;
}

// The newly registered client carries on the orphaned pairing with its
// endpoint (so its source port) and its partner's login source, which is
// what the partner's relay knows it by. The client's own entry, never
// configured, is left without a process, so nothing finds it any more; it
// stays in the table, since an open command may still hold it.
VirtualServer& TakeOver(Relay& relay, VirtualServer& orphan, VirtualServer& fresh) {
  if (relay.Debugging()) AppendNumberLine(relay.log, texts::kTakeOverFormat, HandleNumber(orphan.clientProcess));
  relay.heldReceiveBuffers.Release(orphan.clientWindow);  // its window is gone: nothing reads them
  orphan.clientProcess = fresh.clientProcess;
  orphan.clientProcessId = fresh.clientProcessId;
  fresh.clientProcess = 0;
  fresh.clientProcessId = 0;
  relay.table.MakeCurrent(&orphan);
  return orphan;
}

// Whether the entry already has an open link to exactly this partner, so
// that a repeated create keeps it and its source port.
bool LinkedTo(const VirtualServer& entry, std::int32_t nameId, std::uint32_t partnerAddress) {
  return entry.configured && entry.partnerEndpoint.socketHandle != 0 && entry.nameId == nameId &&
         entry.partnerAddress == partnerAddress && partnerAddress != kUnresolvable;
}

void OpenLink(Relay& relay, VirtualServer& entry, const char* host) {
  // A create naming another partner replaces the link: the earlier socket is
  // closed rather than left open for the rest of the process.
  if (entry.partnerEndpoint.socketHandle != 0) {
    if (relay.Debugging()) relay.log.AppendLine(texts::kEarlierLinkClosed);
    CloseEndpoint(entry.partnerEndpoint);
  }
  if (OpenClientEndpoint(entry.partnerEndpoint, host, relay.settings.port) == 0) {
    ShowNoConnection(relay, host, relay.settings.port);
  }
}

}  // namespace

CommandOutcome CreateVirtualServer(Relay& relay, const std::uint8_t* record, std::int32_t length,
                                   ProcessHandle sender) {
  if (TurnAwayMalformed(relay, record, length)) return CommandOutcome::TurnedAway;

  if (relay.Debugging()) AppendNumberLine(relay.log, texts::kCreatesVirtualServerFormat, HandleNumber(sender));

  VirtualServer* found = relay.table.FindByClientProcess(sender);
  if (found == nullptr) return CommandOutcome::Executed;

  // Everything the command needs from the record is taken now. While an
  // error box or the notification waits, nested client messages may
  // overwrite the ClientDataBuffer or move it, and may move the cursor; the
  // command keeps its entry, its own copy of the host text and the window
  // named in its record.
  const CreateVirtualServerFields fields = ReadCreateRecord(record);
  std::unique_ptr<char[]> host(new (std::nothrow) char[static_cast<std::size_t>(fields.hostLength) + 1]);
  if (!host) {
    if (relay.Debugging()) relay.log.AppendLine(texts::kNoMemoryForHost);
    return CommandOutcome::TurnedAway;
  }
  std::memcpy(host.get(), fields.host, static_cast<std::size_t>(fields.hostLength) + 1);
  const WindowHandle clientWindow = fields.clientWindow;
  const std::uint32_t partnerAddress = ResolveHost(host.get());

  VirtualServer* entry = found;
  if (!found->configured) {
    if (VirtualServer* orphan = FindOrphanedPairing(relay, fields.nameId, partnerAddress)) {
      entry = &TakeOver(relay, *orphan, *found);
    }
  }
  const bool keepLink = LinkedTo(*entry, fields.nameId, partnerAddress);

  entry->clientWindow = clientWindow;
  entry->nameId = fields.nameId;
  entry->partnerAddress = partnerAddress;
  entry->configured = true;
  if (partnerAddress == kUnresolvable) ShowHostNotFound(relay, host.get());

  if (!keepLink) OpenLink(relay, *entry, host.get());

  NotifyLinkUp(relay, clientWindow);

  if (relay.Debugging()) {
    relay.log.AppendLine(texts::kClientFound);
    relay.log.AppendLine(texts::kClientLinkUp);
    // Ends the message's group; the callback's own CloseGroup then finds
    // none of this message left.
    relay.log.CloseGroup();
  }
  return CommandOutcome::Executed;
}

}  // namespace quorvel
