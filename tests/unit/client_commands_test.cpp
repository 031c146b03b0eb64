// The commands clients send: create (pairing a client's entry with its
// partner, the error boxes, the notification, pairings that outlive their
// client), text and login, and the codes that do nothing.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "client_link_fixture.h"
#include "doubles/failing_allocation.h"
#include "relay/client_notifications.h"

namespace quorvel::testing {
namespace {

TEST_F(CreateVirtualServerTest, StoresThePairingOpensTheLinkAndTellsTheWindow) {
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(7, 0x00030042, "127.0.0.1")), 1u);

  EXPECT_EQ(Entry().nameId, 7);
  EXPECT_EQ(Entry().clientWindow, 0x30042);
  EXPECT_EQ(Entry().partnerAddress, Ipv4Address(127, 0, 0, 1));
  EXPECT_NE(Entry().partnerEndpoint.socketHandle, 0);
  EXPECT_EQ(Entry().loginSource, PeerAddress{});
  EXPECT_TRUE(desktop.boxes.empty());
  EXPECT_EQ(events, std::vector<std::string>{"notify 196674 1025 0 4242"});
  EXPECT_EQ(Log(),
            "WindowEvent\n  Login von 4660\n"
            "WindowEvent\n"
            "  Nachricht\n"
            "  Absender 4660\n"
            "  Das Fesnter 4660 erstellt einen Virtuellen Server\n"
            "  Client gefunden\n"
            "  Exe/Dll-Fenster Komunikation aufgebaut\n");

  // The link leads to the partner's port at that address.
  EXPECT_EQ(Hand(0x1234, 0x4100, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x01\x07\x00\x00\x00", 5));
}

TEST_F(CreateVirtualServerTest, TheWindowHandleWidensBySignExtension) {
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(-1, 0xFFFF8001u, "127.0.0.1")), 1u);
  EXPECT_EQ(Entry().nameId, -1);
  EXPECT_EQ(Entry().clientWindow, static_cast<WindowHandle>(-32767));
  ASSERT_EQ(clients.sent.size(), 1u);
  EXPECT_EQ(clients.sent[0].window, static_cast<WindowHandle>(-32767));
}

TEST_F(CreateVirtualServerTest, AnUnresolvableHostIsShownAndTheCommandStillNotifies) {
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(3, 0x500, "no-such-host.invalid")), 1u);

  ASSERT_EQ(desktop.boxes.size(), 1u);
  EXPECT_EQ(desktop.boxes[0].caption, "Error");
  EXPECT_EQ(events, (std::vector<std::string>{
                        "box: Die Angegebene IP (no-such-host.invalid) kann nicht gefunden werden.",
                        "notify 1280 1025 0 4242"}));
  EXPECT_EQ(Entry().partnerAddress, 0xFFFFFFFFu);
  EXPECT_EQ(Entry().nameId, 3);
  EXPECT_NE(Entry().partnerEndpoint.socketHandle, 0);  // opened all the same
  EXPECT_EQ(Log().substr(Log().find("  Das Fesnter")),
            "  Das Fesnter 4660 erstellt einen Virtuellen Server\n"
            "  Client gefunden\n"
            "  Exe/Dll-Fenster Komunikation aufgebaut\n");
}

