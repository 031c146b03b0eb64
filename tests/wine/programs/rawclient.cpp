// A raw local client of the relay for the Wine tests, driven line by line:
// it hands over any record or message, well-formed or not (the SDK client
// qvclient.exe only sends sound ones).
//
// It owns a hidden top-level window, hands command records over from its own
// memory with SendMessageA and reads the texts the relay announces out of the
// relay's process while the announcement is being delivered.
//
// Commands on stdin, one per line; each answers with one line on stdout:
//   find [MS]                  -> relay HWND          (0 when none appeared)
//   hwnd                       -> hwnd HWND           (this client's window)
//   announce [PID]             -> result N            QV_PROCESS_ID_MESSAGE, own pid by default
//   create NAMEID HOST         -> result N            CreateVirtualServer with this window
//   login                      -> result N            SendLogin
//   text [HEX]                 -> result N            SendText
//   quit                       -> result N error E    Quit (the relay ends; N is 0)
//   record [HEX]               -> result N            any record bytes
//   place ADDRESS              -> placed ADDRESS      records are handed over from a block at
//                                 or unplaced         ADDRESS from now on (say above 2 GiB in
//                                                     a large-address-aware 32-bit build)
//   stall MS                   -> stalling MS         the next text notification waits MS
//                                                     inside the window procedure before
//                                                     it reads the text (a hung window)
//   message MSG WPARAM LPARAM  -> result N            any message; WPARAM "record" is
//                                                     the address of the last record
//   exit                       -> bye                 ends this program
// Notifications from the relay, as they are delivered:
//   linkup PID WPARAM          NotifyLinkUp (QV_PROCESS_ID_MESSAGE)
//   data HEX                   NotifyClientData, the bytes read out of the relay
//   unreadable ADDRESS LENGTH  NotifyClientData whose bytes could not be read
// Results are pointer-sized and signed.

#include <windows.h>

#include "command_window.h"
#include "quorvel_wire.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {


HWND clientWindow = nullptr;
HWND relayWindow = nullptr;
DWORD relayProcessId = 0;

// The record handed over last stays here, readable, until the next one.
// The block lies at an address derived from the process id, where no other
// instance of this program has memory: the relay tells clients apart by
// which registered process can supply a record's bytes.
constexpr std::size_t kRecordBlockSize = 0x20000;
std::uint8_t* recordBlock = nullptr;
std::size_t recordLength = 0;

std::uint8_t* ReserveRecordBlock() {
  // Far from where heaps and stacks grow; a 32-bit build has less room, and
  // other 32-bit processes under Wine hold memory readable from outside up to
  // 0x40000000.
  const std::uintptr_t base = sizeof(void*) == 8 ? static_cast<std::uintptr_t>(0x100000000000ull) : 0x50000000u;
  const std::uintptr_t first = base + (GetCurrentProcessId() / 4 % 0x400) * kRecordBlockSize;
  // Where something else already lies, the next blocks are tried.
  for (std::uintptr_t at = first; at < first + 64 * kRecordBlockSize; at += kRecordBlockSize) {
    void* block = VirtualAlloc(reinterpret_cast<void*>(at), kRecordBlockSize, MEM_RESERVE | MEM_COMMIT,
                               PAGE_READWRITE);
    if (block != nullptr) return static_cast<std::uint8_t*>(block);
  }
  return nullptr;
}

// How long the next text notification stalls before it reads; 0 = not at all.
DWORD stallMs = 0;

void WriteLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Hex(const std::uint8_t* bytes, std::size_t length) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < length; ++i) {
    hex += digits[bytes[i] >> 4];
    hex += digits[bytes[i] & 0xF];
  }
  return hex;
}

bool ParseHex(const std::string& hex, std::vector<std::uint8_t>& bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = hex.substr(i, 2);
    const unsigned long value = std::strtoul(pair.c_str(), &end, 16);
    if (end != pair.c_str() + 2) return false;
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return true;
}

long long ParseNumber(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 0); }

void AppendLittleEndian32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
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

void WriteResult(LRESULT result) { WriteLine("result " + std::to_string(static_cast<long long>(result))); }

// Hands the record over the way a client does: a synchronous send, so that
// the bytes stay where they are until the relay has read them.
LRESULT HandOver(const std::vector<std::uint8_t>& bytes) {
  recordLength = bytes.size() < kRecordBlockSize ? bytes.size() : kRecordBlockSize;
  std::copy_n(bytes.begin(), recordLength, recordBlock);
  return SendMessageA(relayWindow, QV_DATA_MESSAGE, reinterpret_cast<WPARAM>(recordBlock),
                      static_cast<LPARAM>(recordLength));
}

