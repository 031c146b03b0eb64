// The client link: clients announcing themselves (QV_PROCESS_ID_MESSAGE),
// handing over records (QV_DATA_MESSAGE: finding the sender, the client-data
// buffer, what is turned away), the quit command, and the two notifications
// the relay sends client windows.

#include "relay/client_link.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client_link_fixture.h"
#include "doubles/failing_allocation.h"
#include "quorvel_wire.h"
#include "relay/client_notifications.h"
#include "relay/command_record.h"
#include "relay/relay.h"
#include "table_walk.h"

namespace quorvel::testing {
namespace {

// ---- Announcements

using ClientRegistration = ClientLinkTest;

TEST_F(ClientRegistration, OpensTheProcessAndAddsAnEntryHoldingOnlyItsHandle) {
  clients.AddProcess(0x80000001u, 0x1234);
  // A 32-bit sender's process id arrives sign-extended; only its 32 bits count.
  const auto lParam = static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000001u));
  EXPECT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, lParam), 1u);

  EXPECT_EQ(clients.opened, std::vector<std::uint32_t>{0x80000001u});
  VirtualServer* entry = EntryOf(relay.table, 0x1234);
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
  relay.log.Enable(false);
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

// ---- Records: the sender, the client-data buffer, what is turned away

using SenderSearch = ClientLinkTest;

TEST_F(SenderSearch, WithNoClientRegisteredTheMessageIsLeftToTheWindow) {
  EXPECT_EQ(Hand(0x1000, 0x2000, "\x01"), NotHandled);
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
    caseRelay.settings.port = partner.port();
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
      const VirtualServer& entry = *EntryOf(caseRelay.table, process);
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
  EXPECT_NE(Log().find("Absender 32\n"), std::string::npos);

  // With every registered process gone the record has no sender.
  clients.EndProcessOf(0x20);
  EXPECT_EQ(Hand(0x20, 0x8000, "\x01"), NotHandled);
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
  EXPECT_NE(Log().find("Absender 32\n"), std::string::npos);
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

TEST_F(ClientDataBufferGrowth, WithoutMemoryALongerRecordIsTurnedAwayAndTheBufferStays) {
  Announce(1, 0x10);
  const std::string filling = "\x01" + std::string(63, 'a');
  ASSERT_EQ(Hand(0x10, 0x100, filling), 1u);
  const std::uint8_t* before = relay.clientDataBuffer.data();
  const std::string logBefore = Log();

  clients.PutMemory(0x10, 0x200, "\x01" + std::string(99, 'b'));
  FailNextNothrowAllocations(1);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x200, 100), 0u);
  EXPECT_EQ(PendingNothrowFailures(), 0);
  EXPECT_EQ(relay.clientDataBuffer.data(), before);
  EXPECT_EQ(relay.clientDataBuffer.size(), 64);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(before), 64), filling);
  EXPECT_EQ(Log().substr(logBefore.size()),
            "WindowEvent\n"
            "  Nachricht\n"
            "  Kein Speicher f\xFC" "r eine Nachricht von 100 Bytes, sie wird abgewiesen\n");

  // A record that fits the configured size needs no memory at all.
  FailNextNothrowAllocations(1);
  EXPECT_EQ(Hand(0x10, 0x300, "\x01" + std::string(63, 'c')), 1u);
  EXPECT_EQ(PendingNothrowFailures(), 1);
  FailNextNothrowAllocations(0);

  // After a longer record, a shorter one that is refused its smaller buffer
  // is still read into the larger one it has.
  ASSERT_EQ(Hand(0x10, 0x400, "\x01" + std::string(99, 'd')), 1u);
  ASSERT_EQ(relay.clientDataBuffer.size(), 100);
  FailNextNothrowAllocations(1);
  EXPECT_EQ(Hand(0x10, 0x500, "\x01" + std::string(79, 'e')), 1u);
  EXPECT_EQ(PendingNothrowFailures(), 0);
  EXPECT_EQ(relay.clientDataBuffer.size(), 100);
}

