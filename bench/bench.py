#!/usr/bin/env python3
"""Benchmark of the real Quorvel.exe under Wine (scripts/bench): two relays,
debugging off, in two network namespaces linked by a veth pair; client A
(qvload.exe) at relay A, client B at relay B, both logged in. Measured in one
run, printed as a table and written to a JSON file:

- first, counted rather than timed, what one text and one junk datagram cost
  each of the six processes (relays, wineservers, clients): Linux system
  calls, wineserver requests and wake-ups (bench/cost_count.py), at
  `--count-rate` and net of what the processes do idle;
- latency of one text from client A's SendText to client B's window (median
  and 99th percentile over `--latency-texts` texts), beside the one-way time of
  a plain UDP datagram between the same two namespaces (the floor);
- the highest steady rate of texts that all arrive, in steps of 10 seconds up
  to 10,000 texts/s, with the processor share of every process taking part
  and what the relays' threads were doing (sampled from /proc), so that the
  step that loses shows where the limit lies;
- latency and loss of texts at 200/s while strangers send 3,000 datagrams/s
  of every type and length to relay B (bench/junk_flood.py);
- an idle relay: wake-ups per second of each of its threads (voluntary
  context switches from /proc/PID/task/*/status) and the processor use of
  the relay and its wineserver over 10 seconds;
- processor use of a relay with an error box open and a datagram waiting;
- private and resident memory of relay B before and after all the texts.

`--relay-build DIR` runs the Quorvel.exe of another build directory (say, of
an older commit) with this harness and these load programs, so that two
relays are measured by the same yardstick. `--baseline-build DIR` counts the
Quorvel.exe of DIR as well, in a pair of its own after everything else, and
prints its counts beside; `--counts-only` leaves out the timed figures.
"""

import argparse
import collections
import json
import os
import platform
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

from bench_paths import REPO  # first: makes harness importable

import cost_count
import harness
import load_run
from harness import check, wait_until
from load_run import switches, task_ids

PORT = 4200
COUNT_IDLE_SECONDS = 3.0
NAME_ID = 77
TEXT_SIZE = 32
FLOOR_SCRIPT = REPO / "bench" / "udp_floor.py"
TAP_SCRIPT = REPO / "bench" / "wire_tap.py"
FLOOD_SCRIPT = REPO / "bench" / "junk_flood.py"
GOALS = {"latency_median_ms": 1.0, "latency_floor_factor": 8.0, "latency_p99_ms": 4.0, "lossless_rate": 3000.0,
         "idle_wakeups": 2.0, "idle_cpu": 0.001, "error_box_cpu": 0.02, "flood_lost": 0}
# Linux x86-64 system call numbers of the calls a Wine process waits in.
SYSCALLS = {0: "read", 1: "write", 7: "poll", 16: "ioctl", 19: "readv", 20: "writev", 23: "select",
            24: "sched_yield", 35: "nanosleep", 44: "sendto", 45: "recvfrom", 46: "sendmsg", 47: "recvmsg",
            202: "futex", 230: "clock_nanosleep", 232: "epoll_wait", 270: "pselect6", 271: "ppoll",
            281: "epoll_pwait", 441: "epoll_pwait2"}


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * (len(ordered) - 1) + 0.5))]


# ---------------------------------------------------------------- readings from /proc

def thread_name(pid, tid):
    """"main" for the process's first thread (under Wine, the program's main
    thread), else the thread's name and id."""
    if tid == pid:
        return "main"
    try:
        return f"{Path(f'/proc/{pid}/task/{tid}/comm').read_text().strip()}/{tid}"
    except OSError:
        return f"?/{tid}"


def woken(before, after):
    """Wake-ups between two readings of switches(), of the threads that
    lived through both."""
    return sum(after[tid] - before[tid] for tid in after if tid in before)


def wakeup_rates(before, after, seconds, pid):
    """Wake-ups per second of each thread between two readings of switches()."""
    return {thread_name(pid, tid): (after[tid] - before.get(tid, 0)) / seconds for tid in after}


