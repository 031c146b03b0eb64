#include "relay/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "relay/relay.h"
#include "doubles/fake_client_platform.h"
#include "doubles/fake_desktop.h"
#include "scratch_directory.h"

namespace quorvel {
namespace {

// Each test runs in a fresh working directory, where the relay looks for its
// settings file.
class LoadSettingsTest : public ::testing::Test {
 protected:
  void WriteSettings(const std::string& content) { dir.Write("JOX-UDP.ini", content); }
  bool AllZero(const ByteBuffer& buffer) {
    for (std::int32_t i = 0; i < buffer.size(); ++i) {
      if (buffer.data()[i] != 0) return false;
    }
    return true;
  }

  testing::ScratchDirectory dir{true};
  testing::FakeDesktop desktop;
  testing::FakeClientPlatform clients;
  Relay relay{desktop, clients};
};

TEST_F(LoadSettingsTest, WithoutASettingsFileEverySettingHasItsDefault) {
  LoadSettings(relay);
  EXPECT_EQ(relay.settings.port, 1234);
  EXPECT_EQ(relay.settings.receiveBufferSize, 64);
  EXPECT_EQ(relay.settings.sendBufferSize, 64);
  EXPECT_EQ(relay.settings.debugging, 0);
  EXPECT_FALSE(relay.Debugging());

  EXPECT_EQ(relay.receiveBufferSize, 64);
  ASSERT_NE(relay.receiveBuffer.data(), nullptr);
  EXPECT_EQ(relay.receiveBuffer.size(), 64);
  EXPECT_TRUE(AllZero(relay.receiveBuffer));
  ASSERT_NE(relay.clientDataBuffer.data(), nullptr);
  EXPECT_EQ(relay.clientDataBuffer.size(), 64);
  EXPECT_TRUE(AllZero(relay.clientDataBuffer));
}

TEST_F(LoadSettingsTest, TheGroupsValuesSetTheSettingsAndTheBufferSizes) {
  WriteSettings(
      "; settings of the relay\r\n"
      "[UDP Settings]\r\n"
      "Port=4000\r\n"
      "ReceiveBuffer Size = 2048\r\n"
      "SendBuffer Size=512\r\n"
      "Debugging=1\r\n");
  LoadSettings(relay);
  EXPECT_EQ(relay.settings.port, 4000);
  EXPECT_EQ(relay.settings.receiveBufferSize, 2048);
  EXPECT_EQ(relay.settings.sendBufferSize, 512);
  EXPECT_TRUE(relay.Debugging());
  EXPECT_EQ(relay.receiveBufferSize, 2048);
  EXPECT_EQ(relay.receiveBuffer.size(), 2048);
  EXPECT_TRUE(AllZero(relay.receiveBuffer));
  EXPECT_EQ(relay.clientDataBuffer.size(), 512);
  EXPECT_TRUE(AllZero(relay.clientDataBuffer));
}

TEST_F(LoadSettingsTest, DebuggingEntriesBoundTheDebugLogAndZeroOrLessKeepsAll) {
  struct Case {
    const char* line;
    std::int32_t entries;
    std::size_t kept;  // at most, of 30,000 top-level lines; at least 90 % of it
  };
  const Case cases[] = {
      {"", kDefaultDebugEntries, static_cast<std::size_t>(kDefaultDebugEntries)},
      {"Debugging Entries=3\n", 3, 3},
      {"debugging entries = 0\n", 0, 30000},
      {"Debugging Entries=-5\n", -5, 30000},
  };
  static_assert(kDefaultDebugEntries < 30000);  // so that the default bound is reached
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    WriteSettings(std::string("[UDP Settings]\nDebugging=1\n") + c.line);
    Relay fresh{desktop, clients};
    LoadSettings(fresh);
    EXPECT_EQ(fresh.settings.debugEntries, c.entries);
    for (int i = 0; i < 30000; ++i) fresh.log.AppendLine("x");
    const std::string rendered = fresh.log.Render();
    const auto kept = static_cast<std::size_t>(std::count(rendered.begin(), rendered.end(), '\n'));
    EXPECT_LE(kept, c.kept);
    EXPECT_GE(kept, c.kept - c.kept / 10);
  }
}

TEST_F(LoadSettingsTest, KeysOutsideTheGroupAreNotRead) {
  WriteSettings(
      "Port=1\n"
      "[Other]\n"
      "ReceiveBuffer Size=1\n"
      "[UDP Settings]\n"
      "Debugging=1\n");
  LoadSettings(relay);
  EXPECT_EQ(relay.settings.port, 1234);
  EXPECT_EQ(relay.settings.receiveBufferSize, 64);
  EXPECT_TRUE(relay.Debugging());
}

TEST_F(LoadSettingsTest, SizesOfZeroOrLessStartWithoutABuffer) {
  WriteSettings("[UDP Settings]\nReceiveBuffer Size=0\nSendBuffer Size=-5\n");
  LoadSettings(relay);
  EXPECT_EQ(relay.receiveBufferSize, 0);
  EXPECT_EQ(relay.receiveBuffer.data(), nullptr);
  EXPECT_EQ(relay.settings.sendBufferSize, -5);
  EXPECT_EQ(relay.clientDataBuffer.data(), nullptr);

  // A negative receive size stays as it is; the receive loop grows it from there.
  WriteSettings("[UDP Settings]\nReceiveBuffer Size=-3000\nSendBuffer Size=0\n");
  Relay another{desktop, clients};
  LoadSettings(another);
  EXPECT_EQ(another.receiveBufferSize, -3000);
  EXPECT_EQ(another.receiveBuffer.data(), nullptr);
  EXPECT_EQ(another.settings.sendBufferSize, 0);
  EXPECT_EQ(another.clientDataBuffer.data(), nullptr);
}

TEST_F(LoadSettingsTest, AKeyWithoutDigitsReadsAsZeroNotAsItsDefault) {
  WriteSettings("[UDP Settings]\nPort=\nReceiveBuffer Size=none\nDebugging=on\n");
  LoadSettings(relay);
  EXPECT_EQ(relay.settings.port, 0);
  EXPECT_EQ(relay.receiveBufferSize, 0);
  EXPECT_EQ(relay.receiveBuffer.data(), nullptr);
  EXPECT_EQ(relay.settings.sendBufferSize, 64);
  EXPECT_EQ(relay.settings.debugging, 0);
}

TEST_F(LoadSettingsTest, DebugModeIsOnExactlyWhenTheLowEightBitsAreOne) {
  struct Case {
    const char* value;
    std::uint8_t debugging;
  };
  for (const Case& c : {Case{"1", 1}, Case{"257", 1}, Case{"-255", 1}, Case{"2", 2}, Case{"-1", 255},
                        Case{"256", 0}, Case{"yes", 0}, Case{"0", 0}}) {
    SCOPED_TRACE(c.value);
    WriteSettings(std::string("[UDP Settings]\nDebugging=") + c.value + "\n");
    Relay fresh{desktop, clients};
    LoadSettings(fresh);
    EXPECT_EQ(fresh.settings.debugging, c.debugging);
    EXPECT_EQ(fresh.Debugging(), c.debugging == 1);
  }
}

}  // namespace
}  // namespace quorvel
