#pragma once

// The operator's log file: each line of the debug log appended with the
// local time and indented by its depth, bounded by one rotated old file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace quorvel {

// Appends `text` to `line` with its control bytes and backslashes escaped:
// CR, LF and tab as \r, \n and \t, a backslash as \\, every other byte
// below 0x20 as \xHH. Every other byte stays as it is.
void AppendEscaped(std::string& line, const std::string& text);

// Lines are the relay's own bytes (Windows-1252 text), each ended by CR LF;
// inside a line, control bytes and backslashes are escaped (AppendEscaped),
// so that one line of the log is one line of the file whatever a text holds.
// Written through a buffer that Flush empties; when the file would grow past
// its limit it becomes PATH.1 (replacing an older one) and a new file starts.
class LogFile {
 public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens `path` for appending, to hold at most `limitBytes`; false when it
  // cannot be opened.
  bool Open(const std::string& path, std::int64_t limitBytes);
  bool IsOpen() const { return file_ != nullptr; }
  // False when the line could not be written; the file is closed then.
  bool WriteLine(std::size_t depth, const std::string& text);
  void Flush();

 private:
  bool Rotate();
  void Close();
  const std::string& TimeStamp();

  std::string path_;
  std::int64_t limit_ = 0;
  std::int64_t size_ = 0;
  std::FILE* file_ = nullptr;
  std::time_t stampedSecond_ = -1;
  std::string stamp_;
  std::string line_;  // the line being written, kept for its capacity
};

}  // namespace quorvel
