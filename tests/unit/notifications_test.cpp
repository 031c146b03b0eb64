#include "client/notifications.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "client/window_messages.h"
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
  EXPECT_EQ(sent.message, ProcessIdMessage);
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
  EXPECT_EQ(sent.message, DataMessage);
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

}  // namespace
}  // namespace quorvel
