// A local client of the relay for load runs (soak and benchmark), driven line
// by line like a person at a console would, but able to send and take texts
// in bulk and to stamp each with the time.
//
// Times are the system clock in 100 ns units (GetSystemTimePreciseAsFileTime),
// the same clock for every process on the machine, so a stamp taken here can
// be compared with one taken by another program or by a Linux process.
//
// Commands on stdin, one per line; each answers with one line on stdout:
//   find [MS]                  -> relay HWND          (0 when none appeared)
//   hwnd                       -> hwnd HWND
//   announce [PID]             -> result N
//   create NAMEID HOST         -> linkup PID WPARAM, then result N
//   login                      -> result N
//   timedlogin                 -> result N MICROSECONDS
//        as login, with how long the relay took to answer the SendMessageA
//   send COUNT RATE SIZE       -> sent COUNT FAILED SECONDS
//        COUNT SendText records at RATE per second (0: as fast as the relay
//        takes them; a text leaves up to 1 ms before its turn, so high rates
//        go out in bursts 1 ms apart), each SIZE bytes (at least 12):
//        sequence number (4 bytes, little-endian), send time (8 bytes,
//        little-endian), then the bytes (sequence + i) mod 251 -- zero bytes
//        included.
//   abuse COUNT SEED           -> abused COUNT HANDLED
//        COUNT malformed messages: records of impossible lengths, unreadable
//        addresses, create records that are too short or unterminated, codes
//        that mean nothing, announcements of processes that do not exist.
//        Never a code that acts (a whole create, text, login, quit).
//   sleepprobe COUNT           -> slept MEDIAN P99 MAX
//        how long Sleep(1) really takes here, in microseconds, over COUNT calls
//   flush                      -> flushed
//   exit                       -> bye
// Notifications from the relay, as they are delivered (buffered; flushed
// within 100 ms and before every answer):
//   linkup PID WPARAM
//   data TIME HEX              TIME: when the notification reached this window
//   unreadable ADDRESS LENGTH

#include <windows.h>

#include "command_window.h"
#include "quorvel_wire.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr UINT_PTR FlushTimer = 1;

HWND clientWindow = nullptr;
HWND relayWindow = nullptr;
DWORD relayProcessId = 0;
HANDLE relayProcess = nullptr;
std::vector<std::uint8_t> received;
std::string lineBuffer;

std::uint64_t Now() {
  FILETIME time;
  GetSystemTimePreciseAsFileTime(&time);
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void Flush() {
  if (!lineBuffer.empty()) {
    std::fwrite(lineBuffer.data(), 1, lineBuffer.size(), stdout);
    lineBuffer.clear();
    // The timer runs only while lines wait, so that an idle client wakes
    // neither itself nor the wineserver it shares with the relay.
    KillTimer(clientWindow, FlushTimer);
  }
  std::fflush(stdout);
}

void QueueLine(const std::string& line) {
  if (lineBuffer.empty()) SetTimer(clientWindow, FlushTimer, 100, nullptr);
  lineBuffer += line;
  lineBuffer += '\n';
  if (lineBuffer.size() > (1u << 20)) Flush();
}

void Answer(const std::string& line) {
  QueueLine(line);
  Flush();
}

void AppendHex(std::string& out, const std::uint8_t* bytes, std::size_t length) {
  static const char digits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < length; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 0xF];
  }
}

long long ParseNumber(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 0); }

void AppendLittleEndian(std::vector<std::uint8_t>& bytes, std::uint64_t value, int count) {
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t start = line.find_first_not_of(' ', at);
    if (start == std::string::npos) break;
    const std::size_t end = line.find(' ', start);
    words.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
    at = end == std::string::npos ? line.size() : end;
  }
  return words;
}

std::string Result(LRESULT result) { return "result " + std::to_string(static_cast<long long>(result)); }

