// The operator's log file: lines with the local time, indented by depth,
// and one rotated old file.

#include "log/log_file.h"

#include <chrono>

namespace quorvel {

namespace {

// Big enough that a burst of events is written in a few calls.
constexpr std::size_t kWriteBuffer = std::size_t{64} * 1024;

// Whether a byte is written escaped: the control bytes, so that no text can
// start a line of its own, and the backslash that begins every escape, so
// that the file reads back exactly.
bool NeedsEscape(unsigned char byte) { return byte < 0x20 || byte == '\\'; }

}  // namespace

void AppendEscaped(std::string& line, const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char character : text) {
    const auto byte = static_cast<unsigned char>(character);
    if (!NeedsEscape(byte)) {
      line.push_back(character);
      continue;
    }
    line.push_back('\\');
    switch (byte) {
      case '\r': line.push_back('r'); break;
      case '\n': line.push_back('n'); break;
      case '\t': line.push_back('t'); break;
      case '\\': line.push_back('\\'); break;
      default:
        line.push_back('x');
        line.push_back(kHex[byte >> 4]);
        line.push_back(kHex[byte & 0xF]);
        break;
    }
  }
}

LogFile::~LogFile() { Close(); }

bool LogFile::Open(const std::string& path, std::int64_t limitBytes) {
  Close();
  path_ = path;
  limit_ = limitBytes;
  file_ = std::fopen(path_.c_str(), "ab");
  if (file_ == nullptr) return false;
  std::setvbuf(file_, nullptr, _IOFBF, kWriteBuffer);
  // Appending: the file may hold an earlier run's lines.
  if (std::fseek(file_, 0, SEEK_END) == 0) size_ = std::ftell(file_);
  if (size_ < 0) size_ = 0;
  return true;
}

bool LogFile::WriteLine(std::size_t depth, const std::string& text) {
  if (file_ == nullptr) return false;
  // One write per line: the C library takes its lock once.
  line_.assign(TimeStamp());
  line_.append(2 * depth, ' ');
  AppendEscaped(line_, text);
  line_.append("\r\n");
  const auto length = static_cast<std::int64_t>(line_.size());
  if (size_ > 0 && size_ + length > limit_ && !Rotate()) return false;
  if (std::fwrite(line_.data(), 1, line_.size(), file_) != line_.size()) {
    Close();
    return false;
  }
  size_ += length;
  return true;
}

void LogFile::Flush() {
  if (file_ != nullptr && std::fflush(file_) != 0) Close();
}

// The current file becomes PATH.1; Windows renames onto no existing file,
// so an older PATH.1 goes first. A file that cannot be renamed (another
// program holds it open) starts again empty, so that the limit holds.
bool LogFile::Rotate() {
  std::fclose(file_);
  file_ = nullptr;
  const std::string old = path_ + ".1";
  std::remove(old.c_str());
  const bool renamed = std::rename(path_.c_str(), old.c_str()) == 0;
  if (!renamed) {
    std::FILE* emptied = std::fopen(path_.c_str(), "wb");
    if (emptied != nullptr) std::fclose(emptied);
  }
  return Open(path_, limit_);
}

void LogFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
}

// "YYYY-MM-DD HH:MM:SS  ", local time, made once a second. The clock is
// read through the standard clock: the C library's time() of Windows costs
// far more than the rest of a line.
const std::string& LogFile::TimeStamp() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  if (now != stampedSecond_) {
    stampedSecond_ = now;
    char text[32] = "";
    if (const std::tm* local = std::localtime(&now); local != nullptr) {
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S  ", local);
    }
    stamp_ = text;
  }
  return stamp_;
}

}  // namespace quorvel