class Sampler(threading.Thread):
    """What the threads of some processes are doing, sampled from /proc
    every 1/`hz` s: running, or the system call they wait in."""

    def __init__(self, processes, hz=50):
        super().__init__(daemon=True)
        self.processes = {label: pid for label, pid in processes.items() if pid}
        self.interval = 1.0 / hz
        self.samples = collections.defaultdict(collections.Counter)
        self.taken = 0
        self._done = threading.Event()

    def schedstat(self):
        """Per thread: nanoseconds on a processor and waiting for one."""
        stats = {}
        for label, pid in self.processes.items():
            for tid in task_ids(pid):
                try:
                    on_cpu, waiting = Path(f"/proc/{pid}/task/{tid}/schedstat").read_text().split()[:2]
                except (OSError, ValueError):
                    continue
                stats[f"{label} {thread_name(pid, tid)}"] = (int(on_cpu), int(waiting))
        return stats

    def run(self):
        self.start_stats = self.schedstat()
        self.start_time = time.monotonic()
        while not self._done.wait(self.interval):
            self.taken += 1
            for label, pid in self.processes.items():
                for tid in task_ids(pid):
                    try:
                        state = Path(f"/proc/{pid}/task/{tid}/stat").read_text().rsplit(")", 1)[1].split()[0]
                        doing = "running"
                        if state != "R":
                            call = Path(f"/proc/{pid}/task/{tid}/syscall").read_text().split()[0]
                            doing = SYSCALLS.get(int(call), f"syscall {call}") if call.isdigit() else call
                    except (OSError, IndexError, ValueError):
                        continue
                    self.samples[f"{label} {thread_name(pid, tid)}"][doing] += 1

    def finish(self):
        self._done.set()
        self.join()
        wall = (time.monotonic() - self.start_time) * 1e9
        shares = {thread: {doing: count / max(self.taken, 1) for doing, count in counter.most_common(4)}
                  for thread, counter in self.samples.items()}
        # "running" above counts a thread that waits for a processor too;
        # the scheduler's own account tells the two apart.
        for thread, (on_cpu, waiting) in self.schedstat().items():
            before = self.start_stats.get(thread, (0, 0))
            shares.setdefault(thread, {})
            shares[thread]["on a CPU"] = (on_cpu - before[0]) / wall
            shares[thread]["waiting for a CPU"] = (waiting - before[1]) / wall
        return shares


def busiest(cpu, threads, minimum=0.05):
    """A short account of a step: the processes by processor share, and what
    the relays' busier threads were doing."""
    parts = [f"{label} {share * 100:.0f} %" for label, share in sorted(cpu.items(), key=lambda item: -item[1])
             if share >= minimum]
    doing = [f"{thread}: " + ", ".join(f"{what} {share * 100:.0f} %" for what, share in shares.items())
             for thread, shares in sorted(threads.items())]
    return "; ".join(parts), doing


def prefix_processes(host):
    """Every process of the host's Wine prefix, by name: the programs, Wine's
    own services and the wineserver."""
    prefix = f"WINEPREFIX={host.prefix}".encode()
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            environment = Path(f"/proc/{entry}/environ").read_bytes().split(b"\0")
            name = Path(f"/proc/{entry}/comm").read_text().strip()
        except OSError:
            continue
        if prefix in environment:
            found[f"{name}/{entry}"] = int(entry)
    return found


def machine():
    model = "unknown"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            model = line.split(":", 1)[1].strip()
            break
    wine = subprocess.run([harness.WINE, "--version"], stdout=subprocess.PIPE).stdout.decode().strip()
    return {"cpu": model, "cores": os.cpu_count(), "kernel": platform.release(), "wine": wine,
            "load_average": os.getloadavg(), "relay": str(harness.relay_exe())}