TEST_F(ClientDataBufferGrowth, ABufferMissingSinceStartUpIsAskedForByEveryRecord) {
  Relay bare(desktop, clients);  // the configured 64 bytes could not be had
  bare.settings.sendBufferSize = 64;
  bare.log.Enable(true);
  clients.AddProcess(1, 0x10);
  ASSERT_EQ(ClientWindowCallback(bare, QV_PROCESS_ID_MESSAGE, 0, 1), 1u);
  clients.PutMemory(0x10, 0x100, "\x01" + std::string(9, 'x'));

  FailNextNothrowAllocations(1);
  EXPECT_EQ(ClientWindowCallback(bare, QV_DATA_MESSAGE, 0x100, 10), 0u);
  EXPECT_EQ(bare.clientDataBuffer.data(), nullptr);
  EXPECT_NE(bare.log.Render().find("Kein Speicher f\xFC" "r eine Nachricht von 10 Bytes"), std::string::npos);

  EXPECT_EQ(ClientWindowCallback(bare, QV_DATA_MESSAGE, 0x100, 10), 1u);
  EXPECT_EQ(bare.clientDataBuffer.size(), 10);
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
      {record_layout::kLongestUsefulRecord + 1, "Die Nachricht ist mit 65508 Bytes zu lang und wird abgewiesen"},
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

  // Nothing was sent for any of them: the first datagram is the next good record's.
  EXPECT_EQ(Hand(0x10, 0x200000, CreateRecord(1, 2, "127.0.0.1")), 1u);
  EXPECT_EQ(Hand(0x10, 0x300000, TextRecord("ok")), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x07ok");
}

TEST_F(RecordsTurnedAway, TheLongestUsefulRecordIsTakenAndSentWhole) {
  Announce(1, 0x10);
  ASSERT_EQ(Hand(0x10, 0x100, CreateRecord(5, 6, "127.0.0.1")), 1u);
  std::string text(QV_LONGEST_TEXT, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7 + 1);
  const std::string record = TextRecord(text);
  ASSERT_EQ(record.size(), 65507u);

  EXPECT_EQ(Hand(0x10, 0x200000, record), 1u);
  EXPECT_EQ(relay.clientDataBuffer.size(), 65507);
  EXPECT_EQ(partner.NextBytes(), "\x07" + text);
}

TEST_F(RecordsTurnedAway, WithDebuggingOffTheAnswersAreTheSameAndNothingIsLogged) {
  relay.log.Enable(false);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x100, 1), NotHandled);
  Announce(1, 0x10);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x100, 0), 0u);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x100, INT32_MAX), 0u);
  EXPECT_EQ(Hand(0x10, 0x100, "\x01"), 1u);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x900, 1), NotHandled);
  EXPECT_TRUE(relay.log.empty());
}

// ---- The quit command

// Shows the log on stderr, where the death test's parent can read it.
struct StderrView : LogView {
  void ShowLine(std::size_t, std::size_t, const char* text) override { std::fprintf(stderr, "log: %s\n", text); }
};

using QuitCommand = ClientLinkTest;

TEST_F(QuitCommand, EndsTheProcessWithExitCodeZeroWithoutAnswering) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        StderrView view;
        relay.log.AttachView(&view);
        Announce(77, 0x1234);
        const std::uint32_t answer = Hand(0x1234, 0x4000, QuitRecord());
        std::fprintf(stderr, "answered %u\n", answer);
      },
      ::testing::ExitedWithCode(0),
      "log: WindowEvent\nlog: Login von 4660\nlog: WindowEvent\nlog: Nachricht\nlog: Absender 4660\n"
      "log: Programm wird beendet\n$");
}

TEST_F(QuitCommand, EndsTheProcessWithDebuggingOffToo) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  relay.log.Enable(false);
  EXPECT_EXIT(
      {
        Announce(77, 0x1234);
        const std::uint32_t answer = Hand(0x1234, 0x4000, QuitRecord() + "trailing");
        std::fprintf(stderr, "answered %u\n", answer);
      },
      ::testing::ExitedWithCode(0), "^$");
}

// A record of length 0 would leave the previous record's code byte to act
// on; a Quit left over in the buffer must not end the relay.
TEST_F(QuitCommand, AnEmptyRecordDoesNotRunTheCodeLeftInTheBuffer) {
  Announce(77, 0x1234);
  relay.clientDataBuffer.data()[0] = 4;
  clients.PutMemory(0x1234, 0x4000, QuitRecord());
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x4000, 0), 0u);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x4000, -1), 0u);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x4001, 1), NotHandled);
}

// ---- Notifications to client windows

class Notifications : public ::testing::Test {
 protected:
  FakeDesktop desktop;
  FakeClientPlatform clients;
  Relay relay{desktop, clients};
};

TEST_F(Notifications, LinkUpCarriesTheRelaysProcessId) {
  clients.relayProcessId = 0xFFFFFFF0u;  // a process id with the top bit set stays unsigned
  NotifyLinkUp(relay, 0x30012);
  ASSERT_EQ(clients.sent.size(), 1u);
  const auto& sent = clients.sent[0];
  EXPECT_EQ(sent.window, 0x30012);
  EXPECT_EQ(sent.message, QV_PROCESS_ID_MESSAGE);
  EXPECT_EQ(sent.wParam, 0u);
  EXPECT_EQ(sent.lParam, static_cast<std::intptr_t>(0xFFFFFFF0u));
}

