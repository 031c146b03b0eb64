// A pairing's texts toward a partner that comes and goes.

#include "relay/pairing_delivery.h"

#include <chrono>
#include <deque>
#include <memory>
#include <new>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#include "log/log_event.h"
#include "net/socket_platform.h"
#include "net/udp_transport.h"
#include "relay/client_notifications.h"
#include "relay/datagram.h"
#include "relay/operator_texts.h"
#include "relay/relay.h"

namespace quorvel {

namespace {

// Builds the Text datagram in a block of its own and sends it. False when
// no memory for the block could be had; nothing is sent then.
bool SendTextDatagram(const UdpEndpoint& endpoint, const std::vector<std::uint8_t>& text) {
  const auto length = static_cast<std::int32_t>(text.size());
  const std::int32_t size = TextDatagramLength(length);
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
  if (!block) return false;
  WriteTextDatagram(block.get(), text.data(), length);
  SendDatagram(endpoint, block.get(), size);
  return true;
}

bool SendText(VirtualServer& entry, WaitingText text, bool resent, std::int64_t nowMs) {
  if (!SendTextDatagram(entry.partnerEndpoint, text.bytes)) return false;
  entry.sentLog.Note({true, resent, nowMs, std::move(text)});
  return true;
}

// Puts the texts last in the outbox, then tells their client: the reports
// are sent only once the outbox is in order, since a client may send more
// while it handles one.
void Wait(Relay& relay, VirtualServer& entry, std::vector<WaitingText> texts) {
  std::vector<std::uint32_t> waiting;
  std::vector<std::uint32_t> dropped;
  for (WaitingText& text : texts) {
    waiting.push_back(text.number);
    for (const WaitingText& old : entry.outbox.Add(std::move(text))) {
      relay.log.Line(texts::kWaitingTextDroppedFormat, static_cast<long>(old.bytes.size()));
      dropped.push_back(old.number);
    }
  }
  relay.log.Line(texts::kTextsWaitFormat, static_cast<long>(entry.outbox.size()));
  for (std::uint32_t number : dropped) NotifyTextReport(relay, entry, TextReport::Dropped, number);
  for (std::uint32_t number : waiting) NotifyTextReport(relay, entry, TextReport::Waiting, number);
}

// The most datagrams taken from one pairing's socket at a time: what comes
// there is rare (refusals, a closed port), and a flood must not hold the
// loop.
constexpr int kPairingDatagramsPerTurn = 16;

}  // namespace

void ReceiveOnPairing(Relay& relay, VirtualServer& entry) {
  for (int taken = 0; taken < kPairingDatagramsPerTurn; ++taken) {
    std::uint8_t datagram[kReplyLength];
    PeerAddress from;
    const std::int32_t length = ReceiveDatagram(entry.partnerEndpoint, datagram, sizeof datagram, from);
    if (length == socket_platform::kNothingQueued) return;
    if (length == socket_platform::kPortClosed) {
      TakePortClosed(relay, entry, SteadyMilliseconds());
    } else if (length == kReplyLength && TypeOf(datagram[0]) == DatagramType::LoginFailed &&
               from.peerIp == entry.partnerAddress) {
      TakeRefusal(relay, entry, SteadyMilliseconds());
    }
  }
}

std::int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void SendFromPairing(VirtualServer& entry, std::span<const std::uint8_t> datagram, std::int64_t nowMs) {
  SendDatagram(entry.partnerEndpoint, datagram.data(), static_cast<std::int32_t>(datagram.size()));
  entry.sentLog.Note({false, false, nowMs, {}});
}

void LogInToPartner(VirtualServer& entry, std::int64_t nowMs) {
  const LoginDatagram login = BuildLogin(entry.nameId);
  SendFromPairing(entry, login, nowMs);
}

TextFate DeliverText(Relay& relay, VirtualServer& entry, std::span<const std::uint8_t> text, std::int64_t nowMs) {
  WaitingText waiting{++entry.lastTextNumber, std::vector<std::uint8_t>(text.begin(), text.end())};
  if (!entry.outbox.empty()) {
    std::vector<WaitingText> texts;
    texts.push_back(std::move(waiting));
    Wait(relay, entry, std::move(texts));
    return TextFate::Waiting;
  }
  return SendText(entry, std::move(waiting), false, nowMs) ? TextFate::Sent : TextFate::NoMemory;
}

void TakeRefusal(Relay& relay, VirtualServer& entry, std::int64_t nowMs) {
  std::optional<SentDatagram> refused = entry.sentLog.TakeRefused(nowMs);
  if (!refused || !refused->isText) return;  // a Login or a reply: nothing to send again
  const LogEvent event(relay.log, texts::kReceiveEvent);
  relay.log.Line(texts::kLoginFailedReceived);
  if (!refused->resent && entry.outbox.empty()) {
    relay.log.Line(texts::kTextRefusedSentAgain);
    LogInToPartner(entry, nowMs);
    SendText(entry, std::move(refused->text), true, nowMs);
  } else {
    std::vector<WaitingText> texts;
    texts.push_back(std::move(refused->text));
    Wait(relay, entry, std::move(texts));
  }
}

void TakePortClosed(Relay& relay, VirtualServer& entry, std::int64_t nowMs) {
  const LogEvent event(relay.log, texts::kReceiveEvent);
  relay.log.Line(texts::kPartnerPortClosed);
  std::vector<WaitingText> texts = entry.sentLog.TakeRecentTexts(nowMs);
  if (!texts.empty()) Wait(relay, entry, std::move(texts));
}

void ForgetWaitingTexts(Relay& relay, VirtualServer& entry) {
  entry.sentLog = SentLog();
  if (entry.outbox.empty()) return;
  std::vector<std::uint32_t> numbers;
  for (const WaitingText& text : entry.outbox.TakeAll()) {
    relay.log.Line(texts::kWaitingTextDroppedFormat, static_cast<long>(text.bytes.size()));
    numbers.push_back(text.number);
  }
  for (std::uint32_t number : numbers) NotifyTextReport(relay, entry, TextReport::Dropped, number);
}

void LogTextsLostAtEnd(Relay& relay) {
  const std::size_t waiting =
      std::accumulate(relay.table.begin(), relay.table.end(), std::size_t{0},
                      [](std::size_t sum, const VirtualServer& entry) { return sum + entry.outbox.size(); });
  if (waiting != 0) relay.log.Line(texts::kWaitingTextsLostFormat, static_cast<long>(waiting));
}

void ResumeWithPartner(Relay& relay, VirtualServer& entry, bool anew, std::int64_t nowMs) {
  ReceiveOnPairing(relay, entry);  // a closed port not yet heard of lets the texts sent then wait too
  const bool waiting = !entry.outbox.empty();
  if (!waiting && !(anew && entry.clientLoggedIn)) return;
  relay.log.Line(texts::kLoginSentBack);
  LogInToPartner(entry, nowMs);
  if (!waiting) return;
  // All are sent before the first report, so that a text the client sends
  // while it handles one cannot overtake them.
  std::deque<WaitingText> texts = entry.outbox.TakeAll();
  relay.log.Line(texts::kWaitingTextsSentFormat, static_cast<long>(texts.size()));
  std::vector<std::uint32_t> numbers;
  for (WaitingText& text : texts) {
    numbers.push_back(text.number);
    SendText(entry, std::move(text), false, nowMs);
  }
  for (std::uint32_t number : numbers) NotifyTextReport(relay, entry, TextReport::SentLater, number);
}

}  // namespace quorvel
