// SendClientData: a client's bytes leaving as a Text datagram through the
// partnerEndpoint of the entry found by its process handle.

#include <gtest/gtest.h>

#include "client_link_fixture.h"
#include "doubles/failing_allocation.h"
#include "relay/peer_protocol.h"

namespace quorvel::testing {
namespace {

class SendClientDataTest : public ClientLinkTest {
 protected:
  // An entry for `process`, linked to the partner.
  VirtualServer& LinkedEntry(ProcessHandle process) {
    VirtualServer* entry = relay.table.AddVirtualServer();
    entry->clientProcess = process;
    EXPECT_NE(OpenClientEndpoint(entry->partnerEndpoint, "127.0.0.1", partner.port), 0);
    return *entry;
  }

  void Send(ProcessHandle process, const std::string& data) {
    SendClientData(relay, process, reinterpret_cast<const std::uint8_t*>(data.data()),
                   static_cast<std::int32_t>(data.size()));
  }
};

TEST_F(SendClientDataTest, SendsTheBytesUnchangedBehindTheTextType) {
  VirtualServer& entry = LinkedEntry(0x77);
  Send(0x77, "abc");
  EXPECT_EQ(partner.NextBytes(), "\x07" "abc");
  Send(0x77, std::string("\0mid\0", 5));
  EXPECT_EQ(partner.NextBytes(), std::string("\x07\0mid\0", 6));
  Send(0x77, "");
  EXPECT_EQ(partner.NextBytes(), "\x07");
  EXPECT_EQ(relay.table.CurrentVirtualServer(), &entry);

  EXPECT_EQ(Log(),
            "SendeEvent\n  Sende Daten von 119\n  Folgende Daten werden gesendet:\n  abc\n"
            "SendeEvent\n  Sende Daten von 119\n  Folgende Daten werden gesendet:\n  \n"
            "SendeEvent\n  Sende Daten von 119\n  Folgende Daten werden gesendet:\n  \n");
}

TEST_F(SendClientDataTest, TheLineNamesTheClientByItsProcessHandleAsA32BitNumber) {
  LinkedEntry(static_cast<ProcessHandle>(-4));  // a pseudo handle, sign-extended
  Send(-4, "x");
  EXPECT_EQ(partner.NextBytes(), "\x07x");
  EXPECT_EQ(Log(), "SendeEvent\n  Sende Daten von -4\n  Folgende Daten werden gesendet:\n  x\n");
}

TEST_F(SendClientDataTest, WithoutAnEntryForTheProcessNothingIsSentOrLogged) {
  LinkedEntry(0x10);
  VirtualServer& last = LinkedEntry(0x20);
  Send(0x99, "lost");
  EXPECT_TRUE(relay.log.empty());
  EXPECT_EQ(relay.table.CurrentVirtualServer(), &last);

  Send(0x10, "first");
  EXPECT_EQ(partner.NextBytes(), "\x07" "first");
}

TEST_F(SendClientDataTest, OfEntriesWithEqualHandlesTheFirstInTableOrderSends) {
  VirtualServer& first = LinkedEntry(0x10);
  VirtualServer& second = LinkedEntry(0x10);
  const char probe = 'p';
  SendDatagram(first.partnerEndpoint, &probe, 1);
  const auto fromFirst = partner.Next();
  SendDatagram(second.partnerEndpoint, &probe, 1);
  const auto fromSecond = partner.Next();
  ASSERT_TRUE(fromFirst && fromSecond);
  ASSERT_NE(fromFirst->sourcePort, fromSecond->sourcePort);

  Send(0x10, "t");
  const auto text = partner.Next();
  ASSERT_TRUE(text);
  EXPECT_EQ(text->bytes, "\x07t");
  EXPECT_EQ(text->sourcePort, fromFirst->sourcePort);
}

TEST_F(SendClientDataTest, AnEntryWithoutALinkSendsNothingButIsLogged) {
  VirtualServer* entry = relay.table.AddVirtualServer();
  entry->clientProcess = 0x30;
  Send(0x30, "nowhere");
  EXPECT_EQ(Log(), "SendeEvent\n  Sende Daten von 48\n  Folgende Daten werden gesendet:\n  nowhere\n");
}

TEST_F(SendClientDataTest, NoMemoryForTheDatagramSendsNothingAndTheRelayGoesOn) {
  LinkedEntry(0x77);
  FailNextNothrowAllocations(1);
  Send(0x77, "dropped");
  EXPECT_EQ(PendingNothrowFailures(), 0);
  EXPECT_EQ(Log(),
            "SendeEvent\n  Sende Daten von 119\n"
            "  Kein Speicher f\xFC" "r das Datagramm, es wird nicht gesendet\n");

  Send(0x77, "next");
  EXPECT_EQ(partner.NextBytes(), "\x07" "next");
}

TEST_F(SendClientDataTest, WithDebuggingOffTheSameDatagramLeavesAndNothingIsLogged) {
  relay.settings.debugging = 0;
  LinkedEntry(0x77);
  Send(0x77, std::string("a\0b", 3));
  EXPECT_EQ(partner.NextBytes(), std::string("\x07" "a\0b", 4));
  FailNextNothrowAllocations(1);
  Send(0x77, "dropped");
  Send(0x77, "next");
  EXPECT_EQ(partner.NextBytes(), "\x07" "next");
  EXPECT_TRUE(relay.log.empty());
}

}  // namespace
}  // namespace quorvel::testing
