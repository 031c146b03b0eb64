#!/usr/bin/env python3
"""The bench's counts (cost_count.py) on plain Linux processes laid out as a
Wine program and its wineserver are: a "server" holding the read end of the
program's request pipe, the write end of its reply pipe and a duplicate of
its standard output. Counting needs root (perf's tracepoints)."""

import os
import subprocess
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools" / "winehost"))

import cost_count  # noqa: E402

PROGRAM = """
import os, sys
request, output, go, done = map(int, sys.argv[1:5])
os.write(done, b"r")
os.read(go, 1)
for _ in range(7):
    os.write(request, b"r")
for _ in range(5):
    os.writev(request, [b"r", b"data"])
for _ in range(4):
    os.write(output, b"line")
os.write(done, b"d")
os.read(go, 1)
"""


def perf_can_trace():
    try:
        return subprocess.run(["perf", "stat", "-e", "raw_syscalls:sys_enter", "true"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=30).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


class ProgramAndServer(unittest.TestCase):
    def setUp(self):
        request, reply, output, self.go, self.done = (os.pipe() for _ in range(5))
        self.request_fd, self.output = request[1], output[0]
        self.server = subprocess.Popen([sys.executable, "-c", "print(flush=True); input()"],
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, pass_fds=(request[0], reply[1], output[1]))
        self.program = subprocess.Popen([sys.executable, "-c", PROGRAM, str(request[1]), str(output[1]),
                                         str(self.go[0]), str(self.done[1])],
                                        pass_fds=(request[1], reply[0], output[1], self.go[0], self.done[1]))
        for end in (*request, *reply, output[1], self.go[0], self.done[1]):
            os.close(end)
        # Both started up and asleep.
        self.server.stdout.readline()
        os.read(self.done[0], 1)

    def tearDown(self):
        os.write(self.go[1], b"ee")  # go (if it has not yet), then end
        self.program.wait(10)
        self.server.communicate(b"\n", 10)
        for end in (self.go[1], self.done[0], self.output):
            os.close(end)

    def test_only_the_pipe_the_server_reads_carries_requests(self):
        self.assertEqual(cost_count.request_pipes(self.program.pid, self.server.pid), [self.request_fd])

    @unittest.skipUnless(os.geteuid() == 0 and perf_can_trace(), "perf's tracepoints need root and a kernel that offers them")
    def test_requests_are_the_writes_on_that_pipe_and_an_idle_process_counts_nothing(self):
        def work():
            os.write(self.go[1], b"g")
            os.read(self.done[0], 1)
            # Until it sleeps again: that is the wake-up's switch.
            stat = Path(f"/proc/{self.program.pid}/stat")
            for _ in range(500):
                if stat.read_text().rsplit(")", 1)[1].split()[0] == "S":
                    break
                time.sleep(0.01)

        counted, _ = cost_count.measure({"program": (self.program.pid, self.server.pid),
                                         "server": (self.server.pid, None)}, work)
        program, server = counted["program"], counted["server"]
        self.assertEqual(program["requests"], 12)
        self.assertGreaterEqual(program["syscalls"], 16 + 2)
        self.assertGreaterEqual(program["wakeups"], 1)
        self.assertEqual((server["syscalls"], server["requests"], server["wakeups"]), (0, None, 0))


if __name__ == "__main__":
    unittest.main()
