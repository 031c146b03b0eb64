// The settings: the reader of the INI-style file, and what start-up makes
// of the relay's own file.

#include "relay/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "doubles/failing_allocation.h"
#include "doubles/fake_client_platform.h"
#include "doubles/fake_desktop.h"
#include "app/run_relay.h"
#include "relay/operator_texts.h"
#include "relay/relay.h"
#include "relay/settings_reader.h"
#include "scratch_directory.h"

namespace quorvel {
namespace {

using testing::FailNextNothrowAllocations;
using testing::PendingNothrowFailures;

constexpr std::int32_t kDefault = -99;  // a default no file in these tests holds

// What start-up makes of the settings file in the working directory.
void LoadSettings(Relay& relay) { ApplySettings(relay, ReadSettings(texts::kSettingsFile)); }

class SettingsReaderTest : public ::testing::Test {
 protected:
  // Writes `content` to a file, opens it, selects `group` and reads `key`.
  std::int32_t Read(const std::string& content, const char* key, const char* group = "UDP Settings") {
    SettingsReader reader;
    if (!reader.OpenSettingsFile(dir.Write("JOX-UDP.ini", content).c_str())) {
      ADD_FAILURE() << "file not opened";
      return kDefault;
    }
    reader.SelectSettingsGroup(group);
    return reader.ReadSettingInteger(key, kDefault);
  }
  bool Selects(const std::string& content, const char* group = "UDP Settings") {
    SettingsReader reader;
    if (!reader.OpenSettingsFile(dir.Write("JOX-UDP.ini", content).c_str())) return false;
    return reader.SelectSettingsGroup(group);
  }

