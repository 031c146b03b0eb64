// A pairing's texts toward a partner that comes and goes: sent again once
// after a refusal, kept waiting in order, dropped beyond the bound, and sent
// when the partner logs in, with the reports the client asked for.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client_link_fixture.h"
#include "relay/pairing_delivery.h"

namespace quorvel::testing {
namespace {

const std::string kLogin("\x01\x07\x00\x00\x00", 5);

class PairingDeliveryTest : public ClientLinkTest {
 protected:
  void SetUp() override {
    ClientLinkTest::SetUp();
    Announce(77, 0x1234);
    ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(7, 0x500, "127.0.0.1")), 1u);
    ASSERT_EQ(Hand(0x1234, 0x4100, ReportsRecord(true, 0)), 1u);
    entry = EntryOf(relay.table, 0x1234);
  }

  TextFate Send(const std::string& text, std::int64_t nowMs) {
    return DeliverText(relay, *entry, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, nowMs);
  }

  // What the partner got since the last look.
  std::vector<std::string> Received() {
    std::vector<std::string> got;
    while (auto datagram = partner.Next(std::chrono::milliseconds(100))) got.push_back(datagram->bytes);
    return got;
  }

  // The reports since the last look, as "what number".
  std::vector<std::string> Reports() {
    static const char* const kWhat[] = {"", "waiting", "sent-later", "dropped"};
    std::vector<std::string> reports;
    for (; seen < clients.sent.size(); ++seen) {
      const auto& sent = clients.sent[seen];
      if (sent.message == QV_REPORT_MESSAGE) {
        reports.push_back(std::string(kWhat[sent.wParam]) + " " + std::to_string(sent.lParam));
      }
    }
    return reports;
  }

  VirtualServer* entry = nullptr;
  std::size_t seen = 0;
};

TEST_F(PairingDeliveryTest, ARefusedTextGoesOnceMoreThenWaitsWithTheTextsAfterItUntilThePartnerLogsIn) {
  EXPECT_EQ(Send("a", 1000), TextFate::Sent);
  EXPECT_EQ(Received(), std::vector<std::string>{"\x07" "a"});

  TakeRefusal(relay, *entry, 1001);  // refuses "a": a Login, and "a" once more
  EXPECT_EQ(Received(), (std::vector<std::string>{kLogin, "\x07" "a"}));
  TakeRefusal(relay, *entry, 1002);  // refuses that Login
  TakeRefusal(relay, *entry, 1003);  // refuses "a" again: it waits
  EXPECT_EQ(Send("b", 1004), TextFate::Waiting);  // and "b" joins it
  EXPECT_TRUE(Received().empty());
  EXPECT_EQ(Reports(), (std::vector<std::string>{"waiting 1", "waiting 2"}));

  ResumeWithPartner(relay, *entry, false, 9000);
  EXPECT_EQ(Received(), (std::vector<std::string>{kLogin, "\x07" "a", "\x07" "b"}));
  EXPECT_EQ(Reports(), (std::vector<std::string>{"sent-later 1", "sent-later 2"}));
  EXPECT_TRUE(entry->outbox.empty());
  EXPECT_NE(Log().find("EmpfangsEvent\n  Login fehlgeschlagen\n"
                       "  Der Partner hat einen Text abgelehnt, er wird nach einem Login erneut gesendet\n"
                       "EmpfangsEvent\n  Login fehlgeschlagen\n  Texte warten auf den Partner: 1\n"),
            std::string::npos);
  EXPECT_NE(Log().find("Eigener Login wird erneut gesendet\n2 wartende Texte werden gesendet\n"),
            std::string::npos);
}

TEST_F(PairingDeliveryTest, AClosedPortLetsTheTextsOfTheLastTwoSecondsWaitAndAFullOutboxDropsTheOldest) {
  Send("old", 0);
  Send("new", 5000);
  TakePortClosed(relay, *entry, 5001);
  EXPECT_EQ(Reports(), std::vector<std::string>{"waiting 2"});
  for (int i = 0; i < 100; ++i) Send("more", 5002);
  EXPECT_EQ(entry->outbox.size(), 100u);
  const std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), 101u);
  EXPECT_EQ(reports[99], "dropped 2");
  EXPECT_EQ(reports[100], "waiting 102");
  EXPECT_NE(Log().find("Ein wartender Text wird verworfen, 3 Bytes\n"), std::string::npos);
}

TEST_F(PairingDeliveryTest, APartnerBackAnewGetsALoginBackOnlyWhenTheClientHadLoggedIn) {
  struct Case {
    bool clientLoggedIn;
    bool anew;
    bool loginBack;
  };
  for (const Case c : {Case{true, true, true}, Case{true, false, false}, Case{false, true, false}}) {
    entry->clientLoggedIn = c.clientLoggedIn;
    ResumeWithPartner(relay, *entry, c.anew, 0);
    EXPECT_EQ(Received(), c.loginBack ? std::vector<std::string>{kLogin} : std::vector<std::string>{})
        << c.clientLoggedIn << c.anew;
  }
}

}  // namespace
}  // namespace quorvel::testing