class Pair:
    """Two relays (the Quorvel.exe `relay`, by default the harness's) and their
    clients, logged in both ways, on hosts named `sides`."""

    def __init__(self, session, say, extra_settings=(), relay=None, sides=("a", "b")):
        settings = load_run.settings(PORT) + "".join(f"{line}\r\n" for line in extra_settings).encode()
        relay = relay or harness.relay_exe()
        self.a = session.host(sides[0], settings)
        self.b = session.host(sides[1], settings)
        self.address_a, self.address_b = self.a.link(self.b)
        self.relay_a = self.a.start(relay, name="Quorvel")
        self.relay_b = self.b.start(relay, name="Quorvel")
        for host in (self.a, self.b):
            host.relay_window()
            wait_until(lambda host=host: PORT in host.udp_ports(), 30, f"UDP port {PORT} to be bound")
        self.pid_a = load_run.linux_pid(self.a, self.relay_a, relay)
        self.pid_b = load_run.linux_pid(self.b, self.relay_b, relay)
        self.server_a = load_run.wineserver_pid(self.a)
        self.server_b = load_run.wineserver_pid(self.b)
        self.client_a = load_run.LoadClient(self.a, "client-a")
        self.client_b = load_run.LoadClient(self.b, "client-b")
        self.processes = {"relay A": self.pid_a, "relay B": self.pid_b, "wineserver A": self.server_a,
                          "wineserver B": self.server_b, "client A": self.client_a.process.popen.pid,
                          "client B": self.client_b.process.popen.pid}
        # For the counts: each process with the wineserver it sends requests to.
        self.counted = {"relay A": (self.pid_a, self.server_a), "relay B": (self.pid_b, self.server_b),
                        "wineserver A": (self.server_a, None), "wineserver B": (self.server_b, None),
                        "client A": (self.processes["client A"], self.server_a),
                        "client B": (self.processes["client B"], self.server_b)}
        self.client_a.register()
        self.client_b.register()
        self.client_a.create(NAME_ID, self.address_b)
        self.client_b.create(NAME_ID, self.address_a)
        check(self.client_a.result("login") == 1, "A's login handed over")
        check(self.client_b.result("login") == 1, "B's login handed over")
        self.client_b.collect()
        # A text from A reaches B only once B's relay accepted A's login.
        for _ in range(10):
            if self.send(1, 0) == 1:
                break
            self.client_a.result("login")
            time.sleep(0.5)
        else:
            raise harness.TestFailure("no text from A reached B")
        say(f"relays up: A pid {self.pid_a}, B pid {self.pid_b}; A {self.address_a}, B {self.address_b}")

    def send(self, count, rate, size=TEXT_SIZE, settle=3.0):
        """Sends `count` texts from A at `rate` per second; returns the share
        that reached B, with the texts themselves in `last`."""
        before = self.client_b.received()
        answer = self.client_a.ask(f"send {count} {rate} {size}", timeout=count / max(rate, 1) * 3 + 120)
        check(answer.startswith("sent "), f"A's answer to send: {answer!r}")
        _, _, failed, seconds = answer.split()
        self.last_send = {"count": count, "failed": int(failed), "seconds": float(seconds)}
        deadline = time.monotonic() + settle + 30
        quiet = time.monotonic()
        seen = self.client_b.received()
        while time.monotonic() < deadline and seen - before < count and time.monotonic() - quiet < settle:
            time.sleep(0.1)
            now = self.client_b.received()
            if now != seen:
                seen, quiet = now, time.monotonic()
        with self.client_b._lock:
            self.last = self.client_b.data[before:]
        return len(self.last) / count


def floor(pair, count, rate):
    """One-way times of plain datagrams from A's namespace to B's."""
    receiver = subprocess.Popen(pair.b.command([sys.executable, str(FLOOR_SCRIPT), "receive", pair.address_b,
                                                "4300", str(count), "5"]),
                                stdout=subprocess.PIPE, preexec_fn=harness._die_with_parent)
    check(receiver.stdout.readline().strip() == b"ready", "floor receiver ready")
    subprocess.run(pair.a.command([sys.executable, str(FLOOR_SCRIPT), "send", pair.address_b, "4300", str(count),
                                   str(rate)]), check=True, timeout=count / rate + 60)
    out, _ = receiver.communicate(timeout=60)
    return [int(line) / 1e6 for line in out.split()]


def receive_queue_limit(host, port):
    """The receive queue the platform granted the socket at `port` (bytes,
    "rb" of ss's socket memory; Linux counts its bookkeeping in, so it
    doubles what was asked for)."""
    listing = subprocess.run(host.command(["ss", "-H", "-u", "-l", "-n", "-m"]), stdout=subprocess.PIPE,
                             check=True).stdout.decode()
    lines = listing.splitlines()
    for index, line in enumerate(lines):
        fields = line.split()
        if len(fields) >= 4 and fields[3].rsplit(":", 1)[-1] == str(port):
            memory = " ".join(lines[index:index + 2])
            for part in memory.replace("(", ",").replace(")", ",").split(","):
                if part.startswith("rb") and part[2:].isdigit():
                    return int(part[2:])
    return None


def cpu_shares(processes, action):
    """Runs `action` and returns its result with each process's processor
    time per wall second meanwhile."""
    pids = {label: pid for label, pid in processes.items() if pid}
    before = {label: load_run.cpu_seconds(pid) for label, pid in pids.items()}
    start = time.monotonic()
    result = action()
    wall = time.monotonic() - start
    return result, {label: (load_run.cpu_seconds(pid) - before[label]) / wall for label, pid in pids.items()}


def cpu_phase(pids, seconds):
    shares = load_run.cpu_share([pid for pid in pids if pid], seconds)
    return [shares.get(pid, 0.0) if pid else None for pid in pids]


def latency_of(pair, texts):
    """Milliseconds from each text's stamp in client A to its arrival at B."""
    return [(arrived - int.from_bytes(text[4:12], "little")) / 1e4 for arrived, text in texts]


