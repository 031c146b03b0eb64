#include "probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "loopback_udp.h"
#include "probe_report.h"

namespace quorvel::probe {
namespace {

using loopback::UdpSocket;

// A UDP port on 127.0.0.1 standing where a relay's would be: it takes the
// first datagram that arrives within five seconds and answers it with
// `answer` (when given), sent from `answerFrom` (its own socket when null).
class FakeRelayPort {
 public:
  explicit FakeRelayPort(std::optional<std::string> answer, const UdpSocket* answerFrom = nullptr)
      : thread_([this, answer = std::move(answer), answerFrom] {
          if (auto datagram = socket_.Next(std::chrono::seconds(5), answer, answerFrom)) {
            received_.push_back(datagram->bytes);
          }
        }) {}
  ~FakeRelayPort() { Finish(); }

  std::int32_t port() const { return socket_.port(); }
  // Waits until the one datagram has been handled (or none came).
  void Finish() {
    if (thread_.joinable()) thread_.join();
  }
  const std::vector<std::string>& received() const { return received_; }

 private:
  UdpSocket socket_;
  std::vector<std::string> received_;
  std::thread thread_;  // last: starts once everything above is in place
};

const std::string kPing("\x05", 1);
const std::string kLoginFailed("\x03", 1);

ProbeArguments Toward(std::int32_t port, std::int32_t timeoutMilliseconds) {
  ProbeArguments arguments;
  arguments.host = "127.0.0.1";
  arguments.port = port;
  arguments.timeoutMilliseconds = timeoutMilliseconds;
  return arguments;
}

std::string Bytes(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(ProbeRelay, LoginFailedFromTheRelayPortMeansARelayIsRunning) {
  FakeRelayPort relay(kLoginFailed);
  const ProbeArguments arguments = Toward(relay.port(), 5000);

  const ProbeResult result = ProbeRelay(arguments);
  relay.Finish();

  ASSERT_EQ(relay.received().size(), 1u);
  EXPECT_EQ(relay.received()[0], kPing) << "the probe sends one Ping, the single byte 05";
  EXPECT_EQ(result.outcome, ProbeOutcome::RelayRunning);
  EXPECT_EQ(Bytes(result.answer), kLoginFailed);
  EXPECT_EQ(ExitCodeOf(result.outcome), 0);
  const std::string line = DescribeProbeResult(arguments, result);
  EXPECT_EQ(line.rfind("relay running: 127.0.0.1 ", 0), 0u) << line;
  EXPECT_NE(line.find("port " + std::to_string(relay.port())), std::string::npos) << line;
}

TEST(ProbeRelay, AClosedPortIsUnreachableAtOnceAndASilentOneGivesNoAnswer) {
  std::int32_t closedPort = 0;
  {
    const UdpSocket socket;
    closedPort = socket.port();
  }
  ASSERT_NE(closedPort, 0);
  // The port unreachable comes back on the connected socket; the probe does
  // not wait out its (long) time.
  const ProbeArguments toClosed = Toward(closedPort, 60000);
  const ProbeResult closed = ProbeRelay(toClosed);
  EXPECT_EQ(closed.outcome, ProbeOutcome::Unreachable);
  EXPECT_EQ(ExitCodeOf(closed.outcome), kExitUnreachable);
  EXPECT_EQ(DescribeProbeResult(toClosed, closed).rfind("unreachable: ", 0), 0u);

  FakeRelayPort silent(std::nullopt);
  const ProbeArguments toSilent = Toward(silent.port(), 300);
  const ProbeResult unanswered = ProbeRelay(toSilent);
  silent.Finish();
  EXPECT_EQ(silent.received().size(), 1u);
  EXPECT_EQ(unanswered.outcome, ProbeOutcome::NoAnswer);
  EXPECT_EQ(ExitCodeOf(unanswered.outcome), kExitNoAnswer);
  EXPECT_EQ(DescribeProbeResult(toSilent, unanswered).rfind("no answer: ", 0), 0u);
  EXPECT_TRUE(unanswered.answer.empty());
}

TEST(ProbeRelay, AnswersThatARelayNeverGivesAreNotTakenForOne) {
  for (const std::string& answer : {std::string("\x06", 1), std::string("\x03\x00", 2), std::string()}) {
    FakeRelayPort other(answer);
    const ProbeArguments arguments = Toward(other.port(), 5000);
    const ProbeResult result = ProbeRelay(arguments);
    other.Finish();
    EXPECT_EQ(result.outcome, ProbeOutcome::OtherAnswer) << "answer of " << answer.size() << " bytes";
    EXPECT_EQ(Bytes(result.answer), answer);
    EXPECT_EQ(ExitCodeOf(result.outcome), kExitOtherAnswer);
    EXPECT_EQ(DescribeProbeResult(arguments, result).rfind("not a relay: ", 0), 0u);
  }
}

TEST(ProbeRelay, PassesOverAnswersFromAnotherPort) {
  const UdpSocket elsewhere;
  FakeRelayPort relay(kLoginFailed, &elsewhere);
  const ProbeResult result = ProbeRelay(Toward(relay.port(), 500));
  relay.Finish();
  ASSERT_EQ(relay.received().size(), 1u);
  EXPECT_EQ(result.outcome, ProbeOutcome::NoAnswer);
}

TEST(ProbeRelay, UnknownHostIsReportedWithoutSending) {
  ProbeArguments arguments = Toward(1234, 300);
  arguments.host = "no-such-host.invalid";
  const ProbeResult result = ProbeRelay(arguments);
  EXPECT_EQ(result.outcome, ProbeOutcome::HostNotFound);
  EXPECT_EQ(ExitCodeOf(result.outcome), kExitCannotProbe);
  EXPECT_EQ(DescribeProbeResult(arguments, result),
            "cannot probe: no-such-host.invalid cannot be resolved to an IPv4 address");
}

}  // namespace
}  // namespace quorvel::probe