// Records live at an address of this process's own: the relay takes as a
// record's sender the first registered process that can read the record's
// range, and another instance of this program would otherwise hold its own
// records at the very same heap addresses -- the relay would read and carry
// out that instance's record instead. The base follows from the process id,
// which no two processes of one machine share. The upper half of the region
// stays reserved and is never readable.
constexpr std::size_t kRecordRegionSize = 2u << 20;
std::uint8_t* RecordRegion() {
  static std::uint8_t* region = nullptr;
  if (region != nullptr) return region;
  const std::uintptr_t first = 0x500000000000ULL + (GetCurrentProcessId() % 4096) * 0x100000000ULL;
  for (std::uintptr_t base = first; base < first + 0x100000000ULL && region == nullptr; base += 0x400000ULL) {
    region = static_cast<std::uint8_t*>(
        VirtualAlloc(reinterpret_cast<void*>(base), kRecordRegionSize, MEM_RESERVE, PAGE_READWRITE));
  }
  if (region == nullptr || VirtualAlloc(region, kRecordRegionSize / 2, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
    std::fprintf(stderr, "qvload: no room for records\n");
    std::exit(3);
  }
  return region;
}

LRESULT HandOver(const std::vector<std::uint8_t>& bytes, LPARAM length) {
  std::uint8_t* at = RecordRegion();
  std::copy(bytes.begin(), bytes.end(), at);
  return SendMessageA(relayWindow, QV_DATA_MESSAGE, reinterpret_cast<WPARAM>(at), length);
}

LRESULT HandOver(const std::vector<std::uint8_t>& bytes) {
  return HandOver(bytes, static_cast<LPARAM>(bytes.size()));
}

// Reads the announced text out of the relay while the notification is being
// delivered; the bytes are only there until this procedure returns.
void TakeData(WPARAM address, LPARAM lParam) {
  const std::uint64_t arrived = Now();
  const auto length = static_cast<std::int32_t>(lParam);
  received.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  SIZE_T read = 0;
  const bool whole = relayProcess != nullptr &&
                     (received.empty() || (ReadProcessMemory(relayProcess, reinterpret_cast<LPCVOID>(address),
                                                             received.data(), received.size(), &read) &&
                                           read == received.size()));
  if (!whole) {
    QueueLine("unreadable " + std::to_string(static_cast<unsigned long long>(address)) + " " +
              std::to_string(length));
    return;
  }
  std::string line = "data " + std::to_string(arrived) + " ";
  AppendHex(line, received.data(), received.size());
  QueueLine(line);
}

LRESULT CALLBACK ClientWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == QV_PROCESS_ID_MESSAGE) {
    relayProcessId = static_cast<DWORD>(lParam);
    if (relayProcess != nullptr) CloseHandle(relayProcess);
    relayProcess = OpenProcess(PROCESS_VM_READ, FALSE, relayProcessId);
    QueueLine("linkup " + std::to_string(relayProcessId) + " " + std::to_string(static_cast<long long>(wParam)));
    return 1;
  }
  if (message == QV_DATA_MESSAGE) {
    TakeData(wParam, lParam);
    return 1;
  }
  if (message == WM_TIMER && wParam == FlushTimer) {
    Flush();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void FindRelay(const std::vector<std::string>& words) {
  const long long waitMs = words.size() > 1 ? ParseNumber(words[1]) : 30000;
  for (long long waited = 0;; waited += 100) {
    relayWindow = FindWindowA(QV_RELAY_WINDOW_CLASS, QV_RELAY_WINDOW_TITLE);
    if (relayWindow != nullptr || waited >= waitMs) break;
    Sleep(100);
  }
  Answer("relay " + std::to_string(reinterpret_cast<std::intptr_t>(relayWindow)));
}

// Waits until at most 1 ms before `due` (in 100 ns units), sleeping, never
// spinning: at high rates the texts then leave in small bursts, each 1 ms
// apart, and the sender takes no processor from the relays it measures.
// (Each text still carries its own send time.)
void WaitUntil(std::uint64_t due) {
  while (due > Now() + 10000) Sleep(1);
}

void SendTexts(const std::vector<std::string>& words) {
  const long long count = ParseNumber(words[1]);
  const double rate = std::strtod(words[2].c_str(), nullptr);
  const long long size = ParseNumber(words[3]) < 12 ? 12 : ParseNumber(words[3]);
  long long failed = 0;
  std::vector<std::uint8_t> bytes;
  const std::uint64_t start = Now();
  for (long long sequence = 0; sequence < count; ++sequence) {
    if (rate > 0) WaitUntil(start + static_cast<std::uint64_t>(static_cast<double>(sequence) * 1e7 / rate));
    bytes.clear();
    bytes.push_back(QV_CODE_TEXT);
    AppendLittleEndian(bytes, static_cast<std::uint64_t>(sequence), 4);
    AppendLittleEndian(bytes, Now(), 8);
    for (long long i = 12; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>((sequence + i) % 251));
    if (HandOver(bytes) != 1) ++failed;
  }
  const double seconds = static_cast<double>(Now() - start) / 1e7;
  char line[128];
  std::snprintf(line, sizeof line, "sent %lld %lld %.6f", count, failed, seconds);
  Answer(line);
}

// A small generator of its own, so a seed gives the same run everywhere.
struct Random {
  std::uint64_t state;
  std::uint32_t Next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state >> 33);
  }
  std::uint32_t Below(std::uint32_t bound) { return Next() % bound; }
};

