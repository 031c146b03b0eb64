// Clients announcing themselves with QV_PROCESS_ID_MESSAGE.

#include <gtest/gtest.h>

#include "client_link_fixture.h"
#include "doubles/failing_allocation.h"

namespace quorvel::testing {
namespace {

using ClientRegistration = ClientLinkTest;

std::vector<ProcessHandle> TableOrder(VirtualServerTable& table) {
  std::vector<ProcessHandle> order;
  table.ResetCursor();
  for (VirtualServer* entry = table.NextVirtualServer(); entry != nullptr; entry = table.NextVirtualServer()) {
    order.push_back(entry->clientProcess);
  }
  return order;
}

TEST_F(ClientRegistration, OpensTheProcessAndAddsAnEntryHoldingOnlyItsHandle) {
  clients.AddProcess(0x80000001u, 0x1234);
  // A 32-bit sender's process id arrives sign-extended; only its 32 bits count.
  const auto lParam = static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000001u));
  EXPECT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, lParam), 1u);

  EXPECT_EQ(clients.opened, std::vector<std::uint32_t>{0x80000001u});
  VirtualServer* entry = relay.table.CurrentVirtualServer();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->clientProcess, 0x1234);
  EXPECT_EQ(entry->nameId, 0);
  EXPECT_EQ(entry->partnerAddress, 0u);
  EXPECT_EQ(entry->clientWindow, 0);
  EXPECT_EQ(entry->partnerEndpoint.socketHandle, 0);
  EXPECT_EQ(entry->loginSource, PeerAddress{});
  EXPECT_EQ(TableOrder(relay.table), std::vector<ProcessHandle>{0x1234});
  EXPECT_EQ(Log(), "WindowEvent\n  Login von 4660\n");
  EXPECT_TRUE(clients.sent.empty());
}

TEST_F(ClientRegistration, AProcessThatCannotBeOpenedIsRefusedWithoutTrace) {
  clients.AddProcess(200, 0x2000);
  clients.EndProcessOf(0x2000);
  EXPECT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, 200), 0u);
  EXPECT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, 0), 0u);
  EXPECT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, 999), 0u);

  EXPECT_EQ(clients.opened, (std::vector<std::uint32_t>{200, 0, 999}));
  EXPECT_EQ(relay.table.CurrentVirtualServer(), nullptr);
  EXPECT_TRUE(TableOrder(relay.table).empty());
  EXPECT_TRUE(relay.log.empty());
}

TEST_F(ClientRegistration, EachAnnouncementAddsAnEntryAndLaterRecordsGoToTheFirstThatReadsThem) {
  // The same process announced twice; the platform gives a new handle each time.
  Announce(300, 0x3001);
  Announce(300, 0x3002);
  EXPECT_EQ(TableOrder(relay.table), (std::vector<ProcessHandle>{0x3001, 0x3002}));

  clients.PutMemory(0x3002, 0x5000, "\x01");
  EXPECT_EQ(Hand(0x3001, 0x5000, "\x01"), 1u);
  EXPECT_EQ(relay.table.CurrentVirtualServer()->clientProcess, 0x3001);
  EXPECT_EQ(Log(),
            "WindowEvent\n  Login von 12289\n"
            "WindowEvent\n  Login von 12290\n"
            "WindowEvent\n  Nachricht\n  Absender 12289\n");
}

TEST_F(ClientRegistration, ANewEntryGoesBehindTheEntryTheLastMessageLeftTheCursorOn) {
  Announce(1, 0x11);
  Announce(2, 0x22);
  Announce(3, 0x33);

  // A record from the first client leaves the cursor on its entry.
  EXPECT_EQ(Hand(0x11, 0x100, "\x01"), 1u);
  Announce(4, 0x44);
  EXPECT_EQ(TableOrder(relay.table), (std::vector<ProcessHandle>{0x11, 0x44, 0x22, 0x33}));

  // A record nobody can supply leaves it on the last entry.
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0xDEAD0, 1), NotHandled);
  Announce(5, 0x55);
  EXPECT_EQ(TableOrder(relay.table), (std::vector<ProcessHandle>{0x11, 0x44, 0x22, 0x33, 0x55}));
}

TEST_F(ClientRegistration, NoMemoryForAnEntryRefusesTheAnnouncementAndTheNextOneWorks) {
  clients.AddProcess(400, 0x4000);
  FailNextNothrowAllocations(1);
  EXPECT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, 400), 0u);
  EXPECT_EQ(PendingNothrowFailures(), 0);
  EXPECT_TRUE(TableOrder(relay.table).empty());
  EXPECT_EQ(Log(),
            "WindowEvent\n"
            "  Kein Speicher f\xFC" "r den Client 16384, die Anmeldung wird abgewiesen\n");

  EXPECT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, 400), 1u);
  EXPECT_EQ(TableOrder(relay.table), std::vector<ProcessHandle>{0x4000});
}

TEST_F(ClientRegistration, WithDebuggingOffTheSameHappensAndNothingIsLogged) {
  relay.settings.debugging = 2;
  clients.AddProcess(500, 0x5000);
  EXPECT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, 500), 1u);
  EXPECT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, 501), 0u);
  EXPECT_EQ(TableOrder(relay.table), std::vector<ProcessHandle>{0x5000});
  EXPECT_TRUE(relay.log.empty());
}

TEST_F(ClientRegistration, OtherMessagesAreLeftToTheWindow) {
  Announce(600, 0x6000);
  const std::string logBefore = Log();
  for (std::uint32_t message : {0u, 16u, 1024u, 1027u, 0xE0E0E0E1u}) {
    EXPECT_EQ(ClientWindowCallback(relay, message, 0x6000, 600), NotHandled) << message;
  }
  EXPECT_EQ(TableOrder(relay.table), std::vector<ProcessHandle>{0x6000});
  EXPECT_EQ(Log(), logBefore);
}

}  // namespace
}  // namespace quorvel::testing
