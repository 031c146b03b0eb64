#include "peer/send_client_data.h"

#include <limits>
#include <memory>
#include <new>

#include "client/client_log.h"
#include "core/operator_texts.h"
#include "net/udp_transport.h"
#include "peer/datagram.h"

namespace quorvel {

namespace {

// Builds the Text datagram in a block of its own and sends it. False when
// no memory for the block could be had (a datagram length must also fit in
// 32 bits); nothing is sent then.
bool SendTextDatagram(UdpEndpoint& endpoint, const std::uint8_t* data, std::int32_t length) {
  if (length == std::numeric_limits<std::int32_t>::max()) return false;
  const std::int32_t size = TextDatagramLength(length);
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
  if (!block) return false;
  WriteTextDatagram(block.get(), data, length);
  SendDatagram(endpoint, block.get(), size);
  return true;
}

}  // namespace

void SendClientData(Relay& relay, ProcessHandle process, const std::uint8_t* data, std::int32_t length) {
  VirtualServer* entry = relay.table.FindByClientProcess(process);
  if (entry == nullptr || length < 0) return;

  const bool built = SendTextDatagram(entry->partnerEndpoint, data, length);

  if (relay.Debugging()) {
    relay.log.AppendLine(texts::kSendEvent);
    relay.log.OpenGroup();
    // Where the data come from: the client, named by its process handle as
    // in the lines of its announcement and of its messages.
    AppendNumberLine(relay.log, texts::kSendingDataFromFormat, HandleNumber(process));
    if (built) {
      relay.log.AppendLine(texts::kDataFollows);
      AppendTextLine(relay, data, length);
    } else {
      relay.log.AppendLine(texts::kNoMemoryForDatagram);
    }
    relay.log.CloseGroup();
  }
}

}  // namespace quorvel