std::vector<std::uint8_t> RandomBytes(Random& random, std::size_t length) {
  std::vector<std::uint8_t> bytes(length);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random.Next());
  return bytes;
}

// A code byte that makes the relay do nothing: 1 or 5 to 255.
std::uint8_t InertCode(Random& random) {
  const std::uint32_t pick = random.Below(252);
  return pick == 0 ? 1 : static_cast<std::uint8_t>(pick + 4);
}

LRESULT SendOneAbuse(Random& random) {
  std::vector<std::uint8_t> bytes;
  switch (random.Below(9)) {
    case 0: {  // lengths no record can have, over a readable record
      static const long long lengths[] = {0, -1, -2147483647LL - 1, 2147483647LL, 65508, 0x100000005LL,
                                          -65536, 1LL << 40};
      bytes = RandomBytes(random, 16);
      bytes[0] = InertCode(random);
      return HandOver(bytes, static_cast<LPARAM>(lengths[random.Below(8)]));
    }
    case 1: {  // an address nothing can read
      static const WPARAM addresses[] = {0, 16, 0xFFFFFFFFu, static_cast<WPARAM>(-4096)};
      return SendMessageA(relayWindow, QV_DATA_MESSAGE, addresses[random.Below(4)],
                          static_cast<LPARAM>(1 + random.Below(64)));
    }
    case 2: {  // a create record too short for its fields
      bytes = RandomBytes(random, 1 + random.Below(9));
      bytes[0] = QV_CODE_CREATE;
      return HandOver(bytes);
    }
    case 3: {  // a create record whose host text never ends
      bytes = RandomBytes(random, 10 + random.Below(200));
      for (auto& byte : bytes) {
        if (byte == 0) byte = 'x';
      }
      bytes[0] = QV_CODE_CREATE;
      return HandOver(bytes);
    }
    case 4: {  // a code that means nothing, short or long
      bytes = RandomBytes(random, 1 + random.Below(random.Below(4) == 0 ? 65507 : 300));
      bytes[0] = InertCode(random);
      return HandOver(bytes);
    }
    case 5: {  // a record that runs off the end of readable memory
      std::uint8_t* edge = RecordRegion() + kRecordRegionSize / 2;
      const std::uint32_t inside = 1 + random.Below(64);
      edge[-static_cast<std::ptrdiff_t>(inside)] = InertCode(random);
      return SendMessageA(relayWindow, QV_DATA_MESSAGE, reinterpret_cast<WPARAM>(edge - inside),
                          static_cast<LPARAM>(inside + 1 + random.Below(4000)));
    }
    case 6: {  // an announcement of a process that does not exist
      static const LPARAM processes[] = {0, -1, 0x7FFFFFF0, 4};
      return SendMessageA(relayWindow, QV_PROCESS_ID_MESSAGE, 0, processes[random.Below(4)]);
    }
    case 7: {  // the length as a 32-bit value with garbage in the upper half
      bytes = RandomBytes(random, 12);
      bytes[0] = InertCode(random);
      return HandOver(bytes, static_cast<LPARAM>(0xABCD000000000000ULL | bytes.size()));
    }
    default: {  // an empty record at a valid address
      return HandOver(bytes, 0);
    }
  }
}