def count_costs(pair, args, say):
    """What one text and one junk datagram cost each of the six processes,
    counted (bench/cost_count.py), net of what the processes do idle in as
    much time. In a stretch of its own, so that nothing timed is disturbed,
    and by default at 20/s, so that each datagram finds the relays asleep
    even on a busy machine: when a sender or a relay is kept waiting for a
    processor, several datagrams are taken in one turn, and the counts
    follow the load."""
    idle, _ = cost_count.measure(pair.counted, lambda: time.sleep(COUNT_IDLE_SECONDS))
    texts, _ = cost_count.measure(pair.counted, lambda: pair.send(args.count_texts, args.count_rate, settle=1.0))
    arrived = len(pair.last)
    seconds = args.count_junk / args.count_rate
    flood = subprocess.Popen(pair.a.command([sys.executable, str(FLOOD_SCRIPT), pair.address_b, str(PORT),
                                             str(args.count_rate), str(seconds), "24", "7"]),
                             stdout=subprocess.PIPE, preexec_fn=harness._die_with_parent)
    check(flood.stdout.readline().strip() == b"ready", "junk sender ready")
    junk, out = cost_count.measure(pair.counted, lambda: flood.communicate(timeout=seconds + 120)[0])
    sent = json.loads(out.decode().strip().splitlines()[-1])["sent"]
    check(arrived and sent, "texts and junk datagrams to count")
    counts = {"rate": args.count_rate, "texts": args.count_texts, "arrived": arrived, "junk": sent,
              "per_text": cost_count.per_unit(texts, idle, args.count_texts),
              "per_junk": cost_count.per_unit(junk, idle, sent),
              "counted": {"idle": idle, "texts": texts, "junk": junk}}
    say(f"counted per text {counts['per_text']}, per junk datagram {counts['per_junk']}")
    return counts


def run_bench(session, args, results, say):
    results["machine"] = machine()
    results["settings"] = list(args.setting)
    pair = Pair(session, say, args.setting)
    memory_before = load_run.memory(pair.pid_b)
    results["counts"] = count_costs(pair, args, say)
    if not args.counts_only:
        run_timed(pair, args, results, say, memory_before)
    if args.baseline_build:
        baseline = Pair(session, say, args.setting, Path(args.baseline_build).resolve() / "Quorvel.exe",
                        ("baseline-a", "baseline-b"))
        results["baseline_counts"] = count_costs(baseline, args, say)
    results["machine"]["load_average_end"] = os.getloadavg()


