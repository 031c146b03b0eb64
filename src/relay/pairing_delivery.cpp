// A pairing's texts toward a partner that comes and goes.

#include "relay/pairing_delivery.h"

#include <chrono>
#include <deque>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "net/udp_transport.h"
#include "relay/client_notifications.h"
#include "relay/datagram.h"
#include "relay/operator_texts.h"
#include "relay/relay.h"

namespace quorvel {

namespace {

// Builds the Text datagram in a block of its own and sends it; nothing is
// sent when no memory for the block can be had.
void SendTextDatagram(UdpEndpoint& endpoint, const std::vector<std::uint8_t>& text) {
  const auto length = static_cast<std::int32_t>(text.size());
  const std::int32_t size = TextDatagramLength(length);
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
  if (!block) return;
  WriteTextDatagram(block.get(), text.data(), length);
  SendDatagram(endpoint, block.get(), size);
}

void SendText(VirtualServer& entry, WaitingText text, bool resent, std::int64_t nowMs) {
  SendTextDatagram(entry.partnerEndpoint, text.bytes);
  entry.sentLog.Note({true, resent, nowMs, std::move(text)});
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

}  // namespace

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

bool DeliverText(Relay& relay, VirtualServer& entry, std::span<const std::uint8_t> text, std::int64_t nowMs) {
  WaitingText waiting{++entry.lastTextNumber, std::vector<std::uint8_t>(text.begin(), text.end())};
  if (!entry.outbox.empty()) {
    std::vector<WaitingText> texts;
    texts.push_back(std::move(waiting));
    Wait(relay, entry, std::move(texts));
    return false;
  }
  SendText(entry, std::move(waiting), false, nowMs);
  return true;
}

void TakeRefusal(Relay& relay, VirtualServer& entry, std::int64_t nowMs) {
  std::optional<SentDatagram> refused = entry.sentLog.TakeRefused(nowMs);
  if (!refused || !refused->isText) return;  // a Login or a reply: nothing to send again
  if (!refused->resent && entry.outbox.empty()) {
    relay.log.Line(texts::kTextRefusedSentAgain);
    LogInToPartner(entry, nowMs);
    SendText(entry, std::move(refused->text), true, nowMs);
    return;
  }
  std::vector<WaitingText> texts;
  texts.push_back(std::move(refused->text));
  Wait(relay, entry, std::move(texts));
}

void TakePortClosed(Relay& relay, VirtualServer& entry, std::int64_t nowMs) {
  relay.log.Line(texts::kPartnerPortClosed);
  std::vector<WaitingText> texts = entry.sentLog.TakeRecentTexts(nowMs);
  if (!texts.empty()) Wait(relay, entry, std::move(texts));
}

void ResumeWithPartner(Relay& relay, VirtualServer& entry, bool anew, std::int64_t nowMs) {
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
