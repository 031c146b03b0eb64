#pragma once

// The relay's settings: what it reads from "JOX-UDP.ini" at start, and the
// reader of that INI-style file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quorvel {

struct Relay;

struct Settings {
  std::int32_t port = 0;
  std::int32_t sendBufferSize = 0;
  std::uint8_t debugging = 0;     // debug mode exactly when this equals 1
  std::int32_t debugEntries = 0;  // top-level entries the debug log keeps; 0 or less: all
  std::string logFile;            // the operator's log file; empty: none
  std::int32_t logFileSizeKb = 0;  // what it may hold before it is rotated
  bool trayIcon = true;            // the notification-area icon; off only when set to 0
};

// Top-level entries of the debug log kept when the settings do not say.
inline constexpr std::int32_t kDefaultDebugEntries = 10000;
// What the log file may hold when the settings do not say (or say 0 or
// less); its one rotated old file holds as much again.
inline constexpr std::int32_t kDefaultLogFileSizeKb = 4096;

// Reads "JOX-UDP.ini" from the current directory (group "UDP Settings") into
// relay.settings, falling back to the defaults for anything missing; sizes
// the receive buffer and the client-data buffer (zero-filled), switches the
// debug log on when debugging and bounds it. Never fails.
void LoadSettings(Relay& relay);

// Reader of the relay's INI-style settings file. One file at a time: its whole
// text is held in memory up to the first zero byte, and the file stays open
// (read-only, never written) until CloseSettingsFile.
//
// Lines end at a line feed; one carriage return directly after a line feed
// belongs to the line break, a carriage return before it stays in the line.
// Group names and keys compare without regard to ASCII letter case.
class SettingsReader {
 public:
  SettingsReader() = default;
  ~SettingsReader() { CloseSettingsFile(); }
  SettingsReader(const SettingsReader&) = delete;
  SettingsReader& operator=(const SettingsReader&) = delete;

  // Closes any earlier file, then opens `fileName` and reads its text. True
  // when the file is open with its text in memory. When the memory for the
  // text cannot be had the file is closed again and false returned, so every
  // read gives its default, as for a missing file.
  bool OpenSettingsFile(const char* fileName);
  // Finds the first line "[name]" (the name exactly, in any letter case) and
  // makes the lines after it the selected group. False when there is none;
  // then no group is selected.
  bool SelectSettingsGroup(const char* groupName);
  // The value of the first line "key = number" in the selected group, or
  // `defaultValue` when there is none (or no group, or no file).
  std::int32_t ReadSettingInteger(const char* key, std::int32_t defaultValue) const;
  // The text of the first line "key = text" in the selected group, without
  // the spaces around it; empty when there is none.
  std::string ReadSettingText(const char* key) const;
  void CloseSettingsFile();

 private:
  bool ReadWholeText();
  // The first line "key = value" in the selected group: where its value
  // starts, after the spaces; null when there is none.
  const char* FindValue(const char* key) const;

  std::FILE* file_ = nullptr;
  char* text_ = nullptr;                  // zero-terminated; null when no file is open
  const char* groupPosition_ = nullptr;  // first line of the selected group; null = none
};

}  // namespace quorvel
