// The settings file's text, read the way the relay reads it at start-up.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/run_relay.h"
#include "relay/settings.h"
#include "relay/operator_texts.h"
#include "relay/relay.h"
#include "doubles/fake_client_platform.h"
#include "support/quiet_desktop.h"

namespace {

std::string scratchDirectory;

void RemoveScratchDirectory() {
  std::remove((scratchDirectory + "/" + quorvel::texts::kSettingsFile).c_str());
  ::rmdir(scratchDirectory.c_str());
}

[[noreturn]] void Fail(const char* what, long long value) {
  std::fprintf(stderr, "%s: %lld\n", what, value);
  std::abort();
}

void ReadSettingsFile(const std::uint8_t* data, std::size_t size);

}  // namespace

// The relay reads its file from the current directory: the input is read
// in an empty directory of the fuzzer's own, the fuzzer's own directory
// (where it keeps its corpus) is current again before it goes on.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/quorvel-settings-fuzz-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    std::perror("scratch directory");
    std::abort();
  }
  scratchDirectory = pattern;
  std::atexit(RemoveScratchDirectory);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fuzzerDirectory = ::open(".", O_RDONLY | O_DIRECTORY);
  if (fuzzerDirectory < 0 || ::chdir(scratchDirectory.c_str()) != 0) {
    std::perror("scratch directory");
    std::abort();
  }
  ReadSettingsFile(data, size);
  if (::fchdir(fuzzerDirectory) != 0 || ::close(fuzzerDirectory) != 0) {
    std::perror("fuzzer directory");
    std::abort();
  }
  return 0;
}

namespace {

void ReadSettingsFile(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(quorvel::texts::kSettingsFile, "wb");
  if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
    std::perror("settings file");
    std::abort();
  }

  quorvel::fuzzing::QuietDesktop desktop;
  quorvel::testing::FakeClientPlatform clients;
  quorvel::Relay relay(desktop, clients);
  quorvel::ApplySettings(relay, quorvel::ReadSettings(quorvel::texts::kSettingsFile));

  // The sizes the relay goes by must never claim more than its buffers hold.
  const std::int32_t receiveSize = relay.receiveBuffer.size();
  if (receiveSize > 0 && relay.receiveBuffer.capacity() != receiveSize) Fail("receive buffer size", receiveSize);
  if (receiveSize <= 0 && relay.receiveBuffer.data() != nullptr) Fail("receive buffer without a size", receiveSize);
  const std::int32_t clientSize = relay.clientDataBuffer.size();
  if (clientSize != 0 && clientSize != relay.settings.sendBufferSize) Fail("client data buffer size", clientSize);
  if (relay.Debugging() != (relay.settings.debugging == 1)) Fail("debug switch", relay.settings.debugging);
}

}  // namespace
