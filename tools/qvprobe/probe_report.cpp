#include "probe_report.h"

#include <cstdio>

#include "base/byte_order.h"

namespace quorvel::probe {
namespace {

std::string DottedAddress(std::uint32_t networkOrder) {
  const auto parts = AddressParts(networkOrder);
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", parts[0], parts[1], parts[2], parts[3]);
  return text;
}

// "HOST" or "HOST (a.b.c.d)" when HOST was a name.
std::string Target(const ProbeArguments& arguments, const ProbeResult& result) {
  const std::string dotted = DottedAddress(result.address);
  return dotted == arguments.host ? arguments.host : arguments.host + " (" + dotted + ")";
}

std::string FirstBytes(const std::vector<std::uint8_t>& bytes) {
  constexpr std::size_t kShown = 16;
  std::string hex;
  for (std::size_t i = 0; i < bytes.size() && i < kShown; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : " %02X", bytes[i]);
    hex += pair;
  }
  if (bytes.size() > kShown) hex += " ...";
  return hex;
}

}  // namespace

int ExitCodeOf(ProbeOutcome outcome) {
  switch (outcome) {
    case ProbeOutcome::RelayRunning:
      return kExitRelayRunning;
    case ProbeOutcome::NoAnswer:
      return kExitNoAnswer;
    case ProbeOutcome::Unreachable:
      return kExitUnreachable;
    case ProbeOutcome::OtherAnswer:
      return kExitOtherAnswer;
    case ProbeOutcome::HostNotFound:
    case ProbeOutcome::CannotSend:
      return kExitCannotProbe;
  }
  return kExitCannotProbe;
}

std::string DescribeProbeResult(const ProbeArguments& arguments, const ProbeResult& result) {
  const std::string port = std::to_string(arguments.port);
  switch (result.outcome) {
    case ProbeOutcome::RelayRunning:
      return "relay running: " + Target(arguments, result) + " answered on UDP port " + port +
             " as a relay does (LoginFailed); the port is open";
    case ProbeOutcome::NoAnswer:
      return "no answer: nothing came back from " + Target(arguments, result) + " UDP port " + port + " within " +
             std::to_string(arguments.timeoutMilliseconds) +
             " ms; no relay runs there, the port is closed, or a firewall drops UDP";
    case ProbeOutcome::Unreachable:
      return "unreachable: the network reported that the Ping to " + Target(arguments, result) + " UDP port " +
             port + " could not be delivered; no relay listens there, or there is no route to the host";
    case ProbeOutcome::OtherAnswer:
      return "not a relay: " + DottedAddress(result.answerFrom.sin_addr) + " port " + port +
             " answered, but not as a relay does (" + std::to_string(result.answer.size()) +
             " bytes: " + FirstBytes(result.answer) + ")";
    case ProbeOutcome::HostNotFound:
      return "cannot probe: " + arguments.host + " cannot be resolved to an IPv4 address";
    case ProbeOutcome::CannotSend:
      return "cannot probe: the Ping to " + Target(arguments, result) + " UDP port " + port +
             " could not be sent from this machine (no network, or no route)";
  }
  return "cannot probe";
}

}  // namespace quorvel::probe
