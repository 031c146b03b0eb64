#include "peer/receive_loop.h"

#include <cstdint>
#include <limits>

#include "core/operator_texts.h"
#include "net/udp_transport.h"
#include "peer/dispatch_datagram.h"
#include "peer/peer_log.h"

namespace quorvel {

namespace {

constexpr std::int32_t kGrowthStep = 1024;

long InKb(std::int64_t size) { return static_cast<long>(size / 1024); }

void LogBufferGroup(Relay& relay, const char* format, long kb) {
  relay.log.AppendLine(texts::kBufferResize);
  relay.log.OpenGroup();
  AppendNumberLine(relay.log, format, kb);
  relay.log.CloseGroup();
}

// One step of growth: 1024 more bytes, the buffer keeping its contents and
// zero-filling the rest. While the size is still 0 or less there is no
// buffer to follow it. When the buffer cannot follow (no memory, or a size
// beyond 32 bits) nothing changes, so the size never claims more bytes than
// the buffer holds.
bool GrowReceiveBuffer(Relay& relay) {
  const std::int64_t grown = static_cast<std::int64_t>(relay.receiveBufferSize) + kGrowthStep;
  if (grown > std::numeric_limits<std::int32_t>::max()) return false;
  const auto size = static_cast<std::int32_t>(grown);
  if (size > 0 && !relay.receiveBuffer.Reallocate(size)) return false;
  relay.receiveBufferSize = size;
  if (relay.Debugging()) LogBufferGroup(relay, texts::kBufferResizedFormat, InKb(size));
  return true;
}

void LogGrowthRefused(Relay& relay) {
  if (relay.Debugging()) {
    LogBufferGroup(relay, texts::kBufferNotResizedFormat,
                   InKb(static_cast<std::int64_t>(relay.receiveBufferSize) + kGrowthStep));
  }
}

// Grows the buffer step by step until a datagram of `length` bytes fits.
bool MakeRoomFor(Relay& relay, std::int32_t length) {
  while (relay.receiveBuffer.size() < length) {
    if (!GrowReceiveBuffer(relay)) return false;
  }
  return true;
}

void DropDatagram(Relay& relay, std::int32_t length) {
  if (!relay.Debugging()) return;
  relay.log.AppendLine(texts::kBufferResize);
  relay.log.OpenGroup();
  AppendNumberLine(relay.log, texts::kBufferNotResizedFormat,
                   InKb(static_cast<std::int64_t>(relay.receiveBufferSize) + kGrowthStep));
  AppendNumberLine(relay.log, texts::kDatagramDroppedFormat, length);
  relay.log.CloseGroup();
}

}  // namespace

void ReceiveLoop(Relay& relay) {
  for (std::int32_t taken = 0; taken < kDatagramsPerTurn; ++taken) {
    // The buffer grows before the receive, so that a datagram is taken whole
    // instead of being lost for want of room.
    const std::int32_t flagged = FlaggedDatagramSize(relay.serverEndpoint);
    if (flagged < 0) return;  // nothing (left): the watcher has the socket again
    const bool fits = flagged == 0 || MakeRoomFor(relay, flagged);

    std::uint8_t noBuffer = 0;  // the platform gets a valid address even without a buffer
    std::uint8_t* into = relay.receiveBuffer.data() != nullptr ? relay.receiveBuffer.data() : &noBuffer;
    const std::int32_t received = ReceiveDatagram(relay.serverEndpoint, into, relay.receiveBuffer.size());

    if (received == 0) continue;  // an empty datagram: nothing to handle
    if (!fits) {
      // No room could be made: the datagram was taken (and lost, as it did
      // not fit) so that the next one is not held up behind it.
      DropDatagram(relay, flagged);
      continue;
    }
    if (received < 0) {
      // The datagram changed under us (or the receive failed otherwise): it
      // is lost, and the buffer grows for the next one.
      if (!GrowReceiveBuffer(relay)) LogGrowthRefused(relay);
      continue;
    }
    DispatchDatagram(relay, received);
  }
}

}  // namespace quorvel
