// A pairing outlives the client that made it: a repeated create naming the
// same partner keeps its link, and a restarted client takes over the
// pairing its ended predecessor left.

#include <gtest/gtest.h>

#include <functional>

#include "client_link_fixture.h"

namespace quorvel::testing {
namespace {

class PairingTest : public ClientLinkTest {
 protected:
  void SetUp() override {
    ClientLinkTest::SetUp();
    Announce(77, 0x1234);
    clients.AddWindow(0x500, 77);
  }

  VirtualServer& EntryOf(ProcessHandle process) { return *relay.table.FindByClientProcess(process); }

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

}  // namespace
}  // namespace quorvel::testing
