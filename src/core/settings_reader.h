#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

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
  // Where the text's memory comes from: a block that std::free releases, or
  // null when none can be had. Tests replace it.
  using AllocateText = void* (*)(std::size_t size);

  SettingsReader() = default;
  explicit SettingsReader(AllocateText allocate) : allocate_(allocate) {}
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
  void CloseSettingsFile();

 private:
  bool ReadWholeText();

  AllocateText allocate_ = nullptr;  // null = the C library's malloc
  std::FILE* file_ = nullptr;
  char* text_ = nullptr;                  // zero-terminated; null when no file is open
  const char* groupPosition_ = nullptr;  // first line of the selected group; null = none
};

}  // namespace quorvel