void Abuse(const std::vector<std::string>& words) {
  const long long count = ParseNumber(words[1]);
  Random random{static_cast<std::uint64_t>(ParseNumber(words[2])) * 2 + 1};
  long long handled = 0;
  for (long long i = 0; i < count; ++i) {
    if (SendOneAbuse(random) == 1) ++handled;
  }
  Answer("abused " + std::to_string(count) + " " + std::to_string(handled));
}

void ProbeSleep(const std::vector<std::string>& words) {
  const long long count = ParseNumber(words[1]) < 1 ? 1 : ParseNumber(words[1]);
  std::vector<std::uint64_t> slept;
  for (long long i = 0; i < count; ++i) {
    const std::uint64_t before = Now();
    Sleep(1);
    slept.push_back(Now() - before);
  }
  std::sort(slept.begin(), slept.end());
  const auto at = [&slept](double share) {
    const auto last = static_cast<double>(slept.size() - 1);
    return static_cast<unsigned long long>(slept[static_cast<std::size_t>(share * last)] / 10);
  };
  Answer("slept " + std::to_string(at(0.5)) + " " + std::to_string(at(0.99)) + " " + std::to_string(at(1.0)));
}

bool RunCommand(const std::string& line) {
  const std::vector<std::string> words = Words(line);
  if (words.empty()) return true;
  const std::string& verb = words[0];
  std::vector<std::uint8_t> bytes;

  if (verb == "find") {
    FindRelay(words);
  } else if (verb == "hwnd") {
    Answer("hwnd " + std::to_string(reinterpret_cast<std::intptr_t>(clientWindow)));
  } else if (verb == "announce") {
    const DWORD processId = words.size() > 1 ? static_cast<DWORD>(ParseNumber(words[1])) : GetCurrentProcessId();
    Answer(Result(SendMessageA(relayWindow, QV_PROCESS_ID_MESSAGE, 0, static_cast<LPARAM>(processId))));
  } else if (verb == "create" && words.size() == 3) {
    bytes.push_back(0);
    AppendLittleEndian(bytes, static_cast<std::uint32_t>(ParseNumber(words[1])), 4);
    // A window handle travels as its 32-bit value.
    AppendLittleEndian(bytes, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(clientWindow)), 4);
    bytes.insert(bytes.end(), words[2].begin(), words[2].end());
    bytes.push_back(0);
    const LRESULT result = HandOver(bytes);
    Answer(Result(result));
  } else if (verb == "login") {
    Answer(Result(HandOver({QV_CODE_LOGIN})));
  } else if (verb == "timedlogin") {
    const std::uint64_t before = Now();
    const LRESULT result = HandOver({QV_CODE_LOGIN});
    Answer(Result(result) + " " + std::to_string((Now() - before) / 10));
  } else if (verb == "send" && words.size() == 4) {
    SendTexts(words);
  } else if (verb == "abuse" && words.size() == 3) {
    Abuse(words);
  } else if (verb == "sleepprobe" && words.size() == 2) {
    ProbeSleep(words);
  } else if (verb == "flush") {
    Answer("flushed");
  } else if (verb == "exit") {
    Answer("bye");
    return false;
  } else {
    Answer("usage " + line);
  }
  return true;
}

}  // namespace

int main() {
  clientWindow = command_window::Create("QuorvelLoadClient", "Quorvel load client", ClientWindowProcedure);
  if (clientWindow == nullptr) return 3;
  received.reserve(70000);
  if (!command_window::RunCommands(clientWindow, RunCommand)) return 3;
  Flush();
  DestroyWindow(clientWindow);
  return 0;
}