TEST_F(Notifications, ClientDataPointsAtTheTextInTheRelaysMemory) {
  // A sign-extended 32-bit handle goes out unchanged.
  const WindowHandle window = static_cast<WindowHandle>(static_cast<std::int32_t>(0xFFFF8001u));
  std::vector<std::uint8_t> received = {0x07, 'h', 0x00, 'i', 0xFF};
  const std::uint8_t* text = received.data() + 1;
  NotifyClientData(relay, window, text, 4);
  ASSERT_EQ(clients.sent.size(), 1u);
  const auto& sent = clients.sent[0];
  EXPECT_EQ(sent.window, window);
  EXPECT_EQ(sent.message, QV_DATA_MESSAGE);
  EXPECT_EQ(sent.wParam, reinterpret_cast<std::uintptr_t>(text));  // the full address, not cut
  EXPECT_EQ(sent.lParam, 4);
  EXPECT_EQ(sent.pointedBytes, std::string("h\0i\xFF", 4));  // zero bytes included, nothing added
}

TEST_F(Notifications, EmptyTextStillPointsPastTheTypeByte) {
  const std::uint8_t received[] = {0x07};
  NotifyClientData(relay, 0x30012, received + 1, 0);
  ASSERT_EQ(clients.sent.size(), 1u);
  EXPECT_EQ(clients.sent[0].wParam, reinterpret_cast<std::uintptr_t>(received + 1));
  EXPECT_EQ(clients.sent[0].lParam, 0);
}

// A window that does not answer in time may still be reading the text: the
// bytes stay where they are, unchanged, until it answers a later
// notification, and the relay receives into a fresh buffer meanwhile.
TEST_F(Notifications, AWindowThatDoesNotAnswerKeepsItsTextUntilItAnswersAgain) {
  relay.log.Enable(true);
  relay.receiveBuffer.Configure(64);
  std::memcpy(relay.receiveBuffer.data(), "\x07hallo", 6);
  const std::uint8_t* text = relay.receiveBuffer.data() + 1;
  clients.AddWindow(0x30012, 50);
  clients.AddWindow(0x30020, 60);
  clients.unanswered[0x30012] = Delivery::NoAnswer;

  NotifyClientData(relay, 0x30012, text, 5);

  EXPECT_EQ(clients.sent.back().limitMs, kNotificationLimitMs);
  EXPECT_NE(relay.receiveBuffer.data(), text - 1);
  EXPECT_EQ(relay.receiveBuffer.size(), 64);
  EXPECT_EQ(relay.receiveBuffer.capacity(), 64);
  std::memset(relay.receiveBuffer.data(), 'x', 64);  // the next datagram
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(text), 5), "hallo");

  // Still not answering, and another window answering, let nothing go.
  const std::uint8_t* second = relay.receiveBuffer.data();
  NotifyClientData(relay, 0x30012, second + 1, 5);
  EXPECT_NE(relay.receiveBuffer.data(), second);
  NotifyLinkUp(relay, 0x30020);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(text), 5), "hallo");

  // Answering again, the window lets go of both, once.
  clients.unanswered.clear();
  NotifyLinkUp(relay, 0x30012);
  NotifyLinkUp(relay, 0x30012);
  EXPECT_EQ(relay.log.Render(),
            "Das Fenster 196626 hat nicht rechtzeitig geantwortet\n"
            "Das Fenster 196626 hat nicht rechtzeitig geantwortet\n"
            "Das Fenster 196626 antwortet wieder\n");
}

TEST_F(Notifications, NothingIsHeldWhereNoWindowCanReadTheReceiveBuffer) {
  relay.log.Enable(true);
  relay.receiveBuffer.Configure(64);
  const std::uint8_t* inBuffer = relay.receiveBuffer.data() + 1;
  const std::uint8_t elsewhere[] = {'h', 'i'};
  clients.AddWindow(0x30012, 50);
  clients.AddWindow(0x30020, 60);
  clients.unanswered = {
      {0x30012, Delivery::NoAnswer}, {0x30020, Delivery::NotTaken}, {0x30099, Delivery::NotTaken}};

  NotifyClientData(relay, 0x30099, inBuffer, 5);   // no such window: not logged either
  NotifyClientData(relay, 0x30020, inBuffer, 5);   // hung already: never got it
  NotifyClientData(relay, 0x30012, elsewhere, 2);  // not in the receive buffer
  NotifyLinkUp(relay, 0x30012);                     // points at nothing

  EXPECT_EQ(relay.receiveBuffer.data(), inBuffer - 1);
  clients.unanswered.clear();
  NotifyLinkUp(relay, 0x30012);  // nothing held to let go of
  NotifyLinkUp(relay, 0x30020);
  EXPECT_EQ(relay.log.Render(),
            "Das Fenster 196640 hat nicht rechtzeitig geantwortet\n"
            "Das Fenster 196626 hat nicht rechtzeitig geantwortet\n"
            "Das Fenster 196626 hat nicht rechtzeitig geantwortet\n");
}

}  // namespace
}  // namespace quorvel::testing
