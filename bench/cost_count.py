"""What a stretch of work costs each process, counted rather than timed
(scripts/bench): Linux system calls, wineserver requests and wake-ups.
As long as the work is paced so that each piece finds the processes
asleep, counts hardly depend on how busy the machine is, so two relays
measured an hour apart compare fairly.

- System calls: perf's `raw_syscalls:sys_enter` over all threads.
- Wineserver requests: under Wine each thread sends every request to its
  wineserver with one write (or writev) on a pipe of its own, whose read end
  the wineserver holds; those writes are counted (perf, filtered by the
  descriptor), and nothing else written by the process is.
- Wake-ups: voluntary context switches of all threads (/proc), each one a
  thread going to sleep.
"""

import os
import signal
import subprocess
import time
from pathlib import Path

import harness
from load_run import switches

PERF_ATTACH_SECONDS = 0.5
FIGURES = ("syscalls", "requests", "wakeups")


def _pipes(pid, access):
    """(pipe, descriptor) of each pipe end the process holds open for `access`
    (os.O_RDONLY or os.O_WRONLY)."""
    found = []
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
            flags = Path(f"/proc/{pid}/fdinfo/{fd}").read_text().split("flags:")[1].split()[0]
        except (OSError, IndexError):
            continue
        if target.startswith("pipe:") and int(flags, 8) & os.O_ACCMODE == access:
            found.append((target, int(fd)))
    return found


def request_pipes(pid, server):
    """The descriptors on which process `pid` sends requests to the wineserver
    `server`: pipes it writes to and the wineserver reads from. (The
    wineserver also holds the write ends of the process's reply pipes, and
    may hold duplicates of other descriptors it writes to; neither counts.)"""
    read_by_server = {target for target, _ in _pipes(server, os.O_RDONLY)}
    return sorted(fd for target, fd in _pipes(pid, os.O_WRONLY) if target in read_by_server)


def wakeups(pid):
    return sum(switches(pid).values())


def parse_perf(output):
    """perf stat's CSV lines ("value,unit,event,...") as {event: value}. A
    counter of threads that never ran in the time is "<not counted>": 0."""
    counts = {}
    for line in output.splitlines():
        fields = line.split(",")
        if len(fields) >= 3 and (fields[0].isdigit() or fields[0] == "<not counted>"):
            counts[fields[2]] = counts.get(fields[2], 0) + (int(fields[0]) if fields[0].isdigit() else 0)
    return counts


class Count:
    """Counts of some processes over a stretch of work: `processes` maps a
    label to (pid, the pid of its wineserver, or None for a process that is
    not a Wine program). start(), the work, then stop() gives per label
    {"syscalls", "requests" (None when not a Wine program), "wakeups",
    "seconds"}."""

    def __init__(self, processes):
        self.processes = processes

    def start(self):
        commands = {}
        for label, (pid, server) in self.processes.items():
            events = ["-e", "raw_syscalls:sys_enter"]
            if server:
                fds = request_pipes(pid, server)
                if not fds:
                    raise RuntimeError(f"{label} (pid {pid}) holds no request pipe of wineserver {server}")
                only = " || ".join(f"fd == {fd}" for fd in fds)
                events += ["-e", "syscalls:sys_enter_write", "--filter", only,
                           "-e", "syscalls:sys_enter_writev", "--filter", only]
            commands[label] = ["perf", "stat", "-x,", "-p", str(pid), *events]
        self.perf = {label: subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                             preexec_fn=harness._die_with_parent)
                     for label, command in commands.items()}
        time.sleep(PERF_ATTACH_SECONDS)
        self.wakeups = {label: wakeups(pid) for label, (pid, _) in self.processes.items()}
        self.started = time.monotonic()

    def stop(self):
        seconds = time.monotonic() - self.started
        woken = {label: wakeups(pid) - self.wakeups[label] for label, (pid, _) in self.processes.items()}
        for perf in self.perf.values():
            perf.send_signal(signal.SIGINT)
        counted = {}
        for label, (pid, server) in self.processes.items():
            output = self.perf[label].communicate(timeout=30)[1].decode()
            events = parse_perf(output)
            if "raw_syscalls:sys_enter" not in events:
                raise RuntimeError(f"perf stat of {label} (pid {pid}) failed: {output.strip()[-500:]}")
            requests = None
            if server:
                requests = events.get("syscalls:sys_enter_write", 0) + events.get("syscalls:sys_enter_writev", 0)
            counted[label] = {"syscalls": events["raw_syscalls:sys_enter"], "requests": requests,
                              "wakeups": woken[label], "seconds": seconds}
        return counted


def measure(processes, work):
    """Counts of `processes` (as for Count) while `work()` runs; returns the
    counts and what `work` returned."""
    count = Count(processes)
    count.start()
    try:
        result = work()
    finally:
        counted = count.stop()
    return counted, result


def per_unit(busy, idle, units):
    """What one unit of work (a text, a datagram) costs each process: the
    counts over the work less what the process does idle in as much time,
    divided by the units."""
    costs = {}
    for label, counts in busy.items():
        rest = idle[label]
        costs[label] = {}
        for figure in FIGURES:
            if counts[figure] is None:
                costs[label][figure] = None
                continue
            background = rest[figure] / rest["seconds"] * counts["seconds"]
            costs[label][figure] = (counts[figure] - background) / units
    return costs
