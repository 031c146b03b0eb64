// Client messages as the main window's callback gets them: announcements of
// client processes and QV_DATA_MESSAGE records of any length and content, which
// the processes may or may not be able to supply, delivered one after the
// other or nested inside a notification or an error box, as a window
// procedure can be entered again while it waits.
//
// Input: a set-up byte (bit 0: debug mode; bits 1-3: the configured send
// buffer size), then operations, each starting with a byte whose bits 0-1
// say what it is and whose bit 7 holds it back until the relay next sends a
// client a message or shows a box:
//   0  announce process 11 + (next byte mod 6); 11 to 14 exist
//   1  a record in one process's memory (or none)
//   2  a record that two processes hold at the same address
//   3  next byte below 0x80: the process (that byte mod 4) ends, reading
//      from it fails; else bit 0 says whether sockets can be had from now on
// A record operation goes on with a byte (bits 0-2: which process holds it,
// 4 = none; bits 3-4: how the message's length relates to the record), a
// 16-bit record length and the record's bytes.

#include <array>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>

#include "relay/client_link.h"
#include "relay/command_record.h"
#include "quorvel_wire.h"
#include "relay/relay.h"
#include "doubles/fake_client_platform.h"
#include "doubles/memory_sockets.h"
#include "net/udp_transport.h"
#include "support/checked_log_view.h"
#include "support/fuzz_input.h"
#include "support/quiet_desktop.h"

namespace {

using quorvel::ProcessHandle;

constexpr std::array<std::int32_t, 8> kSendBufferSizes = {64, 0, 1, 9, 10, 1024, -1, 65508};
// Handles as different as a platform gives them: small, above 32 bits, and
// ones that read as negative numbers.
constexpr std::array<ProcessHandle, 4> kProcesses = {0x104, 0x100000010, -2, -0x7FFFFFF0};
constexpr std::uint32_t kFirstProcessId = 11;
constexpr int kDeepestNesting = 4;

struct Operation {
  std::uint8_t kind = 0;
  std::uint8_t detail = 0;
  std::string record;
  std::intptr_t lengthParam = 0;
  std::uint8_t extra = 0;
};

class ClientSession {
 public:
  ClientSession() : relay_(desktop_, clients_) {
    for (std::size_t index = 0; index < kProcesses.size(); ++index) {
      clients_.AddProcess(kFirstProcessId + static_cast<std::uint32_t>(index), kProcesses[index]);
    }
    clients_.onSend = [this](const quorvel::testing::FakeClientPlatform::SentMessage&) { RunHeldBack(); };
    desktop_.onErrorBox = [this] { RunHeldBack(); };
  }

  void SetUp(std::uint8_t setUp) {
    relay_.settings.port = 1234;
    relay_.log.Enable((setUp & 1) != 0);
    relay_.settings.sendBufferSize = kSendBufferSizes[(setUp >> 1) & 7];
    relay_.clientDataBuffer.Reallocate(relay_.settings.sendBufferSize);
    if (relay_.Debugging()) relay_.log.AttachView(&view_);
    quorvel::testing::RefuseSockets(false);
    quorvel::StartNetwork();
  }

  void Take(Operation operation, bool holdBack) {
    if (holdBack) {
      heldBack_.push_back(std::move(operation));
    } else {
      Run(operation);
    }
  }

  quorvel::Relay& relay() { return relay_; }

 private:
  // A record's own address in each process, so that no two overlap.
  std::uintptr_t NextAddress() { return 0x10000 + 0x100000 * ++records_; }

  void Run(const Operation& operation) {
    switch (operation.kind) {
      case 0:
        quorvel::ClientWindowCallback(relay_, QV_PROCESS_ID_MESSAGE, 0,
                                      static_cast<std::intptr_t>(kFirstProcessId) + operation.detail % 6);
        break;
      case 1:
      case 2: {
        const std::uintptr_t address = NextAddress();
        const std::size_t holder = operation.detail & 7;
        if (holder < kProcesses.size()) clients_.PutMemory(kProcesses[holder], address, operation.record);
        if (operation.kind == 2) {
          clients_.PutMemory(kProcesses[(holder + 1) % kProcesses.size()], address, operation.record);
        }
        quorvel::ClientWindowCallback(relay_, QV_DATA_MESSAGE, address, operation.lengthParam);
        break;
      }
      default:
        if (operation.detail < 0x80) {
          clients_.EndProcessOf(kProcesses[operation.detail % kProcesses.size()]);
        } else {
          quorvel::testing::RefuseSockets((operation.detail & 1) != 0);
        }
        break;
    }
  }

  // What a client does while the relay waits on it.
  void RunHeldBack() {
    if (nesting_ == kDeepestNesting || heldBack_.empty()) return;
    const Operation operation = std::move(heldBack_.front());
    heldBack_.pop_front();
    ++nesting_;
    Run(operation);
    --nesting_;
  }

  quorvel::fuzzing::QuietDesktop desktop_;
  quorvel::testing::FakeClientPlatform clients_;
  quorvel::fuzzing::CheckedLogView view_;
  quorvel::Relay relay_;
  std::deque<Operation> heldBack_;
  int nesting_ = 0;
  std::uintptr_t records_ = 0;
};

// The length a message gives for a record of `size` bytes.
std::intptr_t LengthParam(std::uint8_t mode, std::size_t size, quorvel::fuzzing::FuzzInput& input) {
  const auto exact = static_cast<std::intptr_t>(size);
  switch (mode & 3) {
    case 0:
      return exact;
    case 1:  // longer than the process can supply
      return exact + 1 + input.Byte();
    case 2:  // zero or negative
      return -static_cast<std::intptr_t>(input.Long());
    default: {  // beyond any useful record, up to far beyond 32 bits
      const std::uint8_t shift = input.Byte() % 40;
      return quorvel::record_layout::kLongestUsefulRecord + (static_cast<std::intptr_t>(1) << shift);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvel::fuzzing::FuzzInput input(data, size);
  ClientSession session;
  session.SetUp(input.Byte());
  try {
    while (!input.empty()) {
      const std::uint8_t head = input.Byte();
      Operation operation;
      operation.kind = head & 3;
      operation.detail = input.Byte();
      if (operation.kind == 1 || operation.kind == 2) {
        operation.record = input.Bytes(input.Word());
        operation.lengthParam = LengthParam(static_cast<std::uint8_t>(operation.detail >> 3),
                                            operation.record.size(), input);
      }
      session.Take(std::move(operation), (head & 0x80) != 0);
    }
  } catch (const quorvel::fuzzing::ProcessEnded&) {
    // A Quit record: the relay is gone, and so is the rest of the input.
  }
  (void)session.relay().log.Render();
  return 0;
}
