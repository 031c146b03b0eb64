// A pairing's outbox: waiting texts in order, within their bound.

#include "relay/outbox.h"

#include <utility>

namespace quorvel {

std::vector<WaitingText> Outbox::Add(WaitingText text) {
  bytes_ += text.bytes.size();
  texts_.push_back(std::move(text));
  std::vector<WaitingText> dropped;
  while (texts_.size() > kMostTexts || bytes_ > kMostBytes) {
    bytes_ -= texts_.front().bytes.size();
    dropped.push_back(std::move(texts_.front()));
    texts_.pop_front();
  }
  return dropped;
}

std::deque<WaitingText> Outbox::TakeAll() {
  bytes_ = 0;
  return std::exchange(texts_, {});
}

}  // namespace quorvel
