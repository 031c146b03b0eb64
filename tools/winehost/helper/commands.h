#pragma once

#include "command_line.h"

namespace qvtest {

// Exit codes shared by every subcommand.
inline constexpr int kOk = 0;
inline constexpr int kNotFound = 1;  // the window or box did not appear in time
inline constexpr int kUsage = 2;
inline constexpr int kFailed = 3;  // the platform refused a call

int RunFind(const CommandLine& args);
int RunInfo(const CommandLine& args);
int RunIsEnabled(const CommandLine& args);
int RunForeground(const CommandLine& args);
int RunSend(const CommandLine& args);
int RunPost(const CommandLine& args);
int RunTree(const CommandLine& args);
int RunBox(const CommandLine& args);
int RunPressOk(const CommandLine& args);
int RunGetText(const CommandLine& args);
int RunSetText(const CommandLine& args);
int RunClick(const CommandLine& args);

}  // namespace qvtest
