#pragma once

// A relay built on the desktop and client-process doubles, with a stand-in
// for the partner relay's server port: a plain UDP socket bound to every
// local address (so that links toward 127.0.0.1 and 127.0.0.2 both end
// there) whose port the relay is configured to send to.

#include <dirent.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "doubles/fake_client_platform.h"
#include "doubles/fake_desktop.h"
#include "loopback_udp.h"
#include "net/udp_transport.h"
#include "quorvel_wire.h"
#include "table_walk.h"
#include "relay/client_link.h"
#include "relay/relay.h"

namespace quorvel::testing {

// The descriptors the test process holds open.
inline int OpenDescriptorCount() {
  int count = 0;
  if (DIR* directory = ::opendir("/proc/self/fd")) {
    while (::readdir(directory) != nullptr) ++count;
    ::closedir(directory);
  }
  return count;
}

// Record builders, byte for byte as a client lays them out.
inline std::string LittleEndian32(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

inline std::string CreateRecord(std::int32_t nameId, std::uint32_t window, const std::string& host) {
  return std::string(1, '\0') + LittleEndian32(static_cast<std::uint32_t>(nameId)) + LittleEndian32(window) + host +
         std::string(1, '\0');
}

// The tag a client places just before a record, naming its process.
inline std::string RecordTag(std::uint32_t processId) { return LittleEndian32(QV_RECORD_TAG_MARK) + LittleEndian32(processId); }

inline std::string TextRecord(const std::string& text) { return std::string(1, '\x02') + text; }
inline std::string LoginRecord() { return std::string(1, '\x03'); }
inline std::string QuitRecord() { return std::string(1, '\x04'); }
inline std::string ReportsRecord(bool on, std::uint32_t lastText) {
  return std::string(1, '\x05') + std::string(1, on ? '\x01' : '\0') + LittleEndian32(lastText);
}

// A relay of its own for one case of a table, with the client processes 1
// and 2 registered in that order under the handles 0x10 and 0x20.
struct TwoClients {
  explicit TwoClients(std::uint16_t port) {
    relay.settings.port = port;
    relay.log.Enable(true);
    EXPECT_TRUE(relay.clientDataBuffer.Reallocate(64));
    for (std::uint32_t id : {1u, 2u}) {
      clients.AddProcess(id, static_cast<ProcessHandle>(id * 0x10));
      EXPECT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, id), 1u);
    }
  }
  FakeDesktop desktop;
  FakeClientPlatform clients;
  Relay relay{desktop, clients};
};

class ClientLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(partner.port(), 0);
    ASSERT_TRUE(StartNetwork());
    relay.settings.port = partner.port();
    relay.settings.sendBufferSize = 64;
    ASSERT_TRUE(relay.clientDataBuffer.Reallocate(64));
    relay.log.Enable(true);
  }

  // Announces a client process that the fake opens under `handle`.
  void Announce(std::uint32_t processId, ProcessHandle handle) {
    clients.AddProcess(processId, handle);
    ASSERT_EQ(ClientWindowCallback(relay, QV_PROCESS_ID_MESSAGE, 0, processId), 1u);
  }

  // Places `record` at `address` in the client's memory and hands it over.
  std::uint32_t Hand(ProcessHandle process, std::uintptr_t address, const std::string& record) {
    clients.PutMemory(process, address, record);
    return ClientWindowCallback(relay, QV_DATA_MESSAGE, address, static_cast<std::intptr_t>(record.size()));
  }

  std::string Log() const { return relay.log.Render(); }

  FakeDesktop desktop;
  FakeClientPlatform clients;
  Relay relay{desktop, clients};
  loopback::UdpSocket partner{"0.0.0.0"};
};

// A registered client (process id 77, handle 0x1234) about to send create
// commands, with what happened in order: boxes and notifications.
class CreateVirtualServerTest : public ClientLinkTest {
 protected:
  void SetUp() override {
    ClientLinkTest::SetUp();
    Announce(77, 0x1234);
    desktop.onErrorBox = [this] { events.push_back("box: " + desktop.boxes.back().text); };
    clients.onSend = [this](const FakeClientPlatform::SentMessage& message) {
      events.push_back("notify " + std::to_string(message.window) + " " + std::to_string(message.message) + " " +
                       std::to_string(message.wParam) + " " + std::to_string(message.lParam));
    };
  }

  VirtualServer& Entry() { return *EntryOf(relay.table, 0x1234); }

  std::vector<std::string> events;
};

}  // namespace quorvel::testing