def run_timed(pair, args, results, say, memory_before):
    results["receive_queue_bytes"] = receive_queue_limit(pair.b, PORT)

    probe = pair.client_a.ask("sleepprobe 2000", timeout=120).split()
    results["sleep_1ms_us"] = {"median": int(probe[1]), "p99": int(probe[2]), "max": int(probe[3])}
    say(f"Sleep(1) under Wine: {results['sleep_1ms_us']} microseconds; "
        f"relay B's receive queue {results['receive_queue_bytes']} bytes")

    texts_total = args.count_texts

    # Latency: texts far enough apart that none waits behind another. A tap
    # in B's namespace notes when each reaches the wire, which splits the
    # time into the sending and the receiving side.
    tap = subprocess.Popen(pair.b.command([sys.executable, str(TAP_SCRIPT), str(PORT),
                                           str(args.latency_texts / args.latency_rate + 15)]),
                           stdout=subprocess.PIPE, preexec_fn=harness._die_with_parent)
    check(tap.stdout.readline().strip() == b"ready", "wire tap ready")
    share = pair.send(args.latency_texts, args.latency_rate)
    texts_total += args.latency_texts
    wire = {}
    for line in tap.communicate(timeout=120)[0].split(b"\n"):
        if line.strip():
            sequence, at = line.split()
            wire.setdefault(int(sequence), int(at))
    delays, sending, receiving = [], [], []
    for arrived, text in pair.last:
        sequence = int.from_bytes(text[:4], "little")
        sent = int.from_bytes(text[4:12], "little")
        delays.append((arrived - sent) / 1e4)
        if sequence in wire:
            sending.append((wire[sequence] - sent) / 1e4)
            receiving.append((arrived - wire[sequence]) / 1e4)
    check(delays, "no text arrived for the latency run")
    results["latency_ms"] = {"texts": len(delays), "sent": args.latency_texts, "median": statistics.median(delays),
                             "p99": percentile(delays, 0.99), "max": max(delays), "arrived_share": share,
                             "over_10ms": sum(1 for delay in delays if delay > 10), "each": delays}
    if sending:
        results["latency_split_ms"] = {
            "texts": len(sending),
            "sending_side": {"median": statistics.median(sending), "p99": percentile(sending, 0.99)},
            "receiving_side": {"median": statistics.median(receiving), "p99": percentile(receiving, 0.99)}}
    floor_delays = floor(pair, args.latency_texts, args.latency_rate)
    check(floor_delays, "no datagram arrived for the floor")
    results["floor_ms"] = {"datagrams": len(floor_delays), "median": statistics.median(floor_delays),
                           "p99": percentile(floor_delays, 0.99)}
    say(f"latency {results['latency_ms']}, floor {results['floor_ms']}")

    # Rates, rising step by step, until two steps in a row lose texts. Each
    # step notes every process's processor share and what the relays'
    # threads were doing, so that the first lossy step shows the limit.
    steps = []
    misses = 0
    for rate in args.rates:
        count = int(rate * args.step_seconds)
        udp_before = load_run.udp_counters(pair.b)
        sampler = Sampler({"relay A": pair.pid_a, "relay B": pair.pid_b})
        sampler.start()
        share, cpu = cpu_shares(pair.processes, lambda: pair.send(count, rate))
        threads = sampler.finish()
        dropped = load_run.udp_counters(pair.b)["RcvbufErrors"] - udp_before["RcvbufErrors"]
        texts_total += count
        achieved = count / pair.last_send["seconds"] if pair.last_send["seconds"] > 0 else 0.0
        arrived = len(pair.last)
        lossless = arrived == count and achieved >= rate * 0.95
        step_delays = latency_of(pair, pair.last)
        steps.append({"rate": rate, "texts": count, "arrived": arrived, "sender_rate": achieved,
                      "dropped_at_relay_b_socket": dropped, "lossless": lossless, "cpu": cpu, "threads": threads,
                      "latency_median_ms": statistics.median(step_delays) if step_delays else None,
                      "load_average": os.getloadavg()[0]})
        say(f"rate step {rate:g}/s: {arrived} of {count} arrived, sender {achieved:.0f}/s, dropped at B {dropped}; "
            f"{busiest(cpu, {})[0]}")
        misses = 0 if lossless else misses + 1
        if misses == 2:
            break
    results["rate_steps"] = steps
    good = [step["rate"] for step in steps if step["lossless"]]
    results["lossless_rate"] = max(good) if good else 0

    # Legitimate texts under a flood of junk from strangers at relay B.
    flood = subprocess.Popen(pair.a.command([sys.executable, str(FLOOD_SCRIPT), pair.address_b, str(PORT),
                                             str(args.flood_rate), str(args.flood_seconds + 2), "24", "7"]),
                             stdout=subprocess.PIPE, preexec_fn=harness._die_with_parent)
    check(flood.stdout.readline().strip() == b"ready", "junk flood ready")
    time.sleep(1)
    udp_before = load_run.udp_counters(pair.b)
    count = int(args.flood_text_rate * args.flood_seconds)
    # Meanwhile client B hands relay B a command now and then (a repeated
    # login, which relay A answers as such): how long its SendMessageA takes
    # while relay B is flooded, as the client measures it.
    answers = []

    def command_now_and_then():
        for _ in range(int(args.flood_seconds) - 2):
            time.sleep(1)
            answer = pair.client_b.ask("timedlogin", timeout=30).split()
            if answer[:2] == ["result", "1"] and len(answer) == 3:
                answers.append(int(answer[2]) / 1000)

    commands = threading.Thread(target=command_now_and_then, daemon=True)
    commands.start()
    _, cpu = cpu_shares(pair.processes, lambda: pair.send(count, args.flood_text_rate))
    commands.join()
    dropped = load_run.udp_counters(pair.b)["RcvbufErrors"] - udp_before["RcvbufErrors"]
    texts_total += count
    flood_summary = json.loads(flood.communicate(timeout=args.flood_seconds + 120)[0].decode().strip().splitlines()[-1])
    flood_delays = latency_of(pair, pair.last)
    results["flood"] = {"texts": count, "text_rate": args.flood_text_rate, "arrived": len(pair.last),
                        "lost": count - len(pair.last), "junk": flood_summary,
                        "dropped_at_relay_b_socket": dropped, "cpu": cpu,
                        "client_b_command_ms": {"count": len(answers),
                                                "median": statistics.median(answers) if answers else None,
                                                "max": max(answers) if answers else None},
                        "latency_ms": {"median": statistics.median(flood_delays) if flood_delays else None,
                                       "p99": percentile(flood_delays, 0.99) if flood_delays else None}}
    say(f"flood {results['flood']}")

    # The rest of the texts for the memory reading, at a rate that loses nothing.
    if texts_total < args.memory_texts:
        rest = args.memory_texts - texts_total
        pair.send(rest, max(results["lossless_rate"], 50) * 0.8)
        texts_total += rest
    time.sleep(1)
    memory_after = load_run.memory(pair.pid_b)
    results["memory"] = {"texts": texts_total, "before": memory_before, "after": memory_after,
                         "private_growth": memory_after["private"] - memory_before["private"],
                         "rss_growth": memory_after["rss"] - memory_before["rss"]}
    say(f"memory {results['memory']}")

    # Idle: nothing sent, nothing received. Wake-ups of every thread of both
    # relays and their wineservers, and their processor time.
    time.sleep(2)
    watched = {"relay A": pair.pid_a, "relay B": pair.pid_b, "wineserver A": pair.server_a,
               "wineserver B": pair.server_b}
    # Who else wakes the wineservers: every process of both prefixes.
    others = {f"{side} {name}": pid for side, host in (("A", pair.a), ("B", pair.b))
              for name, pid in prefix_processes(host).items()}
    others_before = {label: switches(pid) for label, pid in others.items()}
    before = {label: switches(pid) for label, pid in watched.items() if pid}
    start = time.monotonic()
    relay_a, relay_b, server_a, server_b = cpu_phase([pair.pid_a, pair.pid_b, pair.server_a, pair.server_b],
                                                     args.cpu_seconds)
    seconds = time.monotonic() - start
    wakeups = {label: wakeup_rates(before[label], switches(watched[label]), seconds, watched[label])
               for label in before}
    results["idle_cpu"] = {"relay_a": relay_a, "relay_b": relay_b, "wineserver_a": server_a,
                           "wineserver_b": server_b}
    results["idle_wakeups"] = {label: {"total": sum(rates.values()), "threads": rates}
                               for label, rates in wakeups.items()}
    results["idle_wakeups_prefix"] = {label: woken(others_before[label], switches(pid)) / seconds
                                      for label, pid in others.items()}
    say(f"idle {results['idle_cpu']}, wake-ups {results['idle_wakeups']}")

    # An error box on relay A (a create command whose host cannot be found,
    # from a third client), then a datagram waiting at A's server port.
    opener = load_run.LoadClient(pair.a, "client-c")
    opener.register()
    opener.process.send_line("create 5 no-such-host.invalid")
    box = pair.a.message_box(wait=60)
    check(box.window.title == b"Error", "the error box is open")
    subprocess.run(pair.b.command([sys.executable, "-c",
                                   "import socket; socket.socket(socket.AF_INET, socket.SOCK_DGRAM)"
                                   f".sendto(b'\\x05', ('{pair.address_a}', {PORT}))"]), check=True)
    wait_until(lambda: load_run.queued_bytes(pair.a, PORT) > 0, 10, "the datagram to wait at relay A's server port")
    relay_a, server_a = cpu_phase([pair.pid_a, pair.server_a], args.cpu_seconds)
    check(load_run.queued_bytes(pair.a, PORT) > 0, "the datagram waited all along")
    results["error_box_cpu"] = {"relay_a": relay_a, "wineserver_a": server_a}
    say(f"error box {results['error_box_cpu']}")
    pair.a.press_ok()
    wait_until(lambda: load_run.queued_bytes(pair.a, PORT) == 0, 30, "relay A to take the datagram after the box")
    check(opener.process.read_line(60).startswith("linkup "), "the create command goes on after the box")
    check(pair.relay_a.running and pair.relay_b.running, "both relays still run")


