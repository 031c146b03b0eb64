#include "app/run_relay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "doubles/fake_client_platform.h"
#include "doubles/fake_desktop.h"
#include "loopback_udp.h"
#include "quorvel_wire.h"
#include "relay/relay.h"
#include "scratch_directory.h"
#include "table_walk.h"

// The relay ends its process, so each case runs it in a death-test child.
// The child checks what it saw just before the process ends and prints one
// verdict, with the details of every failed check, for the parent to match.

namespace quorvel {
namespace {

using loopback::FreeUdpPort;
using loopback::UdpSocket;
using loopback::DatagramQueued;

constexpr char kAllChecksPassed[] = "start-up checks passed";
constexpr int kMostPolls = 1000;  // a loop that should have ended long before is cut off here

std::string PortMessage(long port) {
  return "Es war nicht m\xF6" "glich einen Server auf dem Port " + std::to_string(port) +
         " UDP zu erstellen.\nVielleicht l\xE4" "uft Quorvel.exe schon oder ein anderes Programm belegt den Port.";
}

// The desktop double, with a last look at everything before the process ends.
class ObservingDesktop : public testing::FakeDesktop {
 public:
  EndRequest PollWindowEvent() override {
    if (polls >= kMostPolls) {
      std::fprintf(stderr, "the main loop did not end\n");
      std::_Exit(3);
    }
    return FakeDesktop::PollWindowEvent();
  }
  [[noreturn]] void EndProcess() override {
    if (atEnd) atEnd();
    FakeDesktop::EndProcess();
  }
  std::function<void()> atEnd;
};

// What one run of the relay sets up and checks, all inside the child.
struct RelayRun {
  ObservingDesktop desktop;
  testing::FakeClientPlatform clients;
  Relay relay{desktop, clients};
  std::vector<std::string> failures;