TEST_F(CreateVirtualServerTest, ARepeatedCreateReplacesTheLinkAndKeepsTheLoginSource) {
  ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(7, 0x500, "127.0.0.1")), 1u);
  const PeerAddress loggedIn{0x3930, Ipv4Address(127, 0, 0, 9)};
  Entry().loginSource = loggedIn;
  const int openAfterFirst = OpenDescriptorCount();

  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(9, 0x600, "127.0.0.2")), 1u);

  // The earlier socket was closed rather than left behind.
  EXPECT_EQ(OpenDescriptorCount(), openAfterFirst);
  EXPECT_EQ(Entry().nameId, 9);
  EXPECT_EQ(Entry().clientWindow, 0x600);
  EXPECT_EQ(Entry().partnerAddress, Ipv4Address(127, 0, 0, 2));
  EXPECT_EQ(Entry().loginSource, loggedIn);
  EXPECT_EQ(events, (std::vector<std::string>{"notify 1280 1025 0 4242", "notify 1536 1025 0 4242"}));
  EXPECT_EQ(Log().substr(Log().rfind("WindowEvent")),
            "WindowEvent\n"
            "  Nachricht\n"
            "  Absender 4660\n"
            "  Das Fesnter 4660 erstellt einen Virtuellen Server\n"
            "  Die bisherige Verbindung wird geschlossen\n"
            "  Client gefunden\n"
            "  Exe/Dll-Fenster Komunikation aufgebaut\n");

  EXPECT_EQ(Hand(0x1234, 0x4100, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x01\x09\x00\x00\x00", 5));
}

TEST_F(CreateVirtualServerTest, MalformedRecordsAreTurnedAwayWithoutTouchingTheEntry) {
  ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(7, 0x500, "127.0.0.1")), 1u);
  // Leaves zero bytes in the buffer behind where the next records end.
  ASSERT_EQ(Hand(0x1234, 0x4100, std::string(1, '\x01') + std::string(59, '\0')), 1u);
  events.clear();
  const std::string before = Log();

  const std::string tooShort = CreateRecord(8, 0x600, "").substr(0, 9);
  EXPECT_EQ(Hand(0x1234, 0x5000, tooShort), 0u);
  EXPECT_EQ(Hand(0x1234, 0x5100, std::string(1, '\0')), 0u);
  // No zero byte after the host text within the record's 20 bytes; the
  // buffer's older bytes behind it must not end it.
  const std::string unended = CreateRecord(8, 0x600, "127.0.0.1").substr(0, 14) + "2.3.4.5";
  ASSERT_EQ(unended.size(), 21u);
  EXPECT_EQ(Hand(0x1234, 0x5200, unended.substr(0, 20)), 0u);

  EXPECT_EQ(Entry().nameId, 7);
  EXPECT_EQ(Entry().clientWindow, 0x500);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(Log().substr(before.size()),
            "WindowEvent\n  Nachricht\n  Absender 4660\n"
            "  Der Befehl zum Erstellen ist mit 9 Bytes zu kurz und wird abgewiesen\n"
            "WindowEvent\n  Nachricht\n  Absender 4660\n"
            "  Der Befehl zum Erstellen ist mit 1 Bytes zu kurz und wird abgewiesen\n"
            "WindowEvent\n  Nachricht\n  Absender 4660\n"
            "  Der Rechnername endet nicht im Befehl, der Befehl wird abgewiesen\n");

  // The shortest sound record: an empty host text.
  EXPECT_EQ(Hand(0x1234, 0x5300, CreateRecord(8, 0x600, "")), 1u);
  EXPECT_EQ(Entry().nameId, 8);
  // Bytes after the host text's zero byte are not looked at.
  EXPECT_EQ(Hand(0x1234, 0x5400, CreateRecord(9, 0x600, "127.0.0.1") + "junk"), 1u);
  EXPECT_EQ(Entry().partnerAddress, Ipv4Address(127, 0, 0, 1));
}

TEST_F(CreateVirtualServerTest, NoMemoryForTheHostTextTurnsTheCommandAway) {
  FailNextNothrowAllocations(1);
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(7, 0x500, "127.0.0.1")), 0u);
  EXPECT_EQ(PendingNothrowFailures(), 0);
  EXPECT_EQ(Entry().nameId, 0);
  EXPECT_EQ(Entry().partnerEndpoint.socketHandle, 0);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(Log().substr(Log().find("  Das Fesnter")),
            "  Das Fesnter 4660 erstellt einen Virtuellen Server\n"
            "  Kein Speicher f\xFC" "r den Rechnernamen, der Befehl wird abgewiesen\n");

  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(7, 0x500, "127.0.0.1")), 1u);
  EXPECT_EQ(Entry().nameId, 7);
}

