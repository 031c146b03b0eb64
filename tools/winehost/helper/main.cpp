// qvtest: drives and inspects the relay's windows for the Wine tests.
// Usage: qvtest <subcommand> [arguments]; every subcommand prints
// machine-readable lines to standard output.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "output.h"

namespace {

struct Subcommand {
  const char* name;
  int (*run)(const qvtest::CommandLine&);
};

constexpr Subcommand kSubcommands[] = {
    {"find", qvtest::RunFind},           {"info", qvtest::RunInfo},   {"isenabled", qvtest::RunIsEnabled},
    {"foreground", qvtest::RunForeground}, {"send", qvtest::RunSend},   {"post", qvtest::RunPost},
    {"tree", qvtest::RunTree},           {"box", qvtest::RunBox},     {"press-ok", qvtest::RunPressOk},
    {"gettext", qvtest::RunGetText},     {"settext", qvtest::RunSetText}, {"click", qvtest::RunClick},
};

void PrintUsage() {
  std::fputs(
      "usage: qvtest find [--class C] [--title T] [--visible] [--all] [--timeout MS]\n"
      "       qvtest info HWND | isenabled HWND | foreground\n"
      "       qvtest send HWND MSG WPARAM LPARAM [--timeout MS] | post HWND MSG WPARAM LPARAM\n"
      "       qvtest tree HWND [--state] [--timeout MS]\n"
      "       qvtest box [--caption C] [--timeout MS] | press-ok [--caption C] [--timeout MS]\n"
      "       qvtest gettext HWND [--id N] [--utf8] [--timeout MS]\n"
      "       qvtest settext HWND (HEX | --file PATH) [--id N] [--utf8] [--paste] [--timeout MS]\n"
      "       qvtest click HWND [--id N]\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  qvtest::UseBinaryOutput();
  if (argc < 2) {
    PrintUsage();
    return qvtest::kUsage;
  }
  for (const auto& subcommand : kSubcommands) {
    if (std::strcmp(argv[1], subcommand.name) == 0) {
      return subcommand.run(qvtest::CommandLine(argc, argv, 2));
    }
  }
  PrintUsage();
  return qvtest::kUsage;
}
