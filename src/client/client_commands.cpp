#include "client/client_commands.h"

#include <cstdio>
#include <cstring>

#include "client/client_log.h"
#include "client/command_record.h"
#include "client/create_virtual_server.h"
#include "core/operator_texts.h"
#include "core/startup.h"
#include "net/udp_transport.h"
#include "peer/datagram.h"
#include "peer/send_client_data.h"

namespace quorvel {

namespace {

void SendText(Relay& relay, const std::uint8_t* record, std::int32_t length, ProcessHandle sender) {
  const std::uint8_t* text = record + command_record::kTextOffset;
  const std::int32_t textLength = length - command_record::kTextOffset;
  if (relay.Debugging()) {
    relay.log.AppendLine(texts::kTextBeingSent);
    relay.log.AppendLine(texts::kTextFollows);
    AppendTextLine(relay, text, textLength);
    relay.log.CloseGroup();
  }
  SendClientData(relay, sender, text, textLength);
}

void AppendLoginData(Relay& relay, const VirtualServer& entry) {
  std::uint8_t address[4];
  std::memcpy(address, &entry.partnerAddress, sizeof address);  // network order: first byte first
  char line[192];
  std::snprintf(line, sizeof line, texts::kLoginDataFormat, static_cast<long>(entry.nameId), address[0], address[1],
                address[2], address[3], HandleNumber(entry.clientWindow));
  relay.log.AppendLine(line);
}

void SendLogin(Relay& relay) {
  // The entry through whose process the record was read.
  VirtualServer* entry = relay.table.CurrentVirtualServer();
  if (entry == nullptr) return;
  const LoginDatagram login = BuildLogin(entry->nameId);
  SendDatagram(entry->partnerEndpoint, login.data(), static_cast<std::int32_t>(login.size()));
  if (relay.Debugging()) {
    relay.log.CloseGroup();
    relay.log.AppendLine(texts::kSendEvent);
    relay.log.OpenGroup();
    relay.log.AppendLine(texts::kLoginBeingSent);
    AppendLoginData(relay, *entry);
    // Left open: the callback's CloseGroup ends it.
  }
}

[[noreturn]] void Quit(Relay& relay) {
  if (relay.Debugging()) relay.log.AppendLine(texts::kQuitting);
  Shutdown(relay);
}

}  // namespace

CommandOutcome HandleClientCommand(Relay& relay, const std::uint8_t* record, std::int32_t length,
                                   ProcessHandle sender) {
  if (length < 1) return CommandOutcome::TurnedAway;
  switch (ReadCommandCode(record)) {
    case CommandCode::CreateVirtualServer:
      return CreateVirtualServer(relay, record, length, sender);
    case CommandCode::SendText:
      SendText(relay, record, length, sender);
      return CommandOutcome::Executed;
    case CommandCode::SendLogin:
      SendLogin(relay);
      return CommandOutcome::Executed;
    case CommandCode::Quit:
      Quit(relay);
  }
  // Code 1 and every code without a command: nothing to do.
  return CommandOutcome::Executed;
}

}  // namespace quorvel