TEST_F(CreateVirtualServerTest, WithDebuggingOffTheBoxesAndTheNotificationStayAndNothingIsLogged) {
  relay.log.Enable(false);
  const std::string before = Log();
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(3, 0x500, "255.255.255.255")), 1u);
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(3, 0x500, "127.0.0.1")), 1u);
  EXPECT_EQ(events, (std::vector<std::string>{"box: Die Angegebene IP (255.255.255.255) kann nicht gefunden werden.",
                                              "notify 1280 1025 0 4242", "notify 1280 1025 0 4242"}));
  EXPECT_EQ(Log(), before);
}

// ---- Pairings that outlive their client

class PairingTest : public ClientLinkTest {
 protected:
  void SetUp() override {
    ClientLinkTest::SetUp();
    Announce(77, 0x1234);
    clients.AddWindow(0x500, 77);
  }

  VirtualServer& EntryOf(ProcessHandle process) { return *testing::EntryOf(relay.table, process); }

  // The source port of the next datagram the client's link sends.
  std::uint16_t SourcePortOfLogin(ProcessHandle process, std::uintptr_t address) {
    EXPECT_EQ(Hand(process, address, LoginRecord()), 1u);
    const auto datagram = partner.Next();
    return datagram ? datagram->sourcePort : 0;
  }

  // A new process with a window of its own, registered with the relay.
  void StartClient(std::uint32_t processId, ProcessHandle handle, WindowHandle window) {
    Announce(processId, handle);
    clients.AddWindow(window, processId);
  }

  // The first client has paired, its partner has logged in, and it has ended.
  VirtualServer& PairAndEnd() {
    EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(7, 0x500, "127.0.0.1")), 1u);
    VirtualServer& entry = EntryOf(0x1234);
    entry.loginSource = PeerAddress{0x3930, 0x0100007F};
    clients.DestroyWindow(0x500);
    clients.EndProcessOf(0x1234);
    return entry;
  }
};

TEST_F(PairingTest, ARepeatedCreateKeepsTheLinkOnlyForTheSamePartner) {
  struct Case {
    const char* what;
    std::int32_t nameId;
    const char* host;
    bool keeps;
  };
  const Case cases[] = {
      {"same name number and partner", 7, "127.0.0.1", true},
      {"another name number", 8, "127.0.0.1", false},
      {"another partner", 7, "127.0.0.2", false},
      {"an unresolvable partner", 7, "255.255.255.255", false},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(7, 0x500, "127.0.0.1")), 1u) << c.what;
    const std::uint16_t before = SourcePortOfLogin(0x1234, 0x4100);
    const std::string logBefore = Log();

    ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(c.nameId, 0x501, c.host)), 1u) << c.what;

    EXPECT_EQ(EntryOf(0x1234).clientWindow, 0x501) << c.what;
    EXPECT_EQ(clients.sent.back().window, 0x501) << c.what;  // the link-up goes to the new window
    EXPECT_EQ(Log().find("Die bisherige Verbindung wird geschlossen", logBefore.size()) == std::string::npos,
              c.keeps)
        << c.what;
    if (c.keeps) {
      EXPECT_EQ(SourcePortOfLogin(0x1234, 0x4100), before) << c.what;
    }
  }
}

