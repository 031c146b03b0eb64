// What a pairing sent lately, for matching the partner's refusals.

#include "relay/sent_log.h"

#include <utility>

namespace quorvel {

void SentLog::Note(SentDatagram sent) {
  bytes_ += sent.text.bytes.size();
  sent_.push_back(std::move(sent));
  while (sent_.size() > kMostDatagrams || bytes_ > kMostBytes) ForgetOldest();
}

std::optional<SentDatagram> SentLog::TakeRefused(std::int64_t nowMs) {
  Forget(nowMs);
  if (sent_.empty()) return std::nullopt;
  SentDatagram refused = std::move(sent_.front());
  bytes_ -= refused.text.bytes.size();
  sent_.pop_front();
  return refused;
}

std::vector<WaitingText> SentLog::TakeRecentTexts(std::int64_t nowMs) {
  Forget(nowMs);
  std::vector<WaitingText> texts;
  for (SentDatagram& sent : sent_) {
    if (sent.isText) texts.push_back(std::move(sent.text));
  }
  sent_.clear();
  bytes_ = 0;
  return texts;
}

void SentLog::Forget(std::int64_t nowMs) {
  while (!sent_.empty() && nowMs - sent_.front().sentAtMs > kRefusalWindowMs) ForgetOldest();
}

void SentLog::ForgetOldest() {
  bytes_ -= sent_.front().text.bytes.size();
  sent_.pop_front();
}

}  // namespace quorvel