// The relay tells this window about its link and hands it text.
LRESULT CALLBACK ClientWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == QV_PROCESS_ID_MESSAGE) {
    relayProcessId = static_cast<DWORD>(lParam);
    WriteLine("linkup " + std::to_string(relayProcessId) + " " + std::to_string(static_cast<long long>(wParam)));
    return 1;
  }
  if (message == QV_DATA_MESSAGE) {
    // The relay stops waiting meanwhile; the text must still be there after.
    if (stallMs != 0) Sleep(std::exchange(stallMs, 0));
    const auto length = static_cast<std::int32_t>(lParam);
    const WPARAM address = wParam;
    std::vector<std::uint8_t> bytes(length > 0 ? static_cast<std::size_t>(length) : 0);
    HANDLE relay = OpenProcess(PROCESS_VM_READ, FALSE, relayProcessId);
    SIZE_T read = 0;
    const bool whole = relay != nullptr &&
                       (bytes.empty() || (ReadProcessMemory(relay, reinterpret_cast<LPCVOID>(address), bytes.data(),
                                                            bytes.size(), &read) &&
                                          read == bytes.size()));
    if (relay != nullptr) CloseHandle(relay);
    if (whole) {
      WriteLine("data " + Hex(bytes.data(), bytes.size()));
    } else {
      WriteLine("unreadable " + std::to_string(static_cast<unsigned long long>(address)) + " " +
                std::to_string(length));
    }
    return 1;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Moves the record block to `address`, where the platform allows it.
void PlaceRecordBlock(std::uintptr_t address) {
  void* block = VirtualAlloc(reinterpret_cast<void*>(address), kRecordBlockSize, MEM_RESERVE | MEM_COMMIT,
                             PAGE_READWRITE);
  if (block != reinterpret_cast<void*>(address)) {
    if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
    WriteLine("unplaced");
    return;
  }
  VirtualFree(recordBlock, 0, MEM_RELEASE);
  recordBlock = static_cast<std::uint8_t*>(block);
  WriteLine("placed " + std::to_string(static_cast<unsigned long long>(address)));
}

void FindRelay(const std::vector<std::string>& words) {
  const long long waitMs = words.size() > 1 ? ParseNumber(words[1]) : 30000;
  for (long long waited = 0;; waited += 100) {
    relayWindow = FindWindowA(QV_RELAY_WINDOW_CLASS, QV_RELAY_WINDOW_TITLE);
    if (relayWindow != nullptr || waited >= waitMs) break;
    Sleep(100);
  }
  WriteLine("relay " + std::to_string(reinterpret_cast<std::intptr_t>(relayWindow)));
}

// Runs one command line; false when the program is to end.
bool RunCommand(const std::string& line) {
  const std::vector<std::string> words = Words(line);
  if (words.empty()) return true;
  const std::string& verb = words[0];
  std::vector<std::uint8_t> bytes;

  if (verb == "find") {
    FindRelay(words);
  } else if (verb == "hwnd") {
    WriteLine("hwnd " + std::to_string(reinterpret_cast<std::intptr_t>(clientWindow)));
  } else if (verb == "announce") {
    const DWORD processId = words.size() > 1 ? static_cast<DWORD>(ParseNumber(words[1])) : GetCurrentProcessId();
    WriteResult(SendMessageA(relayWindow, QV_PROCESS_ID_MESSAGE, 0, static_cast<LPARAM>(processId)));
  } else if (verb == "create" && words.size() == 3) {
    bytes.push_back(0);
    AppendLittleEndian32(bytes, static_cast<std::uint32_t>(ParseNumber(words[1])));
    // A window handle travels as its 32-bit value.
    AppendLittleEndian32(bytes, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(clientWindow)));
    bytes.insert(bytes.end(), words[2].begin(), words[2].end());
    bytes.push_back(0);
    WriteResult(HandOver(bytes));
  } else if (verb == "login") {
    WriteResult(HandOver({QV_CODE_LOGIN}));
  } else if (verb == "quit") {
    SetLastError(0);
    const LRESULT result = HandOver({QV_CODE_QUIT});
    WriteLine("result " + std::to_string(static_cast<long long>(result)) + " error " +
              std::to_string(GetLastError()));
  } else if ((verb == "text" || verb == "record") && words.size() <= 2) {
    if (words.size() == 2 && !ParseHex(words[1], bytes)) {
      WriteLine("usage bad hex");
      return true;
    }
    if (verb == "text") bytes.insert(bytes.begin(), QV_CODE_TEXT);
    WriteResult(HandOver(bytes));
  } else if (verb == "message" && words.size() == 4) {
    const WPARAM wParam = words[2] == "record" ? reinterpret_cast<WPARAM>(recordBlock)
                                               : static_cast<WPARAM>(ParseNumber(words[2]));
    WriteResult(SendMessageA(relayWindow, static_cast<UINT>(ParseNumber(words[1])), wParam,
                             static_cast<LPARAM>(ParseNumber(words[3]))));
  } else if (verb == "place" && words.size() == 2) {
    PlaceRecordBlock(static_cast<std::uintptr_t>(std::strtoull(words[1].c_str(), nullptr, 0)));
  } else if (verb == "stall" && words.size() == 2) {
    stallMs = static_cast<DWORD>(ParseNumber(words[1]));
    WriteLine("stalling " + std::to_string(stallMs));
  } else if (verb == "exit") {
    WriteLine("bye");
    return false;
  } else {
    WriteLine("usage " + line);
  }
  return true;
}

}  // namespace

int main() {
  clientWindow = command_window::Create("QuorvelTestClient", "Quorvel test client", ClientWindowProcedure);
  if (clientWindow == nullptr) return 3;
  recordBlock = ReserveRecordBlock();
  if (recordBlock == nullptr) return 3;
  if (!command_window::RunCommands(clientWindow, RunCommand)) return 3;
  DestroyWindow(clientWindow);
  return 0;
}
