#pragma once

// One entry of the conversation, made ready for the multi-line edit control
// that shows it.

#include <cstddef>
#include <string>

namespace chat {

// Rows longer than this are broken (after the last blank within it, else
// right at it): an edit control lays out a long row in time that grows far
// faster than its length, so that one long text would freeze the window.
inline constexpr std::size_t kLongestRow = 200;

// One line of the conversation, in Windows-1252: the prefix, then the text
// with its line breaks as CR LF, rows broken at kLongestRow and other
// control bytes (zero bytes included) shown as blanks, then CR LF.
std::string ConversationLine(const char* prefix, const char* text, std::size_t length);

}  // namespace chat
