// The operator's log file: what lands in it, with the debug window shown or
// not, how it is bounded on disk, and what happens when it cannot be written.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "doubles/fake_client_platform.h"
#include "doubles/fake_desktop.h"
#include "log/debug_log.h"
#include "app/run_relay.h"
#include "relay/operator_texts.h"
#include "relay/relay.h"
#include "scratch_directory.h"

namespace quorvel {
namespace {

// What start-up makes of the settings file in the working directory.
void LoadSettings(Relay& relay) { ApplySettings(relay, ReadSettings(texts::kSettingsFile)); }

constexpr char kFailure[] = "Die Logdatei %s kann nicht geschrieben werden";

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The lines of a log file without their time stamps; each stamp must be the
// local time's shape and each line must end in CR LF.
std::vector<std::string> Unstamped(const std::string& bytes) {
  static const std::regex stamped(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  (.*)\r$)");
  std::vector<std::string> lines;
  std::istringstream in(bytes);
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    EXPECT_TRUE(std::regex_match(line, match, stamped)) << line;
    lines.push_back(match[1]);
  }
  return lines;
}

void WriteEvent(DebugLog& log, const char* event, long number) {
  log.Line("%s", event);
  log.OpenGroup();
  log.Line("Absender %ld", number);
  const std::uint8_t text[] = {'H', 0xE4, 'l', 0, 'x'};  // Windows-1252 bytes, cut at the zero
  log.Text(text, sizeof text);
  log.CloseGroup();
}

class LogFileTest : public ::testing::Test {
 protected:
  std::filesystem::path File(const char* name = "relay.log") const { return dir.path() / name; }
  testing::ScratchDirectory dir;
};

TEST_F(LogFileTest, EveryLineGoesToTheFileIndentedByDepthWithOrWithoutTheTree) {
  for (const bool debugging : {false, true}) {
    SCOPED_TRACE(debugging);
    const auto file = File(debugging ? "tree.log" : "file-only.log");
    DebugLog log;
    log.Enable(debugging);
    log.WriteToFile(file.string(), 1 << 20, kFailure);
    ASSERT_TRUE(log.active());
    WriteEvent(log, "WindowEvent", 160);
    WriteEvent(log, "SendeEvent", -5);
    log.Flush();

    EXPECT_EQ(Unstamped(ReadAll(file)),
              (std::vector<std::string>{"WindowEvent", "  Absender 160", "  H\xE4l", "SendeEvent", "  Absender -5",
                                        "  H\xE4l"}));
    // The tree holds what it held before; without debugging it is no log anyone reads.
    if (debugging) {
      EXPECT_EQ(log.Render(), "WindowEvent\n  Absender 160\n  H\xE4l\nSendeEvent\n  Absender -5\n  H\xE4l\n");
    }
  }
}

TEST_F(LogFileTest, ControlBytesInATextAreEscapedSoThatNoTextStartsALineOfItsOwn) {
  struct Case {
    std::string text;
    std::string inFile;
  };
  const Case cases[] = {
      {"Hallo\r\n2026-01-01 00:00:00  EmpfangsEvent", "Hallo\\r\\n2026-01-01 00:00:00  EmpfangsEvent"},
      {"lone\rCR lone\nLF", "lone\\rCR lone\\nLF"},
      {"tab\there \x01\x1B\x1F end", "tab\\there \\x01\\x1B\\x1F end"},
      {"C:\\Pfad\\n", "C:\\\\Pfad\\\\n"},  // a literal backslash reads back unlike an escape
      {"\x20\x7F\xE4\xFF", "\x20\x7F\xE4\xFF"},
  };
  const auto file = File();
  DebugLog log;
  log.Enable(true);
  log.WriteToFile(file.string(), 1 << 20, kFailure);
  std::vector<std::string> expected;
  std::string tree;
  for (const Case& c : cases) {
    log.Text(reinterpret_cast<const std::uint8_t*>(c.text.data()), static_cast<std::int32_t>(c.text.size()));
    expected.push_back(c.inFile);
    tree += c.text + "\n";
  }
  log.Flush();
  EXPECT_EQ(Unstamped(ReadAll(file)), expected);
  EXPECT_EQ(log.Render(), tree);  // the tree shows the texts as they came
}

TEST_F(LogFileTest, WithoutDebuggingAndWithoutAWritableFileNothingIsKept) {
  for (const bool fileNamed : {false, true}) {
    SCOPED_TRACE(fileNamed);
    DebugLog log;
    // A file that cannot be opened leaves no trace either.
    if (fileNamed) log.WriteToFile((dir.path() / "no-such-folder" / "relay.log").string(), 1 << 20, kFailure);
    EXPECT_FALSE(log.active());
    WriteEvent(log, "WindowEvent", 1);
    EXPECT_TRUE(log.empty());
  }
}

TEST_F(LogFileTest, AFullFileIsRotatedOnceAndTheDiskHoldsAtMostTwoFiles) {
  const auto file = File();
  constexpr std::int64_t kLimit = 400;
  DebugLog log;
  log.WriteToFile(file.string(), kLimit, kFailure);
  for (int event = 0; event < 40; ++event) WriteEvent(log, "WindowEvent", event);
  log.Flush();

  const auto current = Unstamped(ReadAll(file));
  const auto older = Unstamped(ReadAll(file.string() + ".1"));
  EXPECT_LE(std::filesystem::file_size(file), kLimit);
  EXPECT_LE(std::filesystem::file_size(file.string() + ".1"), kLimit);
  EXPECT_FALSE(std::filesystem::exists(file.string() + ".2"));
  ASSERT_FALSE(current.empty());
  ASSERT_FALSE(older.empty());
  EXPECT_EQ(current.back(), "  H\xE4l");
  EXPECT_EQ(current[current.size() - 2], "  Absender 39");
  // No line is lost at the seam between the two files.
  const std::string lastOlder = older[older.size() - 2];
  const std::string firstCurrent = current[0] == "WindowEvent" ? current[1] : current[0];
  EXPECT_EQ(std::stol(firstCurrent.substr(firstCurrent.rfind(' ') + 1)),
            std::stol(lastOlder.substr(lastOlder.rfind(' ') + 1)) + 1);
}

TEST_F(LogFileTest, AnEarlierRunsLinesAreKeptAndFollowedByTheNewOnes) {
  const auto file = File();
  dir.Write("relay.log", "2026-01-01 00:00:00  alt\r\n");
  DebugLog log;
  log.WriteToFile(file.string(), 1 << 20, kFailure);
  log.Line("neu");
  log.Flush();
  EXPECT_EQ(Unstamped(ReadAll(file)), (std::vector<std::string>{"alt", "neu"}));
}

TEST_F(LogFileTest, AFileThatCannotBeOpenedIsReportedOnceInTheTreeAndTheRelayLogsOn) {
  const auto file = dir.path() / "no-such-folder" / "relay.log";
  DebugLog log;
  log.Enable(true);
  log.WriteToFile(file.string(), 1 << 20, kFailure);
  log.Line("Fenster mit der hwnd %ld erstellt", 65614L);
  log.Line("Server auf Port %ld initalisiert", 1234L);
  EXPECT_EQ(log.Render(), "Die Logdatei " + file.string() +
                              " kann nicht geschrieben werden\n"
                              "Fenster mit der hwnd 65614 erstellt\n"
                              "Server auf Port 1234 initalisiert\n");
  EXPECT_FALSE(std::filesystem::exists(file));
}

class LogFileSettingsTest : public ::testing::Test {
 protected:
  testing::ScratchDirectory dir{true};
  testing::FakeDesktop desktop;
  testing::FakeClientPlatform clients;
  Relay relay{desktop, clients};
};

TEST_F(LogFileSettingsTest, TheSettingsNameTheFileAndItsSizeInKb) {
  struct Case {
    const char* lines;
    const char* file;
    std::int32_t sizeKb;
  };
  const Case cases[] = {
      {"", "", kDefaultLogFileSizeKb},
      {"Log File = relay.log  \r\n", "relay.log", kDefaultLogFileSizeKb},
      {"log file=C:\\Logs\\Quorvel relay.log\r\nLog File Size=64\r\n", "C:\\Logs\\Quorvel relay.log", 64},
      {"Log File=relay.log\r\nLog File Size=0\r\n", "relay.log", kDefaultLogFileSizeKb},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    dir.Write("JOX-UDP.ini", std::string("[UDP Settings]\r\n") + c.lines);
    Relay fresh{desktop, clients};
    LoadSettings(fresh);
    EXPECT_EQ(fresh.settings.logFile, c.file);
    EXPECT_EQ(fresh.settings.logFileSizeKb, c.sizeKb);
  }
}

TEST_F(LogFileSettingsTest, ANamedFileIsWrittenWithDebuggingOff) {
  dir.Write("JOX-UDP.ini", "[UDP Settings]\r\nDebugging=0\r\nLog File=relay.log\r\n");
  LoadSettings(relay);
  EXPECT_FALSE(relay.Debugging());
  relay.log.Line("Server auf Port %ld initalisiert", 1234L);
  relay.log.Flush();
  EXPECT_EQ(Unstamped(ReadAll(dir.path() / "relay.log")), std::vector<std::string>{"Server auf Port 1234 initalisiert"});
}

}  // namespace
}  // namespace quorvel
