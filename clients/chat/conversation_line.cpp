#include "conversation_line.h"

namespace chat {

std::string ConversationLine(const char* prefix, const char* text, std::size_t length) {
  std::string line(prefix);
  for (std::size_t i = 0; i < length; ++i) {
    const char byte = text[i];
    if (byte == '\n') {
      line += "\r\n";
    } else if (byte == '\r') {
      // A CR LF pair becomes one line break, a lone CR none.
    } else if (static_cast<unsigned char>(byte) < 0x20 && byte != '\t') {
      line += ' ';
    } else {
      line += byte;
    }
  }
  line += "\r\n";
  return line;
}

}  // namespace chat