TEST_F(PairingTest, ARestartedClientTakesOverThePairingOfItsEndedPredecessor) {
  VirtualServer& pairing = PairAndEnd();
  const SocketHandle socket = pairing.partnerEndpoint.socketHandle;
  const PeerAddress loggedIn = pairing.loginSource;
  StartClient(88, 0x5678, 0x600);
  const std::string before = Log();

  EXPECT_EQ(Hand(0x5678, 0x9000, CreateRecord(7, 0x600, "127.0.0.1")), 1u);

  // The pairing now serves the new client; nothing else finds its own entry.
  EXPECT_EQ(&EntryOf(0x5678), &pairing);
  EXPECT_EQ(pairing.clientWindow, 0x600);
  EXPECT_EQ(pairing.clientProcessId, 88u);
  EXPECT_EQ(pairing.partnerEndpoint.socketHandle, socket);
  EXPECT_EQ(pairing.loginSource, loggedIn);
  EXPECT_EQ(relay.table.FindByLoginSource(loggedIn), &pairing);
  EXPECT_EQ(clients.sent.back().window, 0x600);
  EXPECT_EQ(Log().substr(before.size()),
            "WindowEvent\n  Nachricht\n  Absender 22136\n"
            "  Das Fesnter 22136 erstellt einen Virtuellen Server\n"
            "  Der Virtuelle Server von 4660 wird \xFC" "bernommen\n"
            "  Client gefunden\n  Exe/Dll-Fenster Komunikation aufgebaut\n");

  // Its texts leave from the port the partner knows.
  ASSERT_EQ(Hand(0x5678, 0x9100, TextRecord("wieder da")), 1u);
  const auto text = partner.Next();
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->bytes, "\x07wieder da");
  ASSERT_EQ(Hand(0x5678, 0x9200, LoginRecord()), 1u);
  EXPECT_EQ(partner.Next()->sourcePort, text->sourcePort);
}

TEST_F(PairingTest, APairingIsTakenOverOnlyFromAClientThatIsGone) {
  struct Case {
    const char* what;
    std::function<void()> between;  // after the first client paired
    std::int32_t nameId;
    const char* host;
    bool takesOver;
  };
  const Case cases[] = {
      {"the first client still runs", [] {}, 7, "127.0.0.1", false},
      {"its window was closed", [this] { clients.DestroyWindow(0x500); }, 7, "127.0.0.1", true},
      {"its window handle now belongs to another process",
       [this] { clients.AddWindow(0x500, 99); }, 7, "127.0.0.1", true},
      {"gone, but another name number",
       [this] { clients.DestroyWindow(0x500); }, 8, "127.0.0.1", false},
      {"gone, but another partner",
       [this] { clients.DestroyWindow(0x500); }, 7, "127.0.0.2", false},
  };
  ProcessHandle next = 0x6000;
  for (const Case& c : cases) {
    clients.AddWindow(0x500, 77);
    ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(7, 0x500, "127.0.0.1")), 1u) << c.what;
    VirtualServer& first = EntryOf(0x1234);
    c.between();
    const ProcessHandle newcomer = ++next;
    const auto window = static_cast<WindowHandle>(newcomer);
    StartClient(static_cast<std::uint32_t>(newcomer), newcomer, window);

    ASSERT_EQ(Hand(newcomer, 0x9000, CreateRecord(c.nameId, static_cast<std::uint32_t>(window), c.host)), 1u)
        << c.what;

    VirtualServer& served = EntryOf(newcomer);
    EXPECT_EQ(&served == &first, c.takesOver) << c.what;
    EXPECT_EQ(first.clientProcess, c.takesOver ? newcomer : 0x1234) << c.what;
    EXPECT_EQ(served.clientWindow, window) << c.what;
    if (c.takesOver) {
      // Back to the first client for the next case.
      first.clientProcess = 0x1234;
      first.clientProcessId = 77;
    }
  }
}

// ---- Text, login and the codes without a command

class SendCommandsTest : public ClientLinkTest {
 protected:
  void SetUp() override {
    ClientLinkTest::SetUp();
    Announce(77, 0x1234);
    ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(1, 0x00030042, "127.0.0.1")), 1u);
    logBefore = Log();
  }

  // The lines written since SetUp.
  std::string NewLog() const { return Log().substr(logBefore.size()); }

  std::string logBefore;
};

