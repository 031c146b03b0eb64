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

}  // namespace

CommandOutcome CreateVirtualServer(Relay& relay, const std::uint8_t* record, std::int32_t length,
                                   ProcessHandle sender) {
  if (TurnAwayMalformed(relay, record, length)) return CommandOutcome::TurnedAway;

  if (relay.Debugging()) AppendNumberLine(relay.log, texts::kCreatesVirtualServerFormat, HandleNumber(sender));

  VirtualServer* entry = relay.table.FindByClientProcess(sender);
  if (entry == nullptr) return CommandOutcome::Executed;

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

  entry->clientWindow = clientWindow;
  entry->nameId = fields.nameId;

  entry->partnerAddress = ResolveHost(host.get());
  if (entry->partnerAddress == kUnresolvable) ShowHostNotFound(relay, host.get());

  // A repeated create replaces the link: the earlier socket is closed
  // rather than left open for the rest of the process.
  if (entry->partnerEndpoint.socketHandle != 0) {
    if (relay.Debugging()) relay.log.AppendLine(texts::kEarlierLinkClosed);
    CloseEndpoint(entry->partnerEndpoint);
  }
  if (OpenClientEndpoint(entry->partnerEndpoint, host.get(), relay.settings.port) == 0) {
    ShowNoConnection(relay, host.get(), relay.settings.port);
  }

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
