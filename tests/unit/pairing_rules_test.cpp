// The rules a pairing follows toward a partner that comes and goes: which
// pairing a Login binds, the outbox's order and bound, and matching the
// partner's refusals to what was sent.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "relay/login_choice.h"
#include "relay/outbox.h"
#include "relay/sent_log.h"

namespace quorvel {
namespace {

constexpr std::uint32_t kA = 0x0100000A;  // 10.0.0.1
constexpr std::uint32_t kB = 0x0200000A;  // 10.0.0.2

struct Pairing {
  std::int32_t nameId;
  std::uint32_t partner;
  std::uint16_t boundPort;  // 0 = no partner yet
  std::uint64_t loginOrder;
};

TEST(ChooseLoginPairing, FreeFirstInTableOrderThenTheLongestLoggedInSameSourceIsKnown) {
  struct Case {
    const char* what;
    std::vector<Pairing> table;
    std::int32_t nameId;
    PeerAddress from;
    LoginOutcome outcome;
    int chosen;  // index, -1 = none
  };
  const Case cases[] = {
      {"a free pairing before a bound one", {{7, kA, 1, 1}, {7, kA, 0, 0}, {7, kA, 0, 0}}, 7, {9, kA},
       LoginOutcome::Filled, 1},
      {"none free: the one logged in longest ago", {{7, kA, 1, 5}, {7, kA, 2, 3}, {7, kA, 3, 4}}, 7, {9, kA},
       LoginOutcome::Rebound, 1},
      {"the same source again", {{7, kA, 1, 1}, {7, kA, 0, 0}}, 7, {1, kA}, LoginOutcome::AlreadyLoggedIn, 0},
      {"another name number", {{8, kA, 0, 0}}, 7, {9, kA}, LoginOutcome::Refused, -1},
      {"another address", {{7, kB, 0, 0}, {7, kB, 1, 1}}, 7, {9, kA}, LoginOutcome::Refused, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<VirtualServer> table(c.table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
      table[i].nameId = c.table[i].nameId;
      table[i].partnerAddress = c.table[i].partner;
      if (c.table[i].boundPort != 0) table[i].loginSource = {c.table[i].boundPort, c.table[i].partner};
      table[i].loginOrder = c.table[i].loginOrder;
    }
    const LoginChoice choice = ChooseLoginPairing(table, c.nameId, c.from);
    EXPECT_EQ(choice.outcome, c.outcome);
    EXPECT_EQ(choice.entry, c.chosen < 0 ? nullptr : &table[static_cast<std::size_t>(c.chosen)]);
  }
}

TEST(ChooseLoginPairing, PairingsAlikeAreTakenOverInTheOrderTheyWereFilled) {
  std::vector<VirtualServer> table(2);
  for (VirtualServer& entry : table) {
    entry.nameId = 7;
    entry.partnerAddress = kA;
  }
  std::uint64_t logins = 0;
  std::vector<int> bound;
  for (std::uint16_t port = 11; port <= 15; ++port) {
    const LoginChoice choice = ChooseLoginPairing(table, 7, {port, kA});
    ASSERT_NE(choice.entry, nullptr);
    BindPartner(*choice.entry, {port, kA}, logins);
    bound.push_back(static_cast<int>(choice.entry - table.data()));
  }
  EXPECT_EQ(bound, (std::vector<int>{0, 1, 0, 1, 0}));
}

WaitingText Text(std::uint32_t number, std::size_t size = 1) { return {number, std::vector<std::uint8_t>(size, 'x')}; }

std::vector<std::uint32_t> Numbers(const auto& texts) {
  std::vector<std::uint32_t> numbers;
  for (const WaitingText& text : texts) numbers.push_back(text.number);
  return numbers;
}

TEST(Outbox, KeepsOrderAndDropsTheOldestBeyondOneHundredTextsOr256KiB) {
  struct Case {
    const char* what;
    std::size_t texts;
    std::size_t size;
    std::vector<std::uint32_t> dropped;  // by the last Add
    std::size_t kept;
  };
  const Case cases[] = {
      {"100 texts fit", 100, 10, {}, 100},
      {"the 101st drops the first", 101, 10, {1}, 100},
      {"four of the longest fit", 4, 65506, {}, 4},
      {"a fifth drops the first", 5, 65506, {1}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Outbox outbox;
    std::vector<WaitingText> dropped;
    for (std::uint32_t n = 1; n <= c.texts; ++n) dropped = outbox.Add(Text(n, c.size));
    EXPECT_EQ(Numbers(dropped), c.dropped);
    EXPECT_EQ(outbox.size(), c.kept);
    EXPECT_EQ(outbox.bytes(), c.kept * c.size);
  }
  Outbox outbox;
  outbox.Add(Text(1, 300000 - 65506));
  EXPECT_EQ(Numbers(outbox.Add(Text(2, 65506))), std::vector<std::uint32_t>{1});  // a long one drops the long one
  for (std::uint32_t n : {3u, 5u, 4u}) outbox.Add(Text(n));  // 4 refused after 5: still before it
  EXPECT_EQ(Numbers(outbox.TakeAll()), (std::vector<std::uint32_t>{2, 3, 4, 5}));
  EXPECT_TRUE(outbox.empty());
  EXPECT_EQ(outbox.bytes(), 0u);
}

SentDatagram Sent(std::int64_t atMs, std::uint32_t number = 0) {
  return {number != 0, false, atMs, number != 0 ? Text(number) : WaitingText{}};
}

TEST(SentLog, RefusalsMatchWhatWasSentInOrderWithinTheWindow) {
  SentLog log;
  log.Note(Sent(0, 1));     // long ago: taken as accepted
  log.Note(Sent(5000));     // a Login
  log.Note(Sent(5001, 2));  // and a text after it
  std::vector<std::uint32_t> refused;
  while (auto datagram = log.TakeRefused(5010)) refused.push_back(datagram->isText ? datagram->text.number : 0);
  EXPECT_EQ(refused, (std::vector<std::uint32_t>{0, 2}));

  log.Note(Sent(6000, 3));
  log.Note(Sent(6001));
  log.Note(Sent(7000, 4));
  EXPECT_EQ(Numbers(log.TakeRecentTexts(8500)), std::vector<std::uint32_t>{4});  // 3 left the window
  EXPECT_FALSE(log.TakeRefused(8500).has_value());

  for (std::uint32_t n = 1; n <= SentLog::kMostDatagrams + 1; ++n) log.Note(Sent(9000, n));
  EXPECT_EQ(log.TakeRefused(9000)->text.number, 2u);  // the first was forgotten
}

}  // namespace
}  // namespace quorvel