TEST_F(SendCommandsTest, SendTextSendsTheTextAsOneTextDatagramFromTheEntrysSocket) {
  EXPECT_EQ(Hand(0x1234, 0x5000, TextRecord("abc")), 1u);
  const auto text = partner.Next();
  ASSERT_TRUE(text);
  EXPECT_EQ(text->bytes, "\x07" "abc");

  EXPECT_EQ(Hand(0x1234, 0x5100, LoginRecord()), 1u);
  const auto login = partner.Next();
  ASSERT_TRUE(login);
  EXPECT_EQ(login->sourcePort, text->sourcePort);

  EXPECT_EQ(NewLog(),
            "WindowEvent\n"
            "  Nachricht\n"
            "  Absender 4660\n"
            "  Ein Nachricht wird versendet\n"
            "  Sie enth\xE4" "lt den folgenden Text:\n"
            "  abc\n"
            "SendeEvent\n"
            "  Sende Daten von 4660\n"
            "  Folgende Daten werden gesendet:\n"
            "  abc\n"
            "WindowEvent\n"
            "  Nachricht\n"
            "  Absender 4660\n"
            "SendeEvent\n"
            "  Login wird gesendet\n"
            "  Mit den folgenden Daten: Name:1 IP:127.0.0.1 hnwd:196674\n");
}

