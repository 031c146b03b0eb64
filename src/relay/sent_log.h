#pragma once

// What a pairing sent its partner lately, in order, so that the partner's
// refusals can be matched to what they refuse: a relay answers every
// datagram it does not take with one LoginFailed, in the order it got them.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "relay/outbox.h"

namespace quorvel {

struct SentDatagram {
  bool isText = false;  // a Login or a reply otherwise
  bool resent = false;  // a text sent once more after a refusal
  std::int64_t sentAtMs = 0;
  WaitingText text;  // texts only
};

class SentLog {
 public:
  // A refusal comes back within a round trip and the partner's handling.
  // What was sent longer ago is taken as accepted and forgotten, so that a
  // refusal after a partner's restart is not matched to a text it took
  // before.
  static constexpr std::int64_t kRefusalWindowMs = 2000;
  // Beyond these the oldest are forgotten (taken as accepted) as well.
  static constexpr std::size_t kMostDatagrams = 128;
  static constexpr std::size_t kMostBytes = std::size_t{256} * 1024;

  void Note(SentDatagram sent);

  // The datagram that a refusal arriving at `nowMs` refuses: the oldest one
  // sent within the window. None when nothing was.
  std::optional<SentDatagram> TakeRefused(std::int64_t nowMs);

  // The partner's port was found closed at `nowMs`: the texts sent within
  // the window, oldest first, none of which it can have taken. The log is
  // empty afterwards.
  std::vector<WaitingText> TakeRecentTexts(std::int64_t nowMs);

 private:
  void Forget(std::int64_t nowMs);
  void ForgetOldest();

  std::deque<SentDatagram> sent_;
  std::size_t bytes_ = 0;
};

}  // namespace quorvel
