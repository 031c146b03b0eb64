// Windows-1252 to and from UTF-16, without best-fit substitution.

#include "windows_1252.h"

#include <algorithm>
#include <cstdio>

namespace chat {
namespace {

// The characters of the bytes 0x80 to 0x9F; the rest of the code page is
// Latin-1, byte value = code point.
constexpr char16_t kHighControls[32] = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

// The byte of a character, or -1 when the code page lacks it.
int ByteOf(char32_t character) {
  if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) return static_cast<int>(character);
  for (int index = 0; index < 32; ++index) {
    if (kHighControls[index] == character) return 0x80 + index;
  }
  return -1;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

Encoded1252 ToWindows1252(std::u16string_view text) {
  Encoded1252 encoded;
  encoded.bytes.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    char32_t character = text[at];
    if (IsHighSurrogate(text[at]) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) {
      character = 0x10000 + ((static_cast<char32_t>(text[at]) - 0xD800) << 10) + (text[at + 1] - 0xDC00);
      ++at;
    }
    const int byte = ByteOf(character);
    if (byte >= 0) {
      encoded.bytes.push_back(static_cast<char>(byte));
    } else if (std::find(encoded.unrepresentable.begin(), encoded.unrepresentable.end(), character) ==
               encoded.unrepresentable.end()) {
      encoded.unrepresentable.push_back(character);
    }
  }
  if (!encoded.unrepresentable.empty()) encoded.bytes.clear();
  return encoded;
}

std::u16string FromWindows1252(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (const char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    text.push_back(value >= 0x80 && value < 0xA0 ? kHighControls[value - 0x80] : static_cast<char16_t>(value));
  }
  return text;
}

std::string CodePointName(char32_t character) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(character));
  return name;
}

}  // namespace chat
