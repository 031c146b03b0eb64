#pragma once

// The reader of the relay's INI-style settings file.

#include <cstdint>
#include <cstdio>
#include <string>

namespace quorvel {

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