TEST_F(SendCommandsTest, SendTextPassesZeroBytesOnButShowsTheTextOnlyUpToTheFirst) {
  EXPECT_EQ(Hand(0x1234, 0x5000, TextRecord(std::string("a\0b\xFF", 4))), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x07" "a\0b\xFF", 5));
  EXPECT_EQ(NewLog(),
            "WindowEvent\n  Nachricht\n  Absender 4660\n"
            "  Ein Nachricht wird versendet\n  Sie enth\xE4" "lt den folgenden Text:\n  a\n"
            "SendeEvent\n  Sende Daten von 4660\n  Folgende Daten werden gesendet:\n  a\n");
}

TEST_F(SendCommandsTest, AnEmptyTextIsATextDatagramWithoutPayload) {
  EXPECT_EQ(Hand(0x1234, 0x5000, TextRecord("")), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x07");
  EXPECT_EQ(NewLog(),
            "WindowEvent\n  Nachricht\n  Absender 4660\n"
            "  Ein Nachricht wird versendet\n  Sie enth\xE4" "lt den folgenden Text:\n  \n"
            "SendeEvent\n  Sende Daten von 4660\n  Folgende Daten werden gesendet:\n  \n");
}

TEST_F(SendCommandsTest, SendLoginCarriesTheNameNumberLittleEndian) {
  EXPECT_EQ(Hand(0x1234, 0x5000, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x01\x01\x00\x00\x00", 5));

  ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(-1, 0x00030042, "127.0.0.1")), 1u);
  EXPECT_EQ(Hand(0x1234, 0x5000, LoginRecord() + "ignored"), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x01\xFF\xFF\xFF\xFF");

  ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(0x12345678, 0xFFFFFFFEu, "127.0.0.1")), 1u);
  EXPECT_EQ(Hand(0x1234, 0x5000, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x01\x78\x56\x34\x12");
  EXPECT_EQ(Log().substr(Log().rfind("SendeEvent")),
            "SendeEvent\n"
            "  Login wird gesendet\n"
            "  Mit den folgenden Daten: Name:305419896 IP:127.0.0.1 hnwd:-2\n");
}

TEST_F(SendCommandsTest, SendLoginActsOnTheEntryThatSuppliedTheRecord) {
  Announce(88, 0x5678);
  ASSERT_EQ(Hand(0x5678, 0x7000, CreateRecord(42, 0x700, "127.0.0.1")), 1u);
  EXPECT_EQ(Hand(0x5678, 0x6000, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x01\x2A\x00\x00\x00", 5));
  EXPECT_EQ(Hand(0x1234, 0x6100, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x01\x01\x00\x00\x00", 5));
}

TEST_F(SendCommandsTest, SendLoginAndSendTextBeforeACreateSendNothingAndReportNothing) {
  Announce(88, 0x5678);
  EXPECT_EQ(Hand(0x5678, 0x6000, LoginRecord()), 1u);
  EXPECT_EQ(Hand(0x5678, 0x6100, TextRecord("early")), 1u);
  EXPECT_TRUE(desktop.boxes.empty());
  EXPECT_EQ(Log().substr(Log().rfind("WindowEvent\n  Nachricht")),
            "WindowEvent\n  Nachricht\n  Absender 22136\n"
            "  Ein Nachricht wird versendet\n  Sie enth\xE4" "lt den folgenden Text:\n  early\n"
            "SendeEvent\n  Sende Daten von 22136\n  Folgende Daten werden gesendet:\n  early\n");
  EXPECT_NE(Log().find("  Mit den folgenden Daten: Name:0 IP:0.0.0.0 hnwd:0\n"), std::string::npos);

  // Nothing left for the partner: the first thing it gets is this.
  EXPECT_EQ(Hand(0x1234, 0x6200, TextRecord("first")), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x07" "first");
}

TEST_F(SendCommandsTest, CodesWithoutACommandAreAnsweredAndDoNothing) {
  for (const char code : {'\x01', '\x05', '\x7F', '\x80', '\xFF'}) {
    EXPECT_EQ(Hand(0x1234, 0x5000, std::string(1, code) + "abc"), 1u) << static_cast<int>(code);
  }
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += "WindowEvent\n  Nachricht\n  Absender 4660\n";
  EXPECT_EQ(NewLog(), expected);
  EXPECT_EQ(clients.sent.size(), 1u);  // the create's notification only
  EXPECT_TRUE(desktop.boxes.empty());

  EXPECT_EQ(Hand(0x1234, 0x6200, TextRecord("first")), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x07" "first");
}

TEST_F(SendCommandsTest, ReportsReachOnlyAClientThatAskedAndNameTextsInItsCount) {
  VirtualServer& entry = *EntryOf(relay.table, 0x1234);
  NotifyTextReport(relay, entry, TextReport::Waiting, 1);  // not asked for
  EXPECT_EQ(Hand(0x1234, 0x5000, ReportsRecord(true, 41)), 1u);
  EXPECT_EQ(Hand(0x1234, 0x5100, TextRecord("a")), 1u);
  EXPECT_EQ(entry.lastTextNumber, 42u);
  NotifyTextReport(relay, entry, TextReport::SentLater, 42);
  EXPECT_EQ(Hand(0x1234, 0x5200, ReportsRecord(false, 42)), 1u);
  NotifyTextReport(relay, entry, TextReport::Dropped, 42);

  ASSERT_EQ(clients.sent.size(), 2u);  // the create's notification and one report
  EXPECT_EQ(clients.sent[1].window, 0x30042);
  EXPECT_EQ(clients.sent[1].message, QV_REPORT_MESSAGE);
  EXPECT_EQ(clients.sent[1].wParam, static_cast<std::uintptr_t>(QV_REPORT_SENT_LATER));
  EXPECT_EQ(clients.sent[1].lParam, 42);
  EXPECT_NE(NewLog().find("  Das Fenster 196674 bekommt Berichte \xFC" "ber wartende Texte\n"), std::string::npos);
  EXPECT_NE(NewLog().find("  Das Fenster 196674 bekommt keine Berichte mehr\n"), std::string::npos);
}

TEST_F(SendCommandsTest, WithDebuggingOffTheSameDatagramsLeaveAndNothingIsLogged) {
  relay.log.Enable(false);
  EXPECT_EQ(Hand(0x1234, 0x5000, TextRecord(std::string("x\0y", 3))), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x07x\0y", 4));
  EXPECT_EQ(Hand(0x1234, 0x5100, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x01\x01\x00\x00\x00", 5));
  EXPECT_EQ(Hand(0x1234, 0x5200, "\x09"), 1u);
  EXPECT_EQ(NewLog(), "");
}

}  // namespace
}  // namespace quorvel::testing
