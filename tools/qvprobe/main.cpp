// qvprobe HOST [--port N] [--timeout MS]: is a relay running at HOST?
#include <cstdio>
#include <string>

#include "probe.h"
#include "probe_arguments.h"
#include "probe_report.h"

int main(int argc, char** argv) {
  using namespace quorvel::probe;
  ProbeArguments arguments;
  std::string problem;
  if (!ParseProbeArguments(argc - 1, argv + 1, arguments, problem)) {
    std::fprintf(stderr, "qvprobe: %s\n%s", problem.c_str(), ProbeUsage());
    return kExitUsage;
  }
  if (arguments.helpWanted) {
    std::fputs(ProbeUsage(), stdout);
    return 0;
  }
  const ProbeResult result = ProbeRelay(arguments);
  std::printf("%s\n", DescribeProbeResult(arguments, result).c_str());
  return ExitCodeOf(result.outcome);
}
