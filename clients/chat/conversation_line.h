#pragma once

#include <cstddef>
#include <string>

namespace chat {

// One line of the conversation for a multi-line edit control: the prefix,
// then the text with its line breaks as CR LF and other control bytes
// (zero bytes included) shown as blanks, then CR LF.
std::string ConversationLine(const char* prefix, const char* text, std::size_t length);

}  // namespace chat
