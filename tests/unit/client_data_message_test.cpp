// QV_DATA_MESSAGE: finding the sender of a record, the ClientDataBuffer, and
// the records the relay turns away before any command runs.

#include <gtest/gtest.h>

#include <climits>

#include "relay/relay.h"
#include "relay/command_record.h"
#include "client_link_fixture.h"

namespace quorvel::testing {
namespace {

using SenderSearch = ClientLinkTest;

TEST_F(SenderSearch, WithNoClientRegisteredTheMessageIsLeftToTheWindow) {
  EXPECT_EQ(Hand(0x1000, 0x2000, "\x01"), NotHandled);
  EXPECT_EQ(relay.table.CurrentVirtualServer(), nullptr);
  EXPECT_EQ(Log(),
            "WindowEvent\n"
            "  Nachricht\n"
            "  Kein angemeldeter Prozess kann die Nachricht liefern, sie wird verworfen\n");
}

TEST_F(SenderSearch, TheFirstEntryWhoseProcessSuppliesTheWholeRecordIsTheSender) {
  Announce(1, 0x10);  // has other memory only
  Announce(2, 0x20);  // has only the first bytes of the record
  Announce(3, 0x30);  // has it
  Announce(4, 0x40);  // has it too, but comes later
  clients.PutMemory(0x10, 0x9000, "\x03");
  clients.PutMemory(0x20, 0x8000, std::string("\x03\x00", 2));
  clients.PutMemory(0x40, 0x8000, std::string("\x03\x00\x00", 3));

  EXPECT_EQ(Hand(0x30, 0x8000, std::string("\x03\x00\x00", 3)), 1u);
  EXPECT_EQ(relay.table.CurrentVirtualServer()->clientProcess, 0x30);
  EXPECT_EQ(Log().substr(Log().find("WindowEvent\n  Nachricht")),
            "WindowEvent\n"
            "  Nachricht\n"
            "  Absender 48\n"
            "SendeEvent\n"
            "  Login wird gesendet\n"
            "  Mit den folgenden Daten: Name:0 IP:0.0.0.0 hnwd:0\n");
}

// Two programs built alike keep their records at the same address. A create
// record names its sender's window, so one that names a window of another
// process goes to the supplier that owns that window; without such an owner
// the first supplier stays the sender.
TEST_F(SenderSearch, ACreateRecordGoesToTheProcessOwningTheWindowItNames) {
  struct Case {
    const char* what;
    std::uint32_t windowOwner;  // of the window 0x700 that the later process's record names
    std::string firstHolds;     // what the first registered process has at the address
    ProcessHandle configured;   // whose entry the create configured; 0 = no create ran
  };
  const std::string foreignCreate = CreateRecord(5, 0x800, "127.0.0.1");
  const Case cases[] = {
      {"the later process owns the window", 2, foreignCreate, 0x20},
      {"no supplier owns the window", 9, foreignCreate, 0x10},
      {"the window does not exist", 0, foreignCreate, 0x10},
      {"the first holds a create naming its own window", 2, CreateRecord(5, 0x900, "127.0.0.1"), 0x10},
      // Only a create names its sender: any other record stays with the first.
      {"the first holds another record", 2, TextRecord("0123456789abcdefghijklm"), 0},
  };
  for (const Case& c : cases) {
    FakeDesktop caseDesktop;
    FakeClientPlatform caseClients;
    Relay caseRelay(caseDesktop, caseClients);
    caseRelay.settings.port = partner.port;
    ASSERT_TRUE(caseRelay.clientDataBuffer.Reallocate(64));
    for (std::uint32_t id : {1u, 2u}) {
      caseClients.AddProcess(id, static_cast<ProcessHandle>(id * 0x10));
      ASSERT_EQ(ClientWindowCallback(caseRelay, QV_PROCESS_ID_MESSAGE, 0, id), 1u);
    }
    if (c.windowOwner != 0) caseClients.AddWindow(0x700, c.windowOwner);
    caseClients.AddWindow(0x900, 1);
    const std::string record = CreateRecord(7, 0x700, "127.0.0.1");
    caseClients.PutMemory(0x10, 0x8000, c.firstHolds.substr(0, record.size()));
    caseClients.PutMemory(0x20, 0x8000, record);

    EXPECT_EQ(ClientWindowCallback(caseRelay, QV_DATA_MESSAGE, 0x8000, static_cast<std::intptr_t>(record.size())), 1u)
        << c.what;
    for (ProcessHandle process : {0x10, 0x20}) {
      const VirtualServer& entry = *caseRelay.table.FindByClientProcess(process);
      EXPECT_EQ(entry.configured, process == c.configured) << c.what << " " << process;
      // The command ran with the bytes of the process it was credited to.
      if (entry.configured) {
        EXPECT_EQ(entry.clientWindow, ReadClientWindow(reinterpret_cast<const std::uint8_t*>(
                                          (process == 0x10 ? c.firstHolds : record).data())))
            << c.what;
      }
    }
  }
}

TEST_F(SenderSearch, AnEndedProcessIsPassedOver) {
  Announce(1, 0x10);
  Announce(2, 0x20);
  clients.PutMemory(0x10, 0x8000, "\x01");
  clients.EndProcessOf(0x10);

  EXPECT_EQ(Hand(0x20, 0x8000, "\x01"), 1u);
  EXPECT_EQ(relay.table.CurrentVirtualServer()->clientProcess, 0x20);

  // With every registered process gone the record has no sender.
  clients.EndProcessOf(0x20);
  EXPECT_EQ(Hand(0x20, 0x8000, "\x01"), NotHandled);
  EXPECT_EQ(relay.table.CurrentVirtualServer()->clientProcess, 0x20);  // the last entry
  EXPECT_EQ(Log().substr(Log().rfind("WindowEvent")),
            "WindowEvent\n"
            "  Nachricht\n"
            "  Kein angemeldeter Prozess kann die Nachricht liefern, sie wird verworfen\n");
}

TEST_F(SenderSearch, TheAddressKeepsItsFullWidth) {
  // A 64-bit client's record far above 4 GiB; another client holds different
  // bytes at the address cut to 32 bits.
  const std::uintptr_t high = static_cast<std::uintptr_t>(0x7FF612345670ull);
  const std::uintptr_t cut = static_cast<std::uint32_t>(high);
  Announce(1, 0x10);
  Announce(2, 0x20);
  clients.PutMemory(0x10, cut, "\x01");
  EXPECT_EQ(Hand(0x20, high, "\x01"), 1u);
  EXPECT_EQ(relay.table.CurrentVirtualServer()->clientProcess, 0x20);
}

using ClientDataBufferGrowth = ClientLinkTest;

TEST_F(ClientDataBufferGrowth, FollowsEachRecordLongerThanTheConfiguredSize) {
  Announce(1, 0x10);
  EXPECT_EQ(Hand(0x10, 0x100, "\x01" + std::string(63, 'x')), 1u);
  EXPECT_EQ(relay.clientDataBuffer.size(), 64);
  EXPECT_EQ(Hand(0x10, 0x200, "\x01" + std::string(99, 'x')), 1u);
  EXPECT_EQ(relay.clientDataBuffer.size(), 100);
  EXPECT_EQ(Hand(0x10, 0x300, "\x01" + std::string(79, 'y')), 1u);
  EXPECT_EQ(relay.clientDataBuffer.size(), 80);
  EXPECT_EQ(Hand(0x10, 0x400, "\x01" + std::string(39, 'z')), 1u);
  EXPECT_EQ(relay.clientDataBuffer.size(), 80);
  // The buffer holds the last record; bytes of the longer one before it stay behind it.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(relay.clientDataBuffer.data()), 80),
            "\x01" + std::string(39, 'z') + std::string(40, 'y'));
}

TEST_F(ClientDataBufferGrowth, WithoutABufferAtStartTheFirstRecordGetsOne) {
  Relay bare(desktop, clients);  // a configured size of 0 gave no buffer
  bare.settings.sendBufferSize = 0;
  clients.AddProcess(1, 0x10);
  ASSERT_EQ(ClientWindowCallback(bare, QV_PROCESS_ID_MESSAGE, 0, 1), 1u);
  clients.PutMemory(0x10, 0x100, std::string("\x01\x02\x03", 3));
  EXPECT_EQ(ClientWindowCallback(bare, QV_DATA_MESSAGE, 0x100, 3), 1u);
  EXPECT_EQ(bare.clientDataBuffer.size(), 3);
}

// The rule itself, with a buffer that can be refused its memory.
struct RefusingBuffer {
  bool Reallocate(std::int32_t size) {
    ++attempts;
    if (refuse) return false;
    bytes.resize(static_cast<std::size_t>(size));
    return true;
  }
  std::uint8_t* data() { return bytes.empty() ? nullptr : bytes.data(); }
  std::int32_t size() const { return static_cast<std::int32_t>(bytes.size()); }
  std::vector<std::uint8_t> bytes;
  bool refuse = false;
  int attempts = 0;
};

TEST(ClientDataBufferMemory, ARefusedReallocationKeepsTheOldBuffer) {
  RefusingBuffer buffer;
  buffer.bytes.assign(64, 0xAB);
  buffer.refuse = true;

  // Growing is refused: the record cannot be taken, the buffer is unchanged.
  EXPECT_FALSE(MakeRoomForRecord(buffer, 64, 100));
  EXPECT_EQ(buffer.bytes, std::vector<std::uint8_t>(64, 0xAB));

  // A record that fits the configured size needs no memory at all.
  EXPECT_TRUE(MakeRoomForRecord(buffer, 64, 64));
  EXPECT_EQ(buffer.attempts, 1);

  // After a longer record, a shorter one that is refused its smaller buffer
  // is still read into the larger one it has.
  buffer.refuse = false;
  ASSERT_TRUE(MakeRoomForRecord(buffer, 64, 100));
  buffer.refuse = true;
  EXPECT_TRUE(MakeRoomForRecord(buffer, 64, 80));
  EXPECT_EQ(buffer.size(), 100);
}

TEST(ClientDataBufferMemory, ABufferMissingSinceStartUpIsAskedForByEveryRecord) {
  RefusingBuffer buffer;
  buffer.refuse = true;
  EXPECT_FALSE(MakeRoomForRecord(buffer, 64, 10));
  EXPECT_EQ(buffer.attempts, 1);
  buffer.refuse = false;
  EXPECT_TRUE(MakeRoomForRecord(buffer, 64, 10));
  EXPECT_EQ(buffer.size(), 10);
}

using RecordsTurnedAway = ClientLinkTest;

// A record of these lengths is not read from anyone and runs no command;
// the buffer keeps its size and the next good record is served.
TEST_F(RecordsTurnedAway, LengthsOfZeroOrLessAndLongerThanAnyUsefulRecord) {
  Announce(1, 0x10);
  // Any read would find a SendText record here.
  clients.PutMemory(0x10, 0x100, TextRecord(std::string(70000, 't')));
  const std::string before = Log();

  struct Case {
    std::intptr_t length;
    const char* line;
  };
  const Case cases[] = {
      {0, "Die Nachricht hat die ung\xFC" "ltige L\xE4" "nge 0 und wird abgewiesen"},
      {-1, "Die Nachricht hat die ung\xFC" "ltige L\xE4" "nge -1 und wird abgewiesen"},
      {INT32_MIN, "Die Nachricht hat die ung\xFC" "ltige L\xE4" "nge -2147483648 und wird abgewiesen"},
      {INT32_MAX, "Die Nachricht ist mit 2147483647 Bytes zu lang und wird abgewiesen"},
      {command_record::kLongestUsefulRecord + 1, "Die Nachricht ist mit 65508 Bytes zu lang und wird abgewiesen"},
      // A 64-bit sender's length is not cut down to something small.
      {static_cast<std::intptr_t>(0x100000005ll), "Die Nachricht ist mit 4294967301 Bytes zu lang und wird abgewiesen"},
  };
  std::string expected = before;
  for (const Case& c : cases) {
    EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x100, c.length), 0u) << c.length;
    EXPECT_EQ(relay.clientDataBuffer.size(), 64) << c.length;
    expected += std::string("WindowEvent\n  Nachricht\n  ") + c.line + "\n";
  }
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(relay.table.CurrentVirtualServer()->clientProcess, 0x10);

  // Nothing was sent for any of them: the first datagram is the next good record's.
  EXPECT_EQ(Hand(0x10, 0x200000, CreateRecord(1, 2, "127.0.0.1")), 1u);
  EXPECT_EQ(Hand(0x10, 0x300000, TextRecord("ok")), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x07ok");
}

TEST_F(RecordsTurnedAway, TheLongestUsefulRecordIsTakenAndSentWhole) {
  Announce(1, 0x10);
  ASSERT_EQ(Hand(0x10, 0x100, CreateRecord(5, 6, "127.0.0.1")), 1u);
  std::string text(command_record::kLongestText, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7 + 1);
  const std::string record = TextRecord(text);
  ASSERT_EQ(record.size(), 65507u);

  EXPECT_EQ(Hand(0x10, 0x200000, record), 1u);
  EXPECT_EQ(relay.clientDataBuffer.size(), 65507);
  EXPECT_EQ(partner.NextBytes(), "\x07" + text);
}

TEST_F(RecordsTurnedAway, WithDebuggingOffTheAnswersAreTheSameAndNothingIsLogged) {
  relay.settings.debugging = 0;
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x100, 1), NotHandled);
  Announce(1, 0x10);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x100, 0), 0u);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x100, INT32_MAX), 0u);
  EXPECT_EQ(Hand(0x10, 0x100, "\x01"), 1u);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x900, 1), NotHandled);
  EXPECT_TRUE(relay.log.empty());
}

}  // namespace
}  // namespace quorvel::testing