  void Check(bool holds, const std::string& what) {
    if (!holds) failures.push_back(what);
  }
};

// Runs the relay from a fresh working directory that holds `settings` as the
// settings file (none when empty). `prepare` scripts the desktop and adds the
// checks made when the process ends. Never returns.
[[noreturn]] void RunRelayWith(const std::string& settings, const std::function<void(RelayRun&)>& prepare) {
  auto* directory = new testing::ScratchDirectory(true);
  if (!settings.empty()) directory->Write("JOX-UDP.ini", settings);
  auto* run = new RelayRun;
  prepare(*run);
  std::function<void()> prepared = std::move(run->desktop.atEnd);
  run->desktop.atEnd = [run, directory, prepared] {
    if (prepared) prepared();
    run->Check(run->desktop.destroyCalls == 1, "the main window is destroyed once before the end");
    delete directory;
    for (const std::string& failure : run->failures) std::fprintf(stderr, "FAILED: %s\n", failure.c_str());
    if (run->failures.empty()) std::fprintf(stderr, "%s\n", kAllChecksPassed);
  };
  RunRelay(run->relay);
}

std::string PortSettings(std::uint16_t port, const std::string& more = "") {
  return "[UDP Settings]\nPort=" + std::to_string(port) + "\n" + more;
}

class RunRelayTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(RunRelayTest, ATakenPortIsShownOnceAndEndsTheRelayBeforeTheLoop) {
  for (const char* debugging : {"0", "1"}) {
    SCOPED_TRACE(debugging);
    EXPECT_EXIT(
        {
          const auto* holder = new UdpSocket("0.0.0.0");  // stays bound until the process ends
          const std::uint16_t port = holder->port();
          RunRelayWith(PortSettings(port, std::string("Debugging=") + debugging + "\n"), [port](RelayRun& run) {
            // The box is modal: client messages still arrive while it is open.
            run.desktop.onErrorBox = [&run] {
              run.clients.AddProcess(31, 0x310);
              run.Check(run.desktop.Deliver(QV_PROCESS_ID_MESSAGE, 0, 31) == 1,
                        "a client registers while the box is open");
            };
            run.desktop.atEnd = [&run, port] {
              run.Check(run.desktop.boxes.size() == 1, "exactly one box");
              if (!run.desktop.boxes.empty()) {
                run.Check(run.desktop.boxes[0].caption == "Error", "caption Error");
                run.Check(run.desktop.boxes[0].text == PortMessage(port), "the port message with the port");
              }
              run.Check(run.desktop.polls == 0, "no poll after the failure");
              run.Check(run.desktop.shownIcons.empty(), "no icon for a relay that did not start");
              // The window's own line, then only what the client's message
              // logged; nothing about the failure.
              const std::string log = run.relay.log.Render();
              const std::string window = "Fenster mit der hwnd 2752582 erstellt\n";
              if (run.relay.Debugging()) {
                run.Check(log.compare(0, window.size(), window) == 0 && log.find("Server") == std::string::npos &&
                              log.find("Port") == std::string::npos,
                          "log: " + log);
              } else {
                run.Check(log.empty(), "log: " + log);
              }
            };
          });
        },
        ::testing::ExitedWithCode(0), kAllChecksPassed);
  }
}

// A port that is not one from 1 to 65535 ends the relay with the port
// message as for a taken port, showing the number the setting gave, and
// binds nothing.
TEST_F(RunRelayTest, APortOutsideOneTo65535IsShownAndEndsTheRelay) {
  struct Case {
    const char* setting;
    long shown;
  };
  const Case cases[] = {{"abc", 0}, {"0", 0}, {"-5", -5}, {"65536", 65536}, {"70000", 70000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    EXPECT_EXIT(
        {
          RunRelayWith(std::string("[UDP Settings]\nPort=") + c.setting + "\nDebugging=1\n", [&c](RelayRun& run) {
            run.desktop.atEnd = [&run, &c] {
              run.Check(run.desktop.boxes.size() == 1 && run.desktop.boxes[0].caption == "Error" &&
                            run.desktop.boxes[0].text == PortMessage(c.shown),
                        "the port message with the configured number");
              run.Check(run.relay.serverEndpoint.socketHandle == 0, "nothing bound");
              run.Check(run.desktop.polls == 0, "no poll");
              run.Check(run.desktop.announcements == 0, "no start announced");
              run.Check(run.relay.log.Render().find("Server auf Port") == std::string::npos, "no server line");
            };
          });
        },
        ::testing::ExitedWithCode(0), kAllChecksPassed);
  }
}

TEST_F(RunRelayTest, WithoutASettingsFileTheRelayServesPort1234Silently) {
  // Port 1234 is held here, by this test or by someone else: either way the
  // relay must fail on it, which shows that it went for that port.
  EXPECT_EXIT(
      {
        new UdpSocket("0.0.0.0", 1234);  // stays bound until the process ends
        RunRelayWith("", [](RelayRun& run) {
          run.desktop.atEnd = [&run] {
            run.Check(run.relay.settings.port == 1234, "port 1234");
            run.Check(run.desktop.createCalls == 1 && !run.desktop.createdWithLog, "a hidden window without log");
            run.Check(run.relay.log.empty() && run.desktop.view.shown.empty(), "nothing logged");
            run.Check(run.desktop.boxes.size() == 1 && run.desktop.boxes[0].text == PortMessage(1234),
                      "the port message for 1234");
          };
        });
      },
      ::testing::ExitedWithCode(0), kAllChecksPassed);
}

TEST_F(RunRelayTest, WithDebuggingTheLogStartsWithTheWindowAndServerLinesAtTheTop) {
  EXPECT_EXIT(
      {
        const std::uint16_t port = FreeUdpPort();
        RunRelayWith(PortSettings(port, "Debugging=257\n"), [port](RelayRun& run) {
          // Only the low 32 bits of the handle count, taken as signed.
          run.desktop.windowHandle = static_cast<WindowHandle>(0x00000001FFFF0010LL);
          run.desktop.scriptedPolls = {EndRequest::Close};
          run.desktop.atEnd = [&run, port] {
            const std::string window = "Fenster mit der hwnd -65520 erstellt";
            const std::string server = "Server auf Port " + std::to_string(port) + " initalisiert";
            run.Check(run.desktop.createdWithLog, "the window is created with the log");
            const std::string ended = "Programm wird beendet: Fenster geschlossen";
            run.Check(run.relay.log.Render() == window + "\n" + server + "\n" + ended + "\n",
                      "log: " + run.relay.log.Render());
            const auto& shown = run.desktop.view.shown;
            run.Check(shown.size() == 3 && shown[0].text == window && shown[1].text == server &&
                          shown[0].parent == LogView::kTopLevel && shown[1].parent == LogView::kTopLevel,
                      "the start-up lines reach the view at the top level");
            run.Check(run.desktop.boxes.empty(), "no box");
            run.Check(run.desktop.announcements == 1, "the start announced once");
          };
        });
      },
      ::testing::ExitedWithCode(0), kAllChecksPassed);
}

TEST_F(RunRelayTest, WithDebuggingOffTheWindowIsHiddenAndNothingIsLogged) {
  EXPECT_EXIT(
      {
        const std::uint16_t port = FreeUdpPort();
        RunRelayWith(PortSettings(port, "Debugging=2\n"), [](RelayRun& run) {
          run.desktop.scriptedPolls = {EndRequest::None, EndRequest::Close};
          run.desktop.atEnd = [&run] {
            run.Check(run.desktop.createCalls == 1 && !run.desktop.createdWithLog, "a hidden window without log");
            run.Check(run.relay.log.empty() && run.desktop.view.shown.empty(), "nothing logged");
            run.Check(run.desktop.HasCallback(), "the callback is installed");
            run.Check(run.desktop.boxes.empty(), "no box");
            run.Check(run.desktop.polls == 2, "polled until the close request");
          };
        });
      },
      ::testing::ExitedWithCode(0), kAllChecksPassed);
}

TEST_F(RunRelayTest, ClientMessagesDeliveredDuringAPollReachTheClientCallback) {
  EXPECT_EXIT(
      {
        const std::uint16_t port = FreeUdpPort();
        RunRelayWith(PortSettings(port), [](RelayRun& run) {
          run.clients.AddProcess(77, 0x4D0);
          run.desktop.scriptedPolls = {EndRequest::None, EndRequest::Close};
          run.desktop.onPoll = [&run] {
            if (run.desktop.polls != 1) return;
            run.Check(run.desktop.Deliver(QV_PROCESS_ID_MESSAGE, 0, 77) == 1, "the client is registered");
          };
          run.desktop.atEnd = [&run] {
            const VirtualServer* entry = testing::EntryOf(run.relay.table, 0x4D0);
            run.Check(entry != nullptr, "the relay's own table holds the client");
          };
        });
      },
      ::testing::ExitedWithCode(0), kAllChecksPassed);
}

TEST_F(RunRelayTest, ACloseRequestEndsTheLoopAtOnceWithoutTakingWaitingDatagrams) {
  EXPECT_EXIT(
      {
        const std::uint16_t port = FreeUdpPort();
        RunRelayWith(PortSettings(port), [port](RelayRun& run) {
          run.desktop.scriptedPolls = {EndRequest::Close};
          run.desktop.onPoll = [&run, port] {
            UdpSocket().SendTo(port, std::string(100, 'x'));
            run.Check(DatagramQueued(run.relay.serverEndpoint), "the datagram is queued");
          };
          run.desktop.atEnd = [&run] {
            run.Check(run.desktop.polls == 1, "one poll");
            run.Check(DatagramQueued(run.relay.serverEndpoint, std::chrono::milliseconds(0)),
                      "the datagram is still waiting");
          };
        });
      },
      ::testing::ExitedWithCode(0), kAllChecksPassed);
}

// A datagram that comes while a message is handled raises the socket's
// handle; the wait reports it before any message, so it is taken before the
// poll after next, however many messages are queued.
TEST_F(RunRelayTest, ADatagramIsTakenWithinATurnWhileMessagesKeepComing) {
  EXPECT_EXIT(
      {
        const std::uint16_t port = FreeUdpPort();
        RunRelayWith(PortSettings(port), [port](RelayRun& run) {
          run.desktop.scriptedPolls = {EndRequest::None, EndRequest::None, EndRequest::None, EndRequest::Close};
          run.desktop.onPoll = [&run, port] {
            if (run.desktop.polls == 4) {
              run.Check(!DatagramQueued(run.relay.serverEndpoint, std::chrono::milliseconds(0)),
                        "the datagram of poll 2 was taken");
            }
            if (run.desktop.polls == 2) {
              UdpSocket().SendTo(port, std::string(10, 'x'));
              run.Check(DatagramQueued(run.relay.serverEndpoint), "the datagram is queued");
            }
          };
          run.desktop.atEnd = [&run] { run.Check(run.desktop.polls == 4, "four polls"); };
        });
      },
      ::testing::ExitedWithCode(0), kAllChecksPassed);
}

// Every way of ending writes its own line, and the log file holds it when
// the process ends: a file that ends without one tells of a crash.
TEST_F(RunRelayTest, EachWayOfEndingLeavesItsOwnLastLineInTheLogFile) {
  struct Case {
    EndRequest request;
    const char* line;
  };
  const Case cases[] = {
      {EndRequest::Close, "Programm wird beendet: Fenster geschlossen"},
      {EndRequest::EndCommand, "Programm wird beendet: \xFC" "ber das Symbol im Infobereich"},
      {EndRequest::SessionEnd, "Programm wird beendet: Windows-Sitzung endet"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EXIT(
        {
          const std::uint16_t port = FreeUdpPort();
          RunRelayWith(PortSettings(port, "Log File=relay.log\n"), [&c](RelayRun& run) {
            if (c.request == EndRequest::SessionEnd) {
              // The system's message arrives inside a poll; the relay ends there.
              run.desktop.onPoll = [&run] {
                if (run.desktop.sessionEnd) run.desktop.sessionEnd();
              };
            } else {
              run.desktop.scriptedPolls = {EndRequest::None, c.request};
            }
            run.desktop.atEnd = [&run, &c] {
              std::FILE* file = std::fopen("relay.log", "rb");
              std::string bytes(4096, '\0');
              bytes.resize(file != nullptr ? std::fread(bytes.data(), 1, bytes.size(), file) : 0);
              if (file != nullptr) std::fclose(file);
              const std::string last = std::string(c.line) + "\r\n";
              run.Check(bytes.size() > last.size() && bytes.compare(bytes.size() - last.size(), last.size(), last) == 0,
                        "the file ends with the ending line: " + bytes);
            };
          });
        },
        ::testing::ExitedWithCode(0), kAllChecksPassed);
  }
}

TEST_F(RunRelayTest, TheIconComesWithThePortTheLogAndTheFileUnlessSwitchedOff) {
  for (const char* iconSetting : {"", "Tray Icon=0\n"}) {
    SCOPED_TRACE(iconSetting);
    EXPECT_EXIT(
        {
          const std::uint16_t port = FreeUdpPort();
          RunRelayWith(PortSettings(port, std::string("Debugging=1\nLog File=r.log\n") + iconSetting),
                       [port, iconSetting](RelayRun& run) {
                         run.desktop.scriptedPolls = {EndRequest::Close};
                         run.desktop.atEnd = [&run, port, iconSetting] {
                           const auto& icons = run.desktop.shownIcons;
                           if (*iconSetting != '\0') {
                             run.Check(icons.empty(), "no icon when switched off");
                             return;
                           }
                           run.Check(icons.size() == 1 && icons[0].port == port && icons[0].withLog &&
                                         icons[0].logFile == "r.log",
                                     "one icon with the port, the log and the file");
                         };
                       });
        },
        ::testing::ExitedWithCode(0), kAllChecksPassed);
  }
}

// The main loop sleeps in WaitForWork with no time limit; these two wake it
// from another thread, each with one of the two kinds of work, and fail on
// a deadline when the loop slept on. A loop that did not sleep at all would
// show in the count of its turns: one before the wake-up, one or two for
// the work, one for the close request.
constexpr int kMostTurnsForOneWakeUp = 4;

// Runs `wakeUp` on a thread of its own once the relay's loop has begun; what
// it returns ("" = fine) is checked, then a close request ends the loop.
void WakeFromAnotherThread(RelayRun& run, const std::function<std::string(RelayRun&)>& wakeUp) {
  run.desktop.onPoll = [&run, wakeUp] {
    if (run.desktop.polls != 1) return;
    std::thread([&run, wakeUp] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the loop is asleep by now
      const std::string failure = wakeUp(run);
      if (!failure.empty()) {
        std::fprintf(stderr, "FAILED: %s\n", failure.c_str());
        std::_Exit(4);
      }
      run.desktop.RequestCloseFromOtherThread();
    }).detach();
  };
}

TEST_F(RunRelayTest, TheSleepingLoopWakesForAClientMessageWithNoDatagramWaiting) {
  EXPECT_EXIT(
      {
        const std::uint16_t port = FreeUdpPort();
        RunRelayWith(PortSettings(port), [](RelayRun& run) {
          run.clients.AddProcess(77, 0x4D0);
          WakeFromAnotherThread(run, [](RelayRun& woken) -> std::string {
            const auto answer = woken.desktop.SendFromOtherThread(QV_PROCESS_ID_MESSAGE, 0, 77, std::chrono::seconds(5));
            if (!answer) return "the loop did not wake for a sent client message";
            return *answer == 1 ? "" : "the client message was answered " + std::to_string(*answer);
          });
          run.desktop.atEnd = [&run] {
            run.Check(run.desktop.polls <= kMostTurnsForOneWakeUp, "turns: " + std::to_string(run.desktop.polls));
            run.Check(testing::EntryOf(run.relay.table, 0x4D0) != nullptr, "the client is registered");
          };
        });
      },
      ::testing::ExitedWithCode(0), kAllChecksPassed);
}

TEST_F(RunRelayTest, TheSleepingLoopWakesForADatagramWithNoMessageWaiting) {
  EXPECT_EXIT(
      {
        const std::uint16_t port = FreeUdpPort();
        RunRelayWith(PortSettings(port), [port](RelayRun& run) {
          WakeFromAnotherThread(run, [port](RelayRun&) -> std::string {
            // A stranger's login is refused from the server port: the reply
            // shows that the datagram was taken and handled.
            const UdpSocket stranger;
            stranger.SendTo(port, loopback::Bytes({0x01, 0x07, 0x00, 0x00, 0x00}));
            const auto answer = stranger.Next();
            if (!answer) return "the loop did not wake for a datagram";
            return answer->bytes == "\x03" ? "" : "the stranger got " + answer->bytes;
          });
          run.desktop.atEnd = [&run] {
            run.Check(run.desktop.polls <= kMostTurnsForOneWakeUp, "turns: " + std::to_string(run.desktop.polls));
            run.Check(!DatagramQueued(run.relay.serverEndpoint, std::chrono::milliseconds(0)), "nothing is left queued");
          };
        });
      },
      ::testing::ExitedWithCode(0), kAllChecksPassed);
}

}  // namespace
}  // namespace quorvel
