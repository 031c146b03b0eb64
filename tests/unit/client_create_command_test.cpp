// The CreateVirtualServer command: pairing a client's entry with its
// partner, the error boxes, the notification and nested client messages.

#include <gtest/gtest.h>

#include "client_link_fixture.h"
#include "doubles/failing_allocation.h"

namespace quorvel::testing {
namespace {

constexpr char kNoConnectionQuestion[] =
    "aufbauen.\nSind sie sicher dass sie den Port ge\xF6" "ffnet und ihr ChatPartener das Programm ge\xF6"
    "ffnet hat?";

std::uint32_t Ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  const std::uint8_t bytes[4] = {a, b, c, d};  // network order: first byte first
  std::uint32_t address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

class CreateVirtualServerTest : public ClientLinkTest {
 protected:
  void SetUp() override {
    ClientLinkTest::SetUp();
    Announce(77, 0x1234);
    // What happened, in order: boxes and notifications.
    desktop.onErrorBox = [this] { events.push_back("box: " + desktop.boxes.back().text); };
    clients.onSend = [this](const FakeClientPlatform::SentMessage& message) {
      events.push_back("notify " + std::to_string(message.window) + " " + std::to_string(message.message) + " " +
                       std::to_string(message.wParam) + " " + std::to_string(message.lParam));
    };
  }

  VirtualServer& Entry() { return *relay.table.FindByClientProcess(0x1234); }

  std::vector<std::string> events;
};

TEST_F(CreateVirtualServerTest, StoresThePairingOpensTheLinkAndTellsTheWindow) {
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(7, 0x00030042, "127.0.0.1")), 1u);

  EXPECT_EQ(Entry().nameId, 7);
  EXPECT_EQ(Entry().clientWindow, 0x30042);
  EXPECT_EQ(Entry().partnerAddress, Ipv4(127, 0, 0, 1));
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

TEST_F(CreateVirtualServerTest, ALinkThatCannotBeOpenedIsShownWithThePortRightBeforeAufbauen) {
  relay.settings.port = 1234;
  NetworkStartError = 10091;  // the sockets library did not start
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(3, 0x500, "127.0.0.1")), 1u);

  EXPECT_EQ(events, (std::vector<std::string>{
                        std::string("box: Konnte keine Verbindung zu 127.0.0.1 auf dem Port 1234") +
                            kNoConnectionQuestion,
                        "notify 1280 1025 0 4242"}));
  EXPECT_EQ(desktop.boxes[0].caption, "Error");
  EXPECT_EQ(Entry().partnerAddress, Ipv4(127, 0, 0, 1));
  EXPECT_EQ(Entry().partnerEndpoint.socketHandle, 0);
}

TEST_F(CreateVirtualServerTest, BothFailuresShowBothBoxesInOrderBeforeTheNotification) {
  relay.settings.port = -5;  // printed as it is configured
  NetworkStartError = 10091;
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(3, 0x500, "255.255.255.255")), 1u);

  EXPECT_EQ(events, (std::vector<std::string>{
                        "box: Die Angegebene IP (255.255.255.255) kann nicht gefunden werden.",
                        std::string("box: Konnte keine Verbindung zu 255.255.255.255 auf dem Port -5") +
                            kNoConnectionQuestion,
                        "notify 1280 1025 0 4242"}));
  EXPECT_EQ(Log().substr(Log().find("  Client")), "  Client gefunden\n  Exe/Dll-Fenster Komunikation aufgebaut\n");
}

