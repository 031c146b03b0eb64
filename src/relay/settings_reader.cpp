// The reader of the relay's INI-style settings file.

#include "relay/settings_reader.h"

#include <cstring>
#include <limits>
#include <new>

namespace quorvel {
namespace {

// The line feed or the terminating zero that ends the line starting at `line`.
const char* EndOfLine(const char* line) {
  while (*line != '\0' && *line != '\n') ++line;
  return line;
}

// The start of the next line, given the line feed that ends this one. One
// carriage return right after the line feed is part of the line break.
const char* AfterLineBreak(const char* lineFeed) {
  const char* next = lineFeed + 1;
  if (*next == '\r') ++next;
  return next;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(const char* a, const char* b, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The integer at the start of `text` as atoi reads it: white space, an
// optional sign, decimal digits; no digits give 0. The white space skipped
// stays within the line, so a key without a value reads as 0 instead of
// taking a number from the next line. Values beyond 32 bits saturate.
std::int32_t ParseLeadingInteger(const char* text) {
  while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\v' || *text == '\f') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') {
    negative = *text == '-';
    ++text;
  }
  // Accumulate as a magnitude up to one past the largest positive value, so
  // the most negative value is reachable.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  while (*text >= '0' && *text <= '9') {
    magnitude = magnitude * 10 + (*text - '0');
    if (magnitude > kLimit) magnitude = kLimit;
    ++text;
  }
  if (negative) return static_cast<std::int32_t>(-magnitude);
  if (magnitude >= kLimit) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(magnitude);
}

}  // namespace

bool SettingsReader::OpenSettingsFile(const char* fileName) {
  CloseSettingsFile();
  if (fileName == nullptr) return false;
  file_ = std::fopen(fileName, "rb");
  if (file_ == nullptr) return false;
  if (!ReadWholeText()) {
    CloseSettingsFile();
    return false;
  }
  groupPosition_ = text_;
  return true;
}

// Reads the file up to its end or its first zero byte, whichever comes first,
// into one zero-terminated block. False (and nothing kept) when the memory
// for it cannot be had.
bool SettingsReader::ReadWholeText() {
  char* text = nullptr;
  std::size_t capacity = 0;
  std::size_t length = 0;
  char chunk[4096];
  for (;;) {
    std::size_t got = std::fread(chunk, 1, sizeof chunk, file_);
    const void* zero = std::memchr(chunk, 0, got);
    std::size_t take = zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - chunk) : got;
    if (text == nullptr || length + take + 1 > capacity) {
      std::size_t grown = capacity * 2 > length + take + 1 ? capacity * 2 : length + take + 1;
      char* larger = new (std::nothrow) char[grown];
      if (larger == nullptr) {
        delete[] text;
        return false;
      }
      if (length > 0) std::memcpy(larger, text, length);
      delete[] text;
      text = larger;
      capacity = grown;
    }
    std::memcpy(text + length, chunk, take);
    length += take;
    if (zero != nullptr || got < sizeof chunk) break;
  }
  text[length] = '\0';
  text_ = text;
  return true;
}

bool SettingsReader::SelectSettingsGroup(const char* groupName) {
  groupPosition_ = nullptr;
  if (text_ == nullptr || groupName == nullptr) return false;
  const std::size_t length = std::strlen(groupName);
  for (const char* line = text_;;) {
    if (*line == '[') {
      const char* name = line + 1;
      const char* stop = name;
      while (*stop != '\0' && *stop != ']' && *stop != '\n') ++stop;
      if (static_cast<std::size_t>(stop - name) == length && EqualIgnoringCase(name, groupName, length)) {
        const char* end = EndOfLine(stop);
        groupPosition_ = *end == '\0' ? end : AfterLineBreak(end);
        return true;
      }
    }
    const char* end = EndOfLine(line);
    if (*end == '\0') return false;
    line = AfterLineBreak(end);
  }
}

const char* SettingsReader::FindValue(const char* key) const {
  if (text_ == nullptr || groupPosition_ == nullptr || key == nullptr || *key == '\0') return nullptr;
  const std::size_t length = std::strlen(key);
  for (const char* line = groupPosition_;;) {
    if (*line == '[') return nullptr;  // the next group begins
    const char* keyStart = line;
    while (*keyStart == ' ') ++keyStart;
    if (*keyStart != ';') {
      const char* stop = keyStart;
      while (*stop != '\0' && *stop != '=' && *stop != '\n') ++stop;
      const char* keyEnd = stop;
      while (keyEnd > keyStart && keyEnd[-1] == ' ') --keyEnd;
      if (*stop == '=' && static_cast<std::size_t>(keyEnd - keyStart) == length &&
          EqualIgnoringCase(keyStart, key, length)) {
        const char* value = stop + 1;
        while (*value == ' ') ++value;
        return value;
      }
    }
    const char* end = EndOfLine(line);
    if (*end == '\0') return nullptr;
    line = AfterLineBreak(end);
  }
}

std::int32_t SettingsReader::ReadSettingInteger(const char* key, std::int32_t defaultValue) const {
  const char* value = FindValue(key);
  return value != nullptr ? ParseLeadingInteger(value) : defaultValue;
}

std::string SettingsReader::ReadSettingText(const char* key) const {
  const char* value = FindValue(key);
  if (value == nullptr) return {};
  const char* end = EndOfLine(value);
  while (end > value && (end[-1] == ' ' || end[-1] == '\r' || end[-1] == '\t')) --end;
  return std::string(value, end);
}

void SettingsReader::CloseSettingsFile() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  delete[] text_;
  text_ = nullptr;
  groupPosition_ = nullptr;
}

}  // namespace quorvel
