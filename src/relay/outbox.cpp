// A pairing's outbox: waiting texts in order, within their bound.

#include "relay/outbox.h"

#include <iterator>
#include <utility>

namespace quorvel {

namespace {

// Text numbers count up and may wrap around.
bool Older(std::uint32_t number, std::uint32_t than) { return static_cast<std::int32_t>(number - than) < 0; }

}  // namespace

std::vector<WaitingText> Outbox::Add(WaitingText text) {
  bytes_ += text.bytes.size();
  auto place = texts_.end();
  while (place != texts_.begin() && Older(text.number, std::prev(place)->number)) --place;
  texts_.insert(place, std::move(text));
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