TEST_F(CreateVirtualServerTest, ARepeatedCreateReplacesTheLinkAndKeepsTheLoginSource) {
  ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(7, 0x500, "127.0.0.1")), 1u);
  const PeerAddress loggedIn{0x3930, Ipv4(127, 0, 0, 9)};
  Entry().loginSource = loggedIn;
  const int openAfterFirst = OpenDescriptorCount();

  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(9, 0x600, "127.0.0.2")), 1u);

  // The earlier socket was closed rather than left behind.
  EXPECT_EQ(OpenDescriptorCount(), openAfterFirst);
  EXPECT_EQ(Entry().nameId, 9);
  EXPECT_EQ(Entry().clientWindow, 0x600);
  EXPECT_EQ(Entry().partnerAddress, Ipv4(127, 0, 0, 2));
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
  EXPECT_EQ(Entry().partnerAddress, Ipv4(127, 0, 0, 1));
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
  relay.settings.debugging = 0;
  const std::string before = Log();
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(3, 0x500, "255.255.255.255")), 1u);
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(3, 0x500, "127.0.0.1")), 1u);
  EXPECT_EQ(events, (std::vector<std::string>{"box: Die Angegebene IP (255.255.255.255) kann nicht gefunden werden.",
                                              "notify 1280 1025 0 4242", "notify 1280 1025 0 4242"}));
  EXPECT_EQ(Log(), before);
}

// While the first error box is open, another client registers and hands
// over a longer create record of its own, which moves and overwrites the
// ClientDataBuffer and moves the cursor. The open command goes on with its
// own entry, host text and window.
TEST_F(CreateVirtualServerTest, ClientMessagesDuringAnErrorBoxDoNotDisturbTheOpenCommand) {
  NetworkStartError = 10091;
  relay.settings.port = 1234;
  int boxesOpened = 0;
  desktop.onErrorBox = [&] {
    events.push_back("box: " + desktop.boxes.back().text);
    if (++boxesOpened != 1) return;
    Announce(88, 0x5678);
    const std::string longRecord = CreateRecord(5, 0x700, "10.1.2.3") + std::string(150, 'p');
    EXPECT_EQ(Hand(0x5678, 0x9000, longRecord), 1u);
  };

  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(3, 0x500, "255.255.255.255")), 1u);

  EXPECT_EQ(events,
            (std::vector<std::string>{
                "box: Die Angegebene IP (255.255.255.255) kann nicht gefunden werden.",
                std::string("box: Konnte keine Verbindung zu 10.1.2.3 auf dem Port 1234") + kNoConnectionQuestion,
                "notify 1792 1025 0 4242",
                std::string("box: Konnte keine Verbindung zu 255.255.255.255 auf dem Port 1234") +
                    kNoConnectionQuestion,
                "notify 1280 1025 0 4242"}));
  EXPECT_EQ(Entry().nameId, 3);
  EXPECT_EQ(Entry().clientWindow, 0x500);
  EXPECT_EQ(Entry().partnerAddress, 0xFFFFFFFFu);
  VirtualServer& other = *relay.table.FindByClientProcess(0x5678);
  EXPECT_EQ(other.nameId, 5);
  EXPECT_EQ(other.clientWindow, 0x700);
  EXPECT_EQ(other.partnerAddress, Ipv4(10, 1, 2, 3));
  EXPECT_EQ(relay.clientDataBuffer.size(), static_cast<std::int32_t>(CreateRecord(5, 0x700, "10.1.2.3").size() + 150));

  // The nested messages log into the open message's group; the nested
  // command's CloseGroup ends its own group and the nested message's
  // CloseGroup then ends the outer one, so the outer command's last lines
  // stand at the top level.
  EXPECT_EQ(Log(),
            "WindowEvent\n  Login von 4660\n"
            "WindowEvent\n"
            "  Nachricht\n"
            "  Absender 4660\n"
            "  Das Fesnter 4660 erstellt einen Virtuellen Server\n"
            "  WindowEvent\n"
            "    Login von 22136\n"
            "  WindowEvent\n"
            "    Nachricht\n"
            "    Absender 22136\n"
            "    Das Fesnter 22136 erstellt einen Virtuellen Server\n"
            "    Client gefunden\n"
            "    Exe/Dll-Fenster Komunikation aufgebaut\n"
            "Client gefunden\n"
            "Exe/Dll-Fenster Komunikation aufgebaut\n");
}

}  // namespace
}  // namespace quorvel::testing
