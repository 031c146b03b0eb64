#pragma once

#include <optional>

#include "command_line.h"

namespace qvtest {

// The window a control subcommand acts on: the first positional HWND, or,
// with "--id N", its child control N. nullopt when it does not exist.
std::optional<HWND> ControlTarget(const CommandLine& args);

}  // namespace qvtest
