#pragma once

// A pairing's outbox: the client's texts that wait until the partner's relay
// takes logins again, in the order the client sent them. Memory only.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace quorvel {

// A text and its number in the client's count.
struct WaitingText {
  std::uint32_t number = 0;
  std::vector<std::uint8_t> bytes;
};

class Outbox {
 public:
  // The bound: whichever is reached first. A text of the longest kind
  // (one datagram) always fits on its own.
  static constexpr std::size_t kMostTexts = 100;
  static constexpr std::size_t kMostBytes = std::size_t{256} * 1024;

  bool empty() const { return texts_.empty(); }
  std::size_t size() const { return texts_.size(); }
  std::size_t bytes() const { return bytes_; }

  // Puts the text in its place by number: last, unless a text refused late
  // is older than texts already waiting. Returns the oldest texts dropped to
  // keep within the bound, oldest first; usually none.
  std::vector<WaitingText> Add(WaitingText text);

  // Takes every text, oldest first; the outbox is empty afterwards.
  std::deque<WaitingText> TakeAll();

 private:
  std::deque<WaitingText> texts_;
  std::size_t bytes_ = 0;
};

}  // namespace quorvel
