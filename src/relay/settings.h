#pragma once

// The relay's settings: what it reads from "JOX-UDP.ini" at start.

#include <cstdint>
#include <string>

namespace quorvel {

// What the settings hold when the file does not say otherwise.
inline constexpr std::int32_t kDefaultPort = 1234;
inline constexpr std::int32_t kDefaultBufferSize = 64;  // receive and send buffer, bytes
// Top-level entries of the debug log kept.
inline constexpr std::int32_t kDefaultDebugEntries = 10000;
// What the log file may hold (also when the settings say 0 or less); its
// one rotated old file holds as much again.
inline constexpr std::int32_t kDefaultLogFileSizeKb = 4096;

struct Settings {
  std::int32_t port = kDefaultPort;
  std::int32_t receiveBufferSize = kDefaultBufferSize;  // where the receive buffer starts
  std::int32_t sendBufferSize = kDefaultBufferSize;     // what the client-data buffer keeps at least
  std::uint8_t debugging = 0;                           // debug mode exactly when this equals 1
  std::int32_t debugEntries = kDefaultDebugEntries;     // top-level entries the debug log keeps; 0 or less: all
  std::string logFile;                                  // the operator's log file; empty: none
  std::int32_t logFileSizeKb = kDefaultLogFileSizeKb;   // what it may hold before it is rotated
  bool trayIcon = true;                                 // the notification-area icon; off only when set to 0
};

// Reads the settings file `fileName` (group "UDP Settings"); whatever it
// does not say keeps its default, also when there is no such file. Never
// fails.
Settings ReadSettings(const char* fileName);

}  // namespace quorvel
