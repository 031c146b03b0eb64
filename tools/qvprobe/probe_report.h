#pragma once

#include <string>

#include "probe.h"
#include "probe_arguments.h"

namespace quorvel::probe {

// Exit codes, for scripts: 0 only when a relay answered.
enum ProbeExitCode : int {
  kExitRelayRunning = 0,
  kExitNoAnswer = 1,
  kExitUsage = 2,
  kExitUnreachable = 3,
  kExitOtherAnswer = 4,
  kExitCannotProbe = 5,
};

int ExitCodeOf(ProbeOutcome outcome);

// One line in plain words, starting with a short verdict ("relay running",
// "no answer", ...) that scripts may look for.
std::string DescribeProbeResult(const ProbeArguments& arguments, const ProbeResult& result);

}  // namespace quorvel::probe