def percent(share):
    return "-" if share is None else f"{share * 100:.2f} %"


def split_rows(results):
    split = results.get("latency_split_ms")
    if not split:
        return []
    return [("  of it: client A's SendText to the wire, median / p99",
             f"{split['sending_side']['median']:.3f} / {split['sending_side']['p99']:.3f} ms", "", None),
            ("  of it: the wire to client B's window, median / p99",
             f"{split['receiving_side']['median']:.3f} / {split['receiving_side']['p99']:.3f} ms", "", None)]


def table(results):
    lat, flo = results["latency_ms"], results["floor_ms"]
    idle, box, mem = results["idle_cpu"], results["error_box_cpu"], results["memory"]
    wake = results["idle_wakeups"]
    flood = results["flood"]
    idle_pair = max(idle["relay_a"] + (idle["wineserver_a"] or 0), idle["relay_b"] + (idle["wineserver_b"] or 0))
    relay_wakeups = max(wake.get("relay A", {}).get("total", 0), wake.get("relay B", {}).get("total", 0))
    factor = lat["median"] / flo["median"]
    rows = [
        ("text latency A->B, median", f"{lat['median']:.3f} ms", f"<= {GOALS['latency_median_ms']} ms",
         lat["median"] <= GOALS["latency_median_ms"]),
        ("text latency A->B, 99th percentile", f"{lat['p99']:.3f} ms", f"<= {GOALS['latency_p99_ms']} ms",
         lat["p99"] <= GOALS["latency_p99_ms"]),
        ("plain UDP one-way (floor), median / p99", f"{flo['median']:.3f} / {flo['p99']:.3f} ms", "", None),
        *split_rows(results),
        ("latency / floor, median", f"{factor:.1f} x", f"<= {GOALS['latency_floor_factor']:g} x",
         factor <= GOALS["latency_floor_factor"]),
        ("highest lossless steady rate", f"{results['lossless_rate']:g} texts/s",
         f">= {GOALS['lossless_rate']:g} texts/s", results["lossless_rate"] >= GOALS["lossless_rate"]),
        (f"texts lost at {flood['text_rate']:g}/s under {flood['junk']['rate']:.0f} junk/s",
         f"{flood['lost']} of {flood['texts']}", "0", flood["lost"] <= GOALS["flood_lost"]),
        ("  their latency, median / p99",
         "-" if flood["latency_ms"]["median"] is None else
         f"{flood['latency_ms']['median']:.3f} / {flood['latency_ms']['p99']:.3f} ms", "", None),
        ("  client B's commands to relay B meanwhile, median / max",
         "-" if not flood.get("client_b_command_ms", {}).get("count") else
         f"{flood['client_b_command_ms']['median']:.1f} / {flood['client_b_command_ms']['max']:.1f} ms", "", None),
        ("  junk answered (LoginFailed) / sent",
         f"{flood['junk']['replies']} / {flood['junk']['sent']}", "", None),
        ("idle wake-ups/s, relay B / A (all threads)",
         f"{wake.get('relay B', {}).get('total', 0):.1f} / {wake.get('relay A', {}).get('total', 0):.1f}",
         f"<= {GOALS['idle_wakeups']:g}", relay_wakeups <= GOALS["idle_wakeups"]),
        ("  their wineservers, B / A",
         f"{wake.get('wineserver B', {}).get('total', 0):.1f} / {wake.get('wineserver A', {}).get('total', 0):.1f}",
         "", None),
        ("idle relay + its wineserver CPU (worse of A, B)", percent(idle_pair), "<= 0.10 %",
         idle_pair <= GOALS["idle_cpu"]),
        ("  relay CPU (B / A)", f"{percent(idle['relay_b'])} / {percent(idle['relay_a'])}", "", None),
        ("  its wineserver (B / A)", f"{percent(idle['wineserver_b'])} / {percent(idle['wineserver_a'])}", "", None),
        ("relay CPU, error box open + datagram waiting", percent(box["relay_a"]), "<= 2 %",
         box["relay_a"] <= GOALS["error_box_cpu"]),
        ("  its wineserver", percent(box["wineserver_a"]), "", None),
        (f"relay B private memory before/after {mem['texts']} texts",
         f"{mem['before']['private'] / 1024:.0f} / {mem['after']['private'] / 1024:.0f} KiB", "", None),
        ("relay B's socket receive queue (granted)",
         "-" if results.get("receive_queue_bytes") is None else f"{results['receive_queue_bytes']} bytes", "", None),
        ("Sleep(1) under Wine, median / 99th percentile",
         f"{results['sleep_1ms_us']['median']} / {results['sleep_1ms_us']['p99']} us", "", None),
    ]
    width = max(len(row[0]) for row in rows)
    lines = [f"{'figure':<{width}}  {'measured':>24}  {'goal':>16}  met", "-" * (width + 50)]
    for name, value, goal, met in rows:
        lines.append(f"{name:<{width}}  {value:>24}  {goal:>16}  {'' if met is None else ('yes' if met else 'NO')}")
    lines.append("")
    lines.append("rate steps:")
    for step in results["rate_steps"]:
        outcome = "lossless" if step["lossless"] else f"LOST {step['texts'] - step['arrived']}"
        median = "-" if step["latency_median_ms"] is None else f"{step['latency_median_ms']:.2f} ms"
        lines.append(f"  {step['rate']:>6g}/s {outcome:<12} sender {step['sender_rate']:.0f}/s, dropped in B's "
                     f"socket queue {step['dropped_at_relay_b_socket']}, latency median {median}, "
                     f"load {step['load_average']:.2f}")
        processes, doing = busiest(step["cpu"], step["threads"])
        lines.append(f"           CPU: {processes}")
        if not step["lossless"]:
            for thread in doing:
                lines.append(f"           {thread}")
    lines.append("idle wake-ups/s by thread: " + "; ".join(
        f"{label}: " + ", ".join(f"{thread} {rate:.1f}" for thread, rate in sorted(entry["threads"].items())
                                 if rate >= 0.05)
        for label, entry in wake.items()))
    if "idle_wakeups_prefix" in results:
        lines.append("idle wake-ups/s of every process in the two prefixes: " + ", ".join(
            f"{label} {rate:.1f}" for label, rate in sorted(results["idle_wakeups_prefix"].items())
            if rate >= 0.05))
    m = results["machine"]
    lines.append(f"machine: {m['cpu']}, {m['cores']} cores, Linux {m['kernel']}, {m['wine']}, "
                 f"load average at start {m['load_average'][0]:.2f}, at end "
                 f"{m.get('load_average_end', [float('nan')])[0]:.2f}; relay {m['relay']}")
    return "\n".join(lines)


