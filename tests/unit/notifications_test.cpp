#include "relay/client_notifications.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "quorvel_wire.h"
#include "doubles/fake_client_platform.h"
#include "doubles/fake_desktop.h"

namespace quorvel {
namespace {

class Notifications : public ::testing::Test {
 protected:
  testing::FakeDesktop desktop;
  testing::FakeClientPlatform clients;
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
  relay.settings.debugging = 1;
  ASSERT_TRUE(relay.receiveBuffer.Reallocate(64));
  relay.receiveBufferSize = 64;
  std::memcpy(relay.receiveBuffer.data(), "\x07hallo", 6);
  const std::uint8_t* text = relay.receiveBuffer.data() + 1;
  clients.AddWindow(0x30012, 50);
  clients.AddWindow(0x30020, 60);
  clients.unanswered[0x30012] = Delivery::NoAnswer;

  NotifyClientData(relay, 0x30012, text, 5);

  EXPECT_EQ(clients.sent.back().limitMs, kNotificationLimitMs);
  EXPECT_NE(relay.receiveBuffer.data(), text - 1);
  EXPECT_EQ(relay.receiveBuffer.size(), 64);
  EXPECT_EQ(relay.receiveBufferSize, 64);
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
  relay.settings.debugging = 1;
  ASSERT_TRUE(relay.receiveBuffer.Reallocate(64));
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
}  // namespace quorvel
