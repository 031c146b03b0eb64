#pragma once

#include <cstdint>
#include <vector>

#include "net/udp_transport.h"
#include "probe_arguments.h"

namespace quorvel::probe {

enum class ProbeOutcome {
  // The single byte LoginFailed came back from the relay port: a relay runs
  // there and the port is open.
  RelayRunning,
  // Nothing came back in time: no relay, a closed port, or a firewall that
  // drops UDP.
  NoAnswer,
  // The network said the Ping could not be delivered: a closed port (an
  // ICMP port unreachable), or no route to the host.
  Unreachable,
  // Something answered from the relay port, but not as a relay answers.
  OtherAnswer,
  // HOST has no IPv4 address.
  HostNotFound,
  // The probe could not start the sockets library, open a socket or send.
  CannotSend,
};

struct ProbeResult {
  ProbeOutcome outcome = ProbeOutcome::NoAnswer;
  // Where the Ping went, network order; kUnresolvableAddress when HOST was
  // not found.
  std::uint32_t address = kUnresolvableAddress;
  // For RelayRunning and OtherAnswer: who answered, and what.
  SocketAddress answerFrom;
  std::vector<std::uint8_t> answer;
};

// Sends one Ping from a fresh socket connected to (HOST, port) and waits up
// to the timeout for the answer from that port; datagrams from other ports
// are passed over. A Ping from an unknown source changes nothing in a relay: it
// is refused with LoginFailed.
ProbeResult ProbeRelay(const ProbeArguments& arguments);

// How a datagram from the relay port is to be read.
ProbeOutcome ClassifyAnswer(const std::vector<std::uint8_t>& answer);

}  // namespace quorvel::probe
