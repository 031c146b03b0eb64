// SendText, SendLogin and the codes that do nothing: the datagrams that
// leave for the partner and the lines that describe them.

#include <gtest/gtest.h>

#include "relay/command_record.h"
#include "client_link_fixture.h"

namespace quorvel::testing {
namespace {

class SendCommandsTest : public ClientLinkTest {
 protected:
  void SetUp() override {
    ClientLinkTest::SetUp();
    Announce(77, 0x1234);
    ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(1, 0x00030042, "127.0.0.1")), 1u);
    logBefore = Log();
  }

  // The lines written since SetUp.
  std::string NewLog() const { return Log().substr(logBefore.size()); }

  std::string logBefore;
};

TEST_F(SendCommandsTest, SendTextSendsTheTextAsOneTextDatagramFromTheEntrysSocket) {
  EXPECT_EQ(Hand(0x1234, 0x5000, TextRecord("abc")), 1u);
  const auto text = partner.Next();
  ASSERT_TRUE(text);
  EXPECT_EQ(text->bytes, "\x07" "abc");

  EXPECT_EQ(Hand(0x1234, 0x5100, LoginRecord()), 1u);
  const auto login = partner.Next();
  ASSERT_TRUE(login);
  EXPECT_EQ(login->sourcePort, text->sourcePort);

  EXPECT_EQ(NewLog(),
            "WindowEvent\n"
            "  Nachricht\n"
            "  Absender 4660\n"
            "  Ein Nachricht wird versendet\n"
            "  Sie enth\xE4" "lt den folgenden Text:\n"
            "  abc\n"
            "SendeEvent\n"
            "  Sende Daten von 4660\n"
            "  Folgende Daten werden gesendet:\n"
            "  abc\n"
            "WindowEvent\n"
            "  Nachricht\n"
            "  Absender 4660\n"
            "SendeEvent\n"
            "  Login wird gesendet\n"
            "  Mit den folgenden Daten: Name:1 IP:127.0.0.1 hnwd:196674\n");
}

TEST_F(SendCommandsTest, SendTextPassesZeroBytesOnButShowsTheTextOnlyUpToTheFirst) {
  EXPECT_EQ(Hand(0x1234, 0x5000, TextRecord(std::string("a\0b\xFF", 4))), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x07" "a\0b\xFF", 5));
  EXPECT_EQ(NewLog(),
            "WindowEvent\n  Nachricht\n  Absender 4660\n"
            "  Ein Nachricht wird versendet\n  Sie enth\xE4" "lt den folgenden Text:\n  a\n"
            "SendeEvent\n  Sende Daten von 4660\n  Folgende Daten werden gesendet:\n  a\n");
}

TEST_F(SendCommandsTest, AnEmptyTextIsATextDatagramWithoutPayload) {
  EXPECT_EQ(Hand(0x1234, 0x5000, TextRecord("")), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x07");
  EXPECT_EQ(NewLog(),
            "WindowEvent\n  Nachricht\n  Absender 4660\n"
            "  Ein Nachricht wird versendet\n  Sie enth\xE4" "lt den folgenden Text:\n  \n"
            "SendeEvent\n  Sende Daten von 4660\n  Folgende Daten werden gesendet:\n  \n");
}

TEST_F(SendCommandsTest, SendLoginCarriesTheNameNumberLittleEndian) {
  EXPECT_EQ(Hand(0x1234, 0x5000, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x01\x01\x00\x00\x00", 5));

  ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(-1, 0x00030042, "127.0.0.1")), 1u);
  EXPECT_EQ(Hand(0x1234, 0x5000, LoginRecord() + "ignored"), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x01\xFF\xFF\xFF\xFF");

  ASSERT_EQ(Hand(0x1234, 0x4000, CreateRecord(0x12345678, 0xFFFFFFFEu, "127.0.0.1")), 1u);
  EXPECT_EQ(Hand(0x1234, 0x5000, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x01\x78\x56\x34\x12");
  EXPECT_EQ(Log().substr(Log().rfind("SendeEvent")),
            "SendeEvent\n"
            "  Login wird gesendet\n"
            "  Mit den folgenden Daten: Name:305419896 IP:127.0.0.1 hnwd:-2\n");
}

TEST_F(SendCommandsTest, SendLoginActsOnTheEntryThatSuppliedTheRecord) {
  Announce(88, 0x5678);
  ASSERT_EQ(Hand(0x5678, 0x7000, CreateRecord(42, 0x700, "127.0.0.1")), 1u);
  EXPECT_EQ(Hand(0x5678, 0x6000, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x01\x2A\x00\x00\x00", 5));
  EXPECT_EQ(Hand(0x1234, 0x6100, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x01\x01\x00\x00\x00", 5));
}

TEST_F(SendCommandsTest, SendLoginAndSendTextBeforeACreateSendNothingAndReportNothing) {
  Announce(88, 0x5678);
  EXPECT_EQ(Hand(0x5678, 0x6000, LoginRecord()), 1u);
  EXPECT_EQ(Hand(0x5678, 0x6100, TextRecord("early")), 1u);
  EXPECT_TRUE(desktop.boxes.empty());
  EXPECT_EQ(Log().substr(Log().rfind("WindowEvent\n  Nachricht")),
            "WindowEvent\n  Nachricht\n  Absender 22136\n"
            "  Ein Nachricht wird versendet\n  Sie enth\xE4" "lt den folgenden Text:\n  early\n"
            "SendeEvent\n  Sende Daten von 22136\n  Folgende Daten werden gesendet:\n  early\n");
  EXPECT_NE(Log().find("  Mit den folgenden Daten: Name:0 IP:0.0.0.0 hnwd:0\n"), std::string::npos);

  // Nothing left for the partner: the first thing it gets is this.
  EXPECT_EQ(Hand(0x1234, 0x6200, TextRecord("first")), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x07" "first");
}

TEST_F(SendCommandsTest, CodesWithoutACommandAreAnsweredAndDoNothing) {
  for (const char code : {'\x01', '\x05', '\x7F', '\x80', '\xFF'}) {
    EXPECT_EQ(Hand(0x1234, 0x5000, std::string(1, code) + "abc"), 1u) << static_cast<int>(code);
  }
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += "WindowEvent\n  Nachricht\n  Absender 4660\n";
  EXPECT_EQ(NewLog(), expected);
  EXPECT_EQ(clients.sent.size(), 1u);  // the create's notification only
  EXPECT_TRUE(desktop.boxes.empty());

  EXPECT_EQ(Hand(0x1234, 0x6200, TextRecord("first")), 1u);
  EXPECT_EQ(partner.NextBytes(), "\x07" "first");
}

TEST_F(SendCommandsTest, WithDebuggingOffTheSameDatagramsLeaveAndNothingIsLogged) {
  relay.settings.debugging = 0;
  EXPECT_EQ(Hand(0x1234, 0x5000, TextRecord(std::string("x\0y", 3))), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x07x\0y", 4));
  EXPECT_EQ(Hand(0x1234, 0x5100, LoginRecord()), 1u);
  EXPECT_EQ(partner.NextBytes(), std::string("\x01\x01\x00\x00\x00", 5));
  EXPECT_EQ(Hand(0x1234, 0x5200, "\x09"), 1u);
  EXPECT_EQ(NewLog(), "");
}

}  // namespace
}  // namespace quorvel::testing
