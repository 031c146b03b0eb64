#include "conversation_line.h"

namespace chat {
namespace {

// Appends one row of the text (no line break inside), broken into pieces
// of at most kLongestRow bytes, counting from `column` on the line.
void AppendRow(std::string& line, std::string row, std::size_t column) {
  while (column + row.size() > kLongestRow) {
    const std::size_t room = kLongestRow > column ? kLongestRow - column : 1;
    std::size_t cut = row.rfind(' ', room);
    cut = cut == std::string::npos || cut == 0 ? room : cut + 1;  // the blank stays on the row
    line.append(row, 0, cut);
    line += "\r\n";
    row.erase(0, cut);
    column = 0;
  }
  line += row;
}

}  // namespace

std::string ConversationLine(const char* prefix, const char* text, std::size_t length) {
  std::string line(prefix);
  std::size_t column = line.size();
  std::string row;
  for (std::size_t i = 0; i < length; ++i) {
    const char byte = text[i];
    if (byte == '\n') {
      AppendRow(line, std::move(row), column);
      row.clear();
      line += "\r\n";
      column = 0;
    } else if (byte == '\r') {
      // A CR LF pair becomes one line break, a lone CR none.
    } else if (static_cast<unsigned char>(byte) < 0x20 && byte != '\t') {
      row += ' ';
    } else {
      row += byte;
    }
  }
  AppendRow(line, std::move(row), column);
  line += "\r\n";
  return line;
}

}  // namespace chat
