#pragma once

// Texts travel as Windows-1252 bytes, the code page of every client and
// relay; the chat's controls hold Unicode. The conversion both ways, with
// no best-fit substitution: a character the code page lacks is refused.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace chat {

struct Encoded1252 {
  std::string bytes;                      // the text, when every character fits
  std::vector<char32_t> unrepresentable;  // the characters that do not, each once, in order
};

// UTF-16 in, Windows-1252 out. A lone surrogate counts as a character of its
// own that does not fit.
Encoded1252 ToWindows1252(std::u16string_view text);

// Every byte has its character: the five bytes the code page leaves
// undefined stand for U+0081, U+008D, U+008F, U+0090 and U+009D, as Windows
// maps them.
std::u16string FromWindows1252(std::string_view bytes);

// "U+03A9" for a character.
std::string CodePointName(char32_t character);

}  // namespace chat
