// What one line of the debug log costs the relay's thread, with the tree
// alone (debugging on), with the log file alone, and with the file handed to
// the system after every event, as the relay does when it waits. Run it
// where the relay runs: `wine build/windows-x64/log_lines.exe` (or the
// native build's bench/log_lines); it writes log-lines.log in the current
// directory and removes it again.

#include <chrono>
#include <cstdio>
#include <cstdint>

#include "log/debug_log.h"

namespace {

constexpr int kEvents = 10000;  // six lines each, as a text arriving at a relay
constexpr char kFile[] = "log-lines.log";

enum class Sink { Tree, File, FileFlushedPerEvent };

double MicrosecondsPerLine(Sink sink) {
  quorvel::DebugLog log;
  log.Enable(sink == Sink::Tree);
  log.KeepNewestEntries(10000);
  if (sink != Sink::Tree) log.WriteToFile(kFile, std::int64_t{1} << 30, "%s");
  static const std::uint8_t text[] = "Hallo B, hier spricht A";
  const auto start = std::chrono::steady_clock::now();
  for (int event = 0; event < kEvents; ++event) {
    log.Line("EmpfangsEvent");
    log.OpenGroup();
    log.Line("Der Text stammt von %ld", 7L);
    log.Line("Es ist ein Text");
    log.Line("Er beinhaltet folgende Nachricht:");
    log.Text(text, sizeof text - 1);
    log.Line("Nachricht wird an das Fenster %ld weitergeleitet", 65646L);
    log.CloseGroup();
    if (sink == Sink::FileFlushedPerEvent) log.Flush();
  }
  const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / (kEvents * 6);
}

}  // namespace

int main() {
  std::printf("tree (debugging on), per line:           %.2f us\n", MicrosecondsPerLine(Sink::Tree));
  std::printf("log file, per line:                      %.2f us\n", MicrosecondsPerLine(Sink::File));
  std::printf("log file handed over after each event:   %.2f us\n", MicrosecondsPerLine(Sink::FileFlushedPerEvent));
  std::remove(kFile);
  return 0;
}
