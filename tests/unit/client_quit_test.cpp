// The Quit command ends the relay inside the client's message, with exit
// code 0 and without an answer.

#include <gtest/gtest.h>

#include <cstdio>

#include "client_link_fixture.h"

namespace quorvel::testing {
namespace {

// Shows the log on stderr, where the death test's parent can read it.
struct StderrView : LogView {
  void ShowLine(std::size_t, std::size_t, const char* text) override { std::fprintf(stderr, "log: %s\n", text); }
};

using QuitCommand = ClientLinkTest;

TEST_F(QuitCommand, EndsTheProcessWithExitCodeZeroWithoutAnswering) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        StderrView view;
        relay.log.AttachView(&view);
        Announce(77, 0x1234);
        const std::uint32_t answer = Hand(0x1234, 0x4000, QuitRecord());
        std::fprintf(stderr, "answered %u\n", answer);
      },
      ::testing::ExitedWithCode(0),
      "log: WindowEvent\nlog: Login von 4660\nlog: WindowEvent\nlog: Nachricht\nlog: Absender 4660\n"
      "log: Programm wird beendet\n$");
}

TEST_F(QuitCommand, EndsTheProcessWithDebuggingOffToo) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  relay.settings.debugging = 0;
  EXPECT_EXIT(
      {
        Announce(77, 0x1234);
        const std::uint32_t answer = Hand(0x1234, 0x4000, QuitRecord() + "trailing");
        std::fprintf(stderr, "answered %u\n", answer);
      },
      ::testing::ExitedWithCode(0), "^$");
}

// A record of length 0 would leave the previous record's code byte to act
// on; a Quit left over in the buffer must not end the relay.
TEST_F(QuitCommand, AnEmptyRecordDoesNotRunTheCodeLeftInTheBuffer) {
  Announce(77, 0x1234);
  relay.clientDataBuffer.data()[0] = 4;
  clients.PutMemory(0x1234, 0x4000, QuitRecord());
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x4000, 0), 0u);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x4000, -1), 0u);
  EXPECT_EQ(ClientWindowCallback(relay, QV_DATA_MESSAGE, 0x4001, 1), NotHandled);
}

}  // namespace
}  // namespace quorvel::testing