def counts_table(results):
    """The counted cost per text and per junk datagram of each process, and
    of all six, beside the baseline's when there is one."""
    this, base = results["counts"], results.get("baseline_counts")
    names = {"syscalls": "system calls", "requests": "wineserver requests", "wakeups": "wake-ups"}
    labels = list(this["per_text"])
    columns = [("per_text", this), ("per_text", base), ("per_junk", this), ("per_junk", base)]
    columns = [(unit, counts) for unit, counts in columns if counts]

    def value(counts, unit, label, figure):
        if label == "all six":
            values = [counts[unit][each][figure] for each in labels if counts[unit][each][figure] is not None]
            return sum(values)
        return counts[unit][label][figure]

    heads = ["text", "text, base", "junk", "junk, base"] if base else ["text", "junk"]
    lines = [f"counted cost per text and per junk datagram at {this['rate']:g}/s, net of idle "
             f"({this['texts']} texts, {this['junk']} junk datagrams"
             + (f"; baseline: {base['texts']} texts, {base['junk']} junk)" if base else ")"),
             f"{'':<14}{'':<21}" + "".join(f"{head:>12}" for head in heads)]
    for label in labels + ["all six"]:
        for index, figure in enumerate(cost_count.FIGURES):
            cells = [value(counts, unit, label, figure) for unit, counts in columns]
            if all(cell is None for cell in cells):
                continue
            lines.append(f"{label if index == 0 else '':<14}{names[figure]:<21}"
                         + "".join(f"{'-' if cell is None else f'{cell:.1f}':>12}" for cell in cells))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--json", default=str(REPO / "build" / "bench-results.json"))
    parser.add_argument("--latency-texts", type=int, default=1000)
    parser.add_argument("--latency-rate", type=float, default=50.0)
    parser.add_argument("--rates", type=float, nargs="+",
                        default=[200, 300, 500, 1000, 2000, 3000, 4000, 5000, 6000, 8000, 10000])
    parser.add_argument("--step-seconds", type=float, default=10.0)
    parser.add_argument("--flood-rate", type=float, default=3000.0, help="junk datagrams per second")
    parser.add_argument("--flood-text-rate", type=float, default=200.0, help="texts per second meanwhile")
    parser.add_argument("--flood-seconds", type=float, default=20.0)
    parser.add_argument("--memory-texts", type=int, default=20000)
    parser.add_argument("--cpu-seconds", type=float, default=10.0)
    parser.add_argument("--relay-build", help="take Quorvel.exe from this build directory instead")
    parser.add_argument("--baseline-build", metavar="DIR",
                        help="count the Quorvel.exe of DIR too, in a pair of its own, beside this one")
    parser.add_argument("--count-texts", type=int, default=300, help="texts counted")
    parser.add_argument("--count-junk", type=int, default=500, help="junk datagrams counted")
    parser.add_argument("--count-rate", type=float, default=20.0, help="texts and junk per second while counting")
    parser.add_argument("--counts-only", action="store_true", help="count, and leave out the timed figures")
    parser.add_argument("--setting", action="append", default=[], metavar="KEY=VALUE",
                        help="one more line for both relays' JOX-UDP.ini (say, 'Log File=quorvel.log')")
    args = parser.parse_args()
    results = {}
    if args.relay_build:
        relay = Path(args.relay_build).resolve() / "Quorvel.exe"
        check(relay.is_file(), f"no {relay}")
        harness.relay_exe = lambda: relay
    if args.baseline_build:
        check((Path(args.baseline_build) / "Quorvel.exe").is_file(), f"no Quorvel.exe in {args.baseline_build}")

    def run(session):
        run_bench(session, args, results, lambda text: print(f"bench: {text}", flush=True))

    harness._cases["bench"] = (run, 2400)
    code = harness.run_case("bench")
    if "error_box_cpu" in results:
        print(table(results))
    if "counts" in results:
        print(counts_table(results))
    if code == 0:
        Path(args.json).write_text(json.dumps(results, indent=2))
        print(f"figures written to {args.json}")
    return code


if __name__ == "__main__":
    raise SystemExit(main())