  testing::ScratchDirectory dir;
};

TEST_F(SettingsReaderTest, WithoutAnOpenFileEveryReadGivesItsDefault) {
  SettingsReader reader;
  EXPECT_EQ(reader.ReadSettingInteger("Port", 1234), 1234);
  EXPECT_FALSE(reader.OpenSettingsFile((dir.path() / "missing.ini").c_str()));
  EXPECT_FALSE(reader.SelectSettingsGroup("UDP Settings"));
  EXPECT_EQ(reader.ReadSettingInteger("Port", 1234), 1234);

  // Opening a missing file also drops the file that was open before.
  ASSERT_TRUE(reader.OpenSettingsFile(dir.Write("a.ini", "[UDP Settings]\nPort=7\n").c_str()));
  ASSERT_TRUE(reader.SelectSettingsGroup("UDP Settings"));
  ASSERT_EQ(reader.ReadSettingInteger("Port", 1234), 7);
  EXPECT_FALSE(reader.OpenSettingsFile((dir.path() / "missing.ini").c_str()));
  EXPECT_EQ(reader.ReadSettingInteger("Port", 1234), 1234);

  // And closing forgets the file and its group.
  ASSERT_TRUE(reader.OpenSettingsFile(dir.Write("b.ini", "[UDP Settings]\nPort=8\n").c_str()));
  ASSERT_TRUE(reader.SelectSettingsGroup("UDP Settings"));
  reader.CloseSettingsFile();
  EXPECT_EQ(reader.ReadSettingInteger("Port", 1234), 1234);
  EXPECT_FALSE(reader.SelectSettingsGroup("UDP Settings"));
  reader.CloseSettingsFile();  // a second close is harmless
}

TEST_F(SettingsReaderTest, OpeningAnotherFileReplacesTheEarlierOne) {
  SettingsReader reader;
  ASSERT_TRUE(reader.OpenSettingsFile(dir.Write("a.ini", "[UDP Settings]\nPort=1\nDebugging=1\n").c_str()));
  ASSERT_TRUE(reader.SelectSettingsGroup("UDP Settings"));
  ASSERT_TRUE(reader.OpenSettingsFile(dir.Write("b.ini", "[UDP Settings]\nPort=2\n").c_str()));
  ASSERT_TRUE(reader.SelectSettingsGroup("UDP Settings"));
  EXPECT_EQ(reader.ReadSettingInteger("Port", kDefault), 2);
  EXPECT_EQ(reader.ReadSettingInteger("Debugging", kDefault), kDefault);
}

TEST_F(SettingsReaderTest, BeforeAnyGroupIsSelectedReadsStartAtTheTopAndEndAtTheFirstHeader) {
  SettingsReader reader;
  ASSERT_TRUE(reader.OpenSettingsFile(dir.Write("a.ini", "Port=5\n[UDP Settings]\nPort=6\nDebugging=1\n").c_str()));
  EXPECT_EQ(reader.ReadSettingInteger("Port", kDefault), 5);
  EXPECT_EQ(reader.ReadSettingInteger("Debugging", kDefault), kDefault);
  // A group that is not there leaves no group selected at all.
  EXPECT_FALSE(reader.SelectSettingsGroup("Other"));
  EXPECT_EQ(reader.ReadSettingInteger("Port", kDefault), kDefault);
}

TEST_F(SettingsReaderTest, TheTextEndsAtTheFirstZeroByte) {
  const std::string content = std::string("[UDP Settings]\nPort=5\n") + '\0' + "Debugging=1\n";
  EXPECT_EQ(Read(content, "Port"), 5);
  EXPECT_EQ(Read(content, "Debugging"), kDefault);
  // A zero byte inside a value ends the number there.
  EXPECT_EQ(Read(std::string("[UDP Settings]\nPort=12") + '\0' + "34\n", "Port"), 12);
  // A file that is empty, or starts with a zero byte, holds nothing.
  EXPECT_EQ(Read("", "Port"), kDefault);
  EXPECT_EQ(Read(std::string(1, '\0') + "[UDP Settings]\nPort=5\n", "Port"), kDefault);
}

TEST_F(SettingsReaderTest, LongFilesAreReadWhole) {
  std::string content = "[UDP Settings]\n";
  while (content.size() < 20000) content += "; a long comment line that only takes up room in the file\n";
  content += "Port=4321";  // the last line, without a line feed
  EXPECT_EQ(Read(content, "Port"), 4321);
}

TEST_F(SettingsReaderTest, WhenMemoryForTheTextCannotBeHadEveryReadGivesItsDefault) {
  std::string longContent = "[UDP Settings]\nPort=5\n";
  while (longContent.size() < 20000) longContent += "; filler\n";
  const std::string shortFile = dir.Write("short.ini", "[UDP Settings]\nPort=5\n");
  const std::string longFile = dir.Write("long.ini", longContent);

  SettingsReader reader;
  FailNextNothrowAllocations(1);  // not even the first block
  EXPECT_FALSE(reader.OpenSettingsFile(shortFile.c_str()));
  EXPECT_EQ(PendingNothrowFailures(), 0);
  EXPECT_FALSE(reader.SelectSettingsGroup("UDP Settings"));
  EXPECT_EQ(reader.ReadSettingInteger("Port", kDefault), kDefault);

  FailNextNothrowAllocations(1, 1);  // the text has to grow, and the larger block is refused
  EXPECT_FALSE(reader.OpenSettingsFile(longFile.c_str()));
  EXPECT_EQ(PendingNothrowFailures(), 0);
  EXPECT_FALSE(reader.SelectSettingsGroup("UDP Settings"));
  EXPECT_EQ(reader.ReadSettingInteger("Port", kDefault), kDefault);

  // The same reader works again once memory is there.
  ASSERT_TRUE(reader.OpenSettingsFile(longFile.c_str()));
  ASSERT_TRUE(reader.SelectSettingsGroup("UDP Settings"));
  EXPECT_EQ(reader.ReadSettingInteger("Port", kDefault), 5);
}

TEST_F(SettingsReaderTest, GroupHeadersMatchTheWholeNameInAnyLetterCase) {
  EXPECT_TRUE(Selects("[udp settings]\n"));
  EXPECT_TRUE(Selects("[UDP SETTINGS]\n"));
  EXPECT_EQ(Read("[udp settings]\nPort=3\n", "Port"), 3);
  EXPECT_TRUE(Selects("[UDP Settings] anything ; after the bracket\n"));
  EXPECT_TRUE(Selects("[UDP Settings]"));  // the last line, without a line feed

  EXPECT_FALSE(Selects("[UDP Settings ]\n"));
  EXPECT_FALSE(Selects(" [UDP Settings]\n"));
  EXPECT_FALSE(Selects("[ UDP Settings]\n"));
  EXPECT_FALSE(Selects("[UDP Setting]\n"));
  EXPECT_FALSE(Selects("[UDP Settings2]\n"));
  EXPECT_FALSE(Selects("[UDP_Settings]\n"));
  EXPECT_FALSE(Selects("UDP Settings\n"));
  EXPECT_FALSE(Selects("x[UDP Settings]\n"));
  // Letters compare without case, other characters exactly.
  EXPECT_FALSE(Selects("[UDP\tSettings]\n"));
}

TEST_F(SettingsReaderTest, AHeaderNameEndsAtTheFirstBracketOrLineEnd) {
  // Without a closing bracket the name runs to the end of the line.
  EXPECT_TRUE(Selects("[UDP Settings\nPort=1\n"));
  EXPECT_TRUE(Selects("[UDP Settings"));
  // A carriage return before the line feed is then part of the name.
  EXPECT_FALSE(Selects("[UDP Settings\r\nPort=1\n"));
  // The first "]" ends the name.
  EXPECT_FALSE(Selects("[UDP] Settings]\n"));
  EXPECT_TRUE(Selects("[UDP]Settings]\n", "UDP"));
}

TEST_F(SettingsReaderTest, TheFirstMatchingHeaderSelectsTheGroup) {
  const std::string content =
      "[UDP Settings]\n"
      "Port=1\n"
      "[UDP Settings]\n"
      "Port=2\n"
      "Debugging=1\n";
  EXPECT_EQ(Read(content, "Port"), 1);
  // A key only present in the repeated group lies after the next header.
  EXPECT_EQ(Read(content, "Debugging"), kDefault);
}

TEST_F(SettingsReaderTest, KeysAreReadOnlyInsideTheSelectedGroup) {
  const std::string content =
      "Port=1\n"
      "[Other]\n"
      "Port=2\n"
      "SendBuffer Size=7\n"
      "[UDP Settings]\n"
      "Debugging=1\n"
      "[Later]\n"
      "Port=3\n";
  EXPECT_EQ(Read(content, "Port"), kDefault);
  EXPECT_EQ(Read(content, "SendBuffer Size"), kDefault);
  EXPECT_EQ(Read(content, "Debugging"), 1);
  EXPECT_EQ(Read(content, "Port", "Other"), 2);
  EXPECT_EQ(Read(content, "Port", "later"), 3);
  // Only a "[" as the very first character of a line ends the group.
  EXPECT_EQ(Read("[UDP Settings]\n  [Other]\nPort=4\n", "Port"), 4);
}

TEST_F(SettingsReaderTest, KeysMatchExactlyInAnyLetterCaseWithSpacesAround) {
  EXPECT_EQ(Read("[UDP Settings]\n   receivebuffer size   =   2048\n", "ReceiveBuffer Size"), 2048);
  EXPECT_EQ(Read("[UDP Settings]\nPORT=9\n", "Port"), 9);
  EXPECT_EQ(Read("[UDP Settings]\nPort = 9\n", "Port"), 9);

  // A tab is not a space: in front of the key, or between key and "=".
  EXPECT_EQ(Read("[UDP Settings]\n\tPort=9\n", "Port"), kDefault);
  EXPECT_EQ(Read("[UDP Settings]\nPort\t=9\n", "Port"), kDefault);
  // The key text must have exactly the key's length.
  EXPECT_EQ(Read("[UDP Settings]\nPorts=9\n", "Port"), kDefault);
  EXPECT_EQ(Read("[UDP Settings]\nPor=9\n", "Port"), kDefault);
  EXPECT_EQ(Read("[UDP Settings]\nMy Port=9\n", "Port"), kDefault);
  // Without "=" on its line a key has no value, and the next line is not it.
  EXPECT_EQ(Read("[UDP Settings]\nPort 9\n=8\n", "Port"), kDefault);
  EXPECT_EQ(Read("[UDP Settings]\nPort\n", "Port"), kDefault);
  // An empty key never matches, not even a line that starts with "=".
  EXPECT_EQ(Read("[UDP Settings]\n=5\n", ""), kDefault);
}

TEST_F(SettingsReaderTest, CommentLinesAreSkippedAndTheFirstMatchingLineCounts) {
  EXPECT_EQ(Read("[UDP Settings]\n;Port=1\n", "Port"), kDefault);
  EXPECT_EQ(Read("[UDP Settings]\n   ; Port=1\nPort=2\n", "Port"), 2);
  EXPECT_EQ(Read("[UDP Settings]\nPort=3\nPort=4\n", "Port"), 3);
  // A comment after the value leaves the value alone.
  EXPECT_EQ(Read("[UDP Settings]\nPort=4000 ; the relay's port\n", "Port"), 4000);
  EXPECT_EQ(Read("[UDP Settings]\nPort=4000;no space\n", "Port"), 4000);
  // Keys are found in any order, each search starting from the group's top.
  const std::string content = "[UDP Settings]\nDebugging=1\nSendBuffer Size=512\nPort=4000\n";
  SettingsReader reader;
  ASSERT_TRUE(reader.OpenSettingsFile(dir.Write("x.ini", content).c_str()));
  ASSERT_TRUE(reader.SelectSettingsGroup("UDP Settings"));
  EXPECT_EQ(reader.ReadSettingInteger("Port", kDefault), 4000);
  EXPECT_EQ(reader.ReadSettingInteger("Debugging", kDefault), 1);
  EXPECT_EQ(reader.ReadSettingInteger("SendBuffer Size", kDefault), 512);
}

TEST_F(SettingsReaderTest, ValuesAreReadAsLeadingDecimalIntegers) {
  auto value = [this](const std::string& text) { return Read("[UDP Settings]\nPort=" + text + "\n", "Port"); };
  EXPECT_EQ(value("-17"), -17);
  EXPECT_EQ(value("+17"), 17);
  EXPECT_EQ(value("0042"), 42);
  EXPECT_EQ(value("12abc"), 12);
  EXPECT_EQ(value("\t 42"), 42);  // after the spaces, white space before the number is skipped too
  EXPECT_EQ(value("0x10"), 0);
  EXPECT_EQ(value("1 2"), 1);
  // No digits: the value is 0, not the default.
  EXPECT_EQ(value("abc"), 0);
  EXPECT_EQ(value(""), 0);
  EXPECT_EQ(value("-"), 0);
  EXPECT_EQ(value("- 5"), 0);
  // The limits of 32 bits, and beyond them the nearest limit.
  EXPECT_EQ(value("2147483647"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(value("-2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(value("2147483648"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(value("99999999999999999999999"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(value("-99999999999999999999999"), std::numeric_limits<std::int32_t>::min());
}

TEST_F(SettingsReaderTest, AnEmptyValueDoesNotReachIntoTheNextLine) {
  EXPECT_EQ(Read("[UDP Settings]\nPort=\n4000\n", "Port"), 0);
  EXPECT_EQ(Read("[UDP Settings]\r\nPort=  \r\n4000\r\n", "Port"), 0);
  EXPECT_EQ(Read("[UDP Settings]\nPort=", "Port"), 0);
}

TEST_F(SettingsReaderTest, CarriageReturnLineFeedFilesReadLikeLineFeedFiles) {
  const std::string lf =
      "; settings of the relay\n"
      "[UDP Settings]\n"
      "Port=4000\n"
      "ReceiveBuffer Size = 2048\n"
      "SendBuffer Size=512\n"
      "Debugging=1\n";
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  for (const std::string& content : {lf, crlf}) {
    SCOPED_TRACE(content == lf ? "LF" : "CRLF");
    EXPECT_EQ(Read(content, "Port"), 4000);
    EXPECT_EQ(Read(content, "ReceiveBuffer Size"), 2048);
    EXPECT_EQ(Read(content, "SendBuffer Size"), 512);
    EXPECT_EQ(Read(content, "Debugging"), 1);
  }
}

TEST_F(SettingsReaderTest, OnlyALineFeedEndsALineAndOneCarriageReturnAfterItBelongsToTheBreak) {
  // Line feed then carriage return: the next line starts after both.
  EXPECT_EQ(Read("[UDP Settings]\n\rPort=5\n\r", "Port"), 5);
  EXPECT_TRUE(Selects("; top\n\r[UDP Settings]\n\r"));
  // Only one is skipped: a second one starts the next line.
  EXPECT_EQ(Read("[UDP Settings]\n\r\rPort=5\n", "Port"), kDefault);
  EXPECT_FALSE(Selects("; top\n\r\r[UDP Settings]\n"));
  // A carriage return on its own does not end a line.
  EXPECT_EQ(Read("[UDP Settings]\nPort=5\rDebugging=1\n", "Debugging"), kDefault);
  EXPECT_EQ(Read("[UDP Settings]\nPort=5\rDebugging=1\n", "Port"), 5);
  EXPECT_FALSE(Selects("; top\r[UDP Settings]\n"));
}

// Each test runs in a fresh working directory, where the relay looks for its
// settings file.
class LoadSettingsTest : public ::testing::Test {
 protected:
  void WriteSettings(const std::string& content) { dir.Write("JOX-UDP.ini", content); }
  static bool AllZero(const std::uint8_t* bytes, std::int32_t size) {
    return std::all_of(bytes, bytes + size, [](std::uint8_t byte) { return byte == 0; });
  }

  testing::ScratchDirectory dir{true};
  testing::FakeDesktop desktop;
  testing::FakeClientPlatform clients;
  Relay relay{desktop, clients};
};

TEST_F(LoadSettingsTest, WithoutASettingsFileEverySettingHasItsDefault) {
  LoadSettings(relay);
  EXPECT_EQ(relay.settings.port, 1234);
  EXPECT_EQ(relay.settings.sendBufferSize, 64);
  EXPECT_EQ(relay.settings.debugging, 0);
  EXPECT_FALSE(relay.Debugging());
  EXPECT_EQ(relay.settings.debugEntries, kDefaultDebugEntries);

  EXPECT_EQ(relay.receiveBuffer.size(), 64);
  ASSERT_NE(relay.receiveBuffer.data(), nullptr);
  EXPECT_EQ(relay.receiveBuffer.capacity(), 64);
  EXPECT_TRUE(AllZero(relay.receiveBuffer.data(), 64));
  ASSERT_NE(relay.clientDataBuffer.data(), nullptr);
  EXPECT_EQ(relay.clientDataBuffer.size(), 64);
  EXPECT_TRUE(AllZero(relay.clientDataBuffer.data(), 64));
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
  EXPECT_EQ(relay.settings.sendBufferSize, 512);
  EXPECT_TRUE(relay.Debugging());
  EXPECT_EQ(relay.receiveBuffer.size(), 2048);
  EXPECT_EQ(relay.receiveBuffer.capacity(), 2048);
  EXPECT_TRUE(AllZero(relay.receiveBuffer.data(), 2048));
  EXPECT_EQ(relay.clientDataBuffer.size(), 512);
  EXPECT_TRUE(AllZero(relay.clientDataBuffer.data(), 512));
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
    for (int i = 0; i < 30000; ++i) fresh.log.Line("x");
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
  EXPECT_EQ(relay.receiveBuffer.size(), 64);
  EXPECT_TRUE(relay.Debugging());
}

TEST_F(LoadSettingsTest, SizesOfZeroOrLessStartWithoutABuffer) {
  WriteSettings("[UDP Settings]\nReceiveBuffer Size=0\nSendBuffer Size=-5\n");
  LoadSettings(relay);
  EXPECT_EQ(relay.receiveBuffer.size(), 0);
  EXPECT_EQ(relay.receiveBuffer.data(), nullptr);
  EXPECT_EQ(relay.settings.sendBufferSize, -5);
  EXPECT_EQ(relay.clientDataBuffer.data(), nullptr);

  // A negative receive size stays as it is; the receive loop grows it from there.
  WriteSettings("[UDP Settings]\nReceiveBuffer Size=-3000\nSendBuffer Size=0\n");
  Relay another{desktop, clients};
  LoadSettings(another);
  EXPECT_EQ(another.receiveBuffer.size(), -3000);
  EXPECT_EQ(another.receiveBuffer.data(), nullptr);
  EXPECT_EQ(another.settings.sendBufferSize, 0);
  EXPECT_EQ(another.clientDataBuffer.data(), nullptr);
}

TEST_F(LoadSettingsTest, AKeyWithoutDigitsReadsAsZeroNotAsItsDefault) {
  WriteSettings("[UDP Settings]\nPort=\nReceiveBuffer Size=none\nDebugging=on\n");
  LoadSettings(relay);
  EXPECT_EQ(relay.settings.port, 0);
  EXPECT_EQ(relay.receiveBuffer.size(), 0);
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
