// The create command when the platform has no socket to give: built with
// the in-memory socket platform instead of the real one, which can be made
// to refuse every socket. The box names the partner and the configured port.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/byte_order.h"
#include "client_link_fixture.h"
#include "doubles/memory_sockets.h"

namespace quorvel::testing {
namespace {

constexpr char kNoConnectionQuestion[] =
    "aufbauen.\nSind sie sicher dass sie den Port ge\xF6" "ffnet und ihr ChatPartener das Programm ge\xF6"
    "ffnet hat?";

class CreateWithoutSockets : public CreateVirtualServerTest {
 protected:
  void SetUp() override {
    CreateVirtualServerTest::SetUp();
    RefuseSockets(true);
  }
  void TearDown() override { RefuseSockets(false); }
};

TEST_F(CreateWithoutSockets, ALinkThatCannotBeOpenedIsShownWithThePortRightBeforeAufbauen) {
  relay.settings.port = 1234;
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(3, 0x500, "127.0.0.1")), 1u);

  EXPECT_EQ(events, (std::vector<std::string>{
                        std::string("box: Konnte keine Verbindung zu 127.0.0.1 auf dem Port 1234") +
                            kNoConnectionQuestion,
                        "notify 1280 1025 0 4242"}));
  EXPECT_EQ(desktop.boxes[0].caption, "Error");
  EXPECT_EQ(Entry().partnerAddress, Ipv4Address(127, 0, 0, 1));
  EXPECT_EQ(Entry().partnerEndpoint.socketHandle, 0);
}

TEST_F(CreateWithoutSockets, BothFailuresShowBothBoxesInOrderBeforeTheNotification) {
  relay.settings.port = -5;  // printed as it is configured
  EXPECT_EQ(Hand(0x1234, 0x4000, CreateRecord(3, 0x500, "255.255.255.255")), 1u);

  EXPECT_EQ(events, (std::vector<std::string>{
                        "box: Die Angegebene IP (255.255.255.255) kann nicht gefunden werden.",
                        std::string("box: Konnte keine Verbindung zu 255.255.255.255 auf dem Port -5") +
                            kNoConnectionQuestion,
                        "notify 1280 1025 0 4242"}));
  EXPECT_EQ(Log().substr(Log().find("  Client")), "  Client gefunden\n  Exe/Dll-Fenster Komunikation aufgebaut\n");
}

// While the first error box is open, another client registers and hands
// over a longer create record of its own, which moves and overwrites the
// ClientDataBuffer and moves the cursor. The open command goes on with its
// own entry, host text and window.
TEST_F(CreateWithoutSockets, ClientMessagesDuringAnErrorBoxDoNotDisturbTheOpenCommand) {
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
  VirtualServer& other = *EntryOf(relay.table, 0x5678);
  EXPECT_EQ(other.nameId, 5);
  EXPECT_EQ(other.clientWindow, 0x700);
  EXPECT_EQ(other.partnerAddress, Ipv4Address(10, 1, 2, 3));
  EXPECT_EQ(relay.clientDataBuffer.size(), static_cast<std::int32_t>(CreateRecord(5, 0x700, "10.1.2.3").size() + 150));

  // The nested messages log into the open message's group, each ending only
  // its own, so the outer command's last lines stay in the outer group.
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
            "  Client gefunden\n"
            "  Exe/Dll-Fenster Komunikation aufgebaut\n");
}

}  // namespace
}  // namespace quorvel::testing
