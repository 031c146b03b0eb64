#include "relay/virtual_server_table.h"

#include <gtest/gtest.h>

#include <vector>

#include "doubles/failing_allocation.h"
#include "base/byte_order.h"
#include "table_walk.h"

namespace quorvel {
namespace {

using testing::EntryOf;
using testing::TableOrder;

const std::uint32_t kPartnerIp = Ipv4Address(10, 0, 0, 2);
const std::uint32_t kOtherIp = Ipv4Address(10, 0, 0, 3);
const PeerAddress kPartnerSource{PortToNetworkOrder(50000), kPartnerIp};

VirtualServer* Announce(VirtualServerTable& table, ProcessHandle process) {
  VirtualServer* entry = table.AddVirtualServer();
  if (entry != nullptr) entry->clientProcess = process;
  return entry;
}

TEST(VirtualServerTable, EmptyTableFindsNothingAndTakesTheFirstEntryAtItsHead) {
  VirtualServerTable table;
  EXPECT_EQ(EntryOf(table, 0), nullptr);
  EXPECT_EQ(table.FindByLoginSource(PeerAddress{}), nullptr);

  VirtualServer* first = Announce(table, 1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(EntryOf(table, 1), first);
  EXPECT_EQ(TableOrder(table), std::vector<ProcessHandle>{1});
}

TEST(VirtualServerTable, NewEntriesAreZeroInEveryField) {
  VirtualServerTable table;
  Announce(table, 1)->nameId = 99;  // dirty a neighbour first
  const VirtualServer* entry = table.AddVirtualServer();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->nameId, 0);
  EXPECT_EQ(entry->partnerAddress, 0u);
  EXPECT_EQ(entry->clientWindow, 0);
  EXPECT_EQ(entry->clientProcess, 0);
  EXPECT_EQ(entry->partnerEndpoint.socketHandle, 0);
  EXPECT_EQ(entry->loginSource, PeerAddress{});
}

TEST(VirtualServerTable, NewEntryGoesBehindTheLastEntryTouched) {
  VirtualServerTable table;
  Announce(table, 1);
  Announce(table, 2);
  Announce(table, 3);
  EXPECT_EQ(TableOrder(table), (std::vector<ProcessHandle>{1, 2, 3}));  // announcements in a row keep their order

  EXPECT_EQ(EntryOf(table, 77), nullptr);  // a miss touches every entry, the last one last
  Announce(table, 4);
  EXPECT_EQ(TableOrder(table), (std::vector<ProcessHandle>{1, 2, 3, 4}));

  ASSERT_NE(EntryOf(table, 2), nullptr);  // a hit stops at the entry found
  Announce(table, 5);
  EXPECT_EQ(TableOrder(table), (std::vector<ProcessHandle>{1, 2, 5, 3, 4}));
}

TEST(VirtualServerTable, FindingThePartnerOfTheFirstEntryPutsTheNextEntryBehindIt) {
  VirtualServerTable table;
  VirtualServer* first = Announce(table, 1);
  Announce(table, 2);
  Announce(table, 3);
  first->loginSource = kPartnerSource;
  EXPECT_EQ(table.FindByLoginSource(kPartnerSource), first);
  Announce(table, 4);
  EXPECT_EQ(TableOrder(table), (std::vector<ProcessHandle>{1, 4, 2, 3}));
}

TEST(VirtualServerTable, LookupsReturnTheFirstMatchInTableOrder) {
  VirtualServerTable table;
  VirtualServer* a = Announce(table, 5);
  VirtualServer* b = Announce(table, 5);
  EXPECT_EQ(EntryOf(table, 5), a);

  a->loginSource = kPartnerSource;
  b->loginSource = kPartnerSource;
  EXPECT_EQ(table.FindByLoginSource(kPartnerSource), a);
  // Port and address count together.
  EXPECT_EQ(table.FindByLoginSource(PeerAddress{PortToNetworkOrder(50001), kPartnerSource.peerIp}), nullptr);
  EXPECT_EQ(table.FindByLoginSource(PeerAddress{kPartnerSource.peerPort, kOtherIp}), nullptr);
}

TEST(VirtualServerTable, AddingWithoutMemoryChangesNothing) {
  VirtualServerTable table;
  Announce(table, 1);
  Announce(table, 2);
  EntryOf(table, 1);
  testing::FailNextNothrowAllocations(1);
  EXPECT_EQ(table.AddVirtualServer(), nullptr);
  EXPECT_EQ(testing::PendingNothrowFailures(), 0);

  // Memory is back: the next entry goes behind the entry touched before.
  Announce(table, 3);
  EXPECT_EQ(TableOrder(table), (std::vector<ProcessHandle>{1, 3, 2}));
}

TEST(VirtualServerTable, RefusedFirstEntryLeavesTheTableEmpty) {
  VirtualServerTable table;
  testing::FailNextNothrowAllocations(1);
  EXPECT_EQ(table.AddVirtualServer(), nullptr);
  EXPECT_EQ(testing::PendingNothrowFailures(), 0);
  EXPECT_TRUE(TableOrder(table).empty());
}

}  // namespace
}  // namespace quorvel
