"""Load runs of the real Quorvel.exe under Wine, shared by the soak test
(test_soak.py), the long soak (scripts/soak) and the benchmark
(scripts/bench): the load client program qvload.exe, the partner emulator
load_partner.py in a namespace of its own, and readings of the relay's Linux
process (processor time, memory) from /proc."""

import json
import os
import subprocess
import sys
import threading
import time
from pathlib import Path

import harness
from harness import check, check_equal, wait_until

import load_partner  # the same text bytes on both sides

PARTNER_SCRIPT = Path(__file__).resolve().parent / "load_partner.py"

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
FILETIME_UNIX_EPOCH = 116444736000000000  # 1970-01-01 in 100 ns units since 1601


def settings(port, debugging=0):
    return f"[UDP Settings]\r\nPort={port}\r\nDebugging={debugging}\r\n".encode()


# ---------------------------------------------------------------- the relay's process

def linux_pid(host, process, relay=None):
    """The Linux process that runs the relay's Windows process: the one whose
    command line is the relay's executable (`relay`, by default the harness's)
    and whose environment names this host's prefix. Under Wine the started
    loader becomes that process, so the pid of the started program must be
    among them; anything else is a wrong reading and fails."""
    prefix = f"WINEPREFIX={host.prefix}".encode()
    exe = str(relay or harness.relay_exe()).encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            command = Path(f"/proc/{entry}/cmdline").read_bytes().split(b"\0")
            environment = Path(f"/proc/{entry}/environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if command and command[0].strip() == exe and prefix in environment:
            found.append(int(entry))
    check_equal(found, [process.popen.pid], "Linux processes of the relay")
    return found[0]


def wineserver_pid(host):
    """The wineserver of the host (each host has its own)."""
    prefix = f"WINEPREFIX={host.prefix}".encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            command = Path(f"/proc/{entry}/cmdline").read_bytes()
            environment = Path(f"/proc/{entry}/environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if b"wineserver" in command.split(b"\0")[0] and prefix in environment:
            return int(entry)
    return None


def task_ids(pid):
    try:
        return sorted(int(tid) for tid in os.listdir(f"/proc/{pid}/task"))
    except OSError:
        return []


def switches(pid):
    """Voluntary context switches of each thread: each one is a thread going
    to sleep, so each wake-up counts once."""
    counts = {}
    for tid in task_ids(pid):
        try:
            for line in Path(f"/proc/{pid}/task/{tid}/status").read_text().splitlines():
                if line.startswith("voluntary_ctxt_switches:"):
                    counts[tid] = int(line.split()[1])
        except OSError:
            continue
    return counts


def cpu_seconds(pid):
    """User and system time of the process with all its threads."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def memory(pid):
    """Resident and private (clean and dirty, anonymous and file) memory in
    bytes, from smaps_rollup."""
    values = {}
    for line in Path(f"/proc/{pid}/smaps_rollup").read_text().splitlines()[1:]:
        key, _, rest = line.partition(":")
        parts = rest.split()
        if len(parts) == 2 and parts[1] == "kB":
            values[key] = int(parts[0]) * 1024
    return {"rss": values["Rss"], "private": values["Private_Clean"] + values["Private_Dirty"],
            "anonymous": values.get("Anonymous", 0)}


def relay_growth(before, after):
    """How much memory the relay itself took on between two readings of
    memory(): its anonymous pages (heap, stacks, buffers). Private pages are
    no measure of that: file pages it shares with other Wine processes (the
    DLLs of the hard-linked prefix) count as private to it as soon as the
    others end, without the relay allocating anything."""
    return after["anonymous"] - before["anonymous"]


def cpu_share(pids, seconds):
    """Processor time per wall second of each process over `seconds`."""
    before = {pid: cpu_seconds(pid) for pid in pids}
    start = time.monotonic()
    time.sleep(seconds)
    wall = time.monotonic() - start
    return {pid: (cpu_seconds(pid) - before[pid]) / wall for pid in pids}


def queued_bytes(host, port):
    """Bytes waiting in the receive queue of the host's UDP socket at `port`."""
    listing = subprocess.run(host.command(["ss", "-H", "-u", "-l", "-n"]), stdout=subprocess.PIPE,
                             check=True).stdout.decode()
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) >= 4 and fields[3].rsplit(":", 1)[1] == str(port):
            return int(fields[1])
    return 0


def udp_counters(host):
    """The UDP counters of the host's namespace (InDatagrams, RcvbufErrors,
    ...): where a datagram that never reached the relay was dropped."""
    lines = [line.split() for line in subprocess.run(host.command(["cat", "/proc/net/snmp"]),
                                                      stdout=subprocess.PIPE, check=True).stdout.decode().splitlines()
             if line.startswith("Udp:")]
    return dict(zip(lines[0][1:], map(int, lines[1][1:])))


def filetime_now():
    return time.time_ns() // 100 + FILETIME_UNIX_EPOCH


# ---------------------------------------------------------------- the load client

class LoadClient:
    """The load client program (qvload.exe, from qvload.cpp) in a host. Once
    `collect()` has been called, a thread takes every notification line it
    writes; commands are then answered through `answers`."""

    def __init__(self, host, name):
        self.name = name
        self.host = host
        self.process = host.start_program("qvload", interactive=True)
        self.data = []          # (arrival time in 100 ns units, payload bytes)
        self.other = []         # unreadable notifications and anything unexpected
        self.answers = []
        self._lock = threading.Lock()
        self._collector = None
        self._stop = False

    def ask(self, command, timeout=30):
        if self._collector is None:
            return self.process.ask(command, timeout)
        with self._lock:
            waiting = len(self.answers)
        self.process.send_line(command)
        wait_until(lambda: len(self.answers) > waiting, timeout, f"{self.name}'s answer to {command!r}", 0.02)
        with self._lock:
            return self.answers[waiting]

    def result(self, command, timeout=30):
        answer = self.ask(command, timeout)
        check(answer.startswith("result "), f"{self.name}: {command!r} answered {answer!r}")
        return int(answer.split()[1])

    def register(self):
        check(self.ask("find 30000", timeout=45) != "relay 0", f"{self.name} found no relay window")
        check_equal(self.result("announce"), 1, f"answer to {self.name}'s announcement")

    def create(self, name_id, host_text):
        self.process.send_line(f"create {name_id} {host_text}")
        linkup = self.process.read_line(30)
        check(linkup.startswith("linkup "), f"{self.name}: expected the link-up notification, got {linkup!r}")
        check_equal(self.process.read_line(30), "result 1", f"answer to {self.name}'s create command")

    def collect(self):
        self._collector = threading.Thread(target=self._take_lines, daemon=True)
        self._collector.start()

    def _take_lines(self):
        while not self._stop:
            try:
                line = self.process.read_line(timeout=3600)
            except (harness.TestFailure, OSError, ValueError):
                return
            if line.startswith("data "):
                _, arrived, hex_text = (line.split(" ", 2) + [""])[:3]
                with self._lock:
                    self.data.append((int(arrived), bytes.fromhex(hex_text)))
            elif line.startswith(("sent ", "abused ", "flushed", "result ", "relay ", "bye")):
                with self._lock:
                    self.answers.append(line)
            else:
                with self._lock:
                    self.other.append(line)

    def received(self):
        with self._lock:
            return len(self.data)

    def stop(self):
        self._stop = True


# ---------------------------------------------------------------- the soak

def soak(session, texts, rate, hostile_rate, sources=24, large_share=0.03, abuse_batch=50, abuse_pause=0.25,
         seed=1, port=4100, name_id=-7, progress=None):
    """A relay (debugging off) in one namespace, a partner emulator in
    another. Client B (qvload) makes the partner's entry; the partner logs in
    and streams `texts` texts at `rate` per second while `hostile_rate`
    datagrams per second of every type and length come from `sources` other
    sources, and a second local program sends malformed messages to the
    relay, `abuse_batch` at a time with `abuse_pause` seconds between. Returns what was seen; the caller judges it."""
    say = progress or (lambda _text: None)
    relay_host = session.host("relay", settings(port))
    partner_host = session.host("partner")
    relay_address, partner_address = relay_host.link(partner_host)
    relay = relay_host.start_relay()
    relay_host.relay_window()
    wait_until(lambda: port in relay_host.udp_ports(), 30, f"UDP port {port} to be bound")
    pid = linux_pid(relay_host, relay)

    client = LoadClient(relay_host, "client")
    client.register()
    client.create(name_id, partner_address)
    client.collect()
    abuser = LoadClient(relay_host, "abuser")
    abuser.register()
    abuser.collect()

    config = {"relay": relay_address, "port": port, "address": partner_address, "name": name_id,
              "texts": texts, "rate": rate, "hostile_rate": hostile_rate, "sources": sources,
              "large_share": large_share, "seed": seed, "warm_texts": min(texts, max(1, int(rate * 2)))}
    emulator = subprocess.Popen(partner_host.command([sys.executable, str(PARTNER_SCRIPT), json.dumps(config)]),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                preexec_fn=harness._die_with_parent)
    session.on_cleanup(lambda: harness._kill_process(emulator), "partner emulator")
    lines = []

    def read_emulator():
        for raw in emulator.stdout:
            lines.append(raw.decode().strip())

    reader = threading.Thread(target=read_emulator, daemon=True)
    reader.start()
    wait_until(lambda: any(line.startswith("loggedin") for line in lines), 60, "the partner's login")
    say("partner logged in")

    # The malformed messages run beside the whole stream, a batch at a time.
    abused = {"sent": 0, "handled": 0}
    abusing = threading.Event()
    abusing.set()

    def abuse():
        batch = 0
        while abusing.is_set() and relay.running:
            batch += 1
            answer = abuser.ask(f"abuse {abuse_batch} {seed * 1000 + batch}", timeout=120)
            parts = answer.split()
            if parts[0] == "abused":
                abused["sent"] += int(parts[1])
                abused["handled"] += int(parts[2])
            time.sleep(abuse_pause)

    abuse_thread = threading.Thread(target=abuse, daemon=True)
    if abuse_batch > 0:
        abuse_thread.start()

    wait_until(lambda: "warm" in lines or emulator.poll() is not None, 120, "the warm-up")
    memory_before = memory(pid)
    udp_before = udp_counters(relay_host)
    server = wineserver_pid(relay_host)
    cpu_before = (time.monotonic(), cpu_seconds(pid), cpu_seconds(server) if server else 0.0)
    say(f"warm; relay memory {memory_before}")
    budget = texts / rate * 3 + 60
    wait_until(lambda: any(line.startswith("done ") for line in lines) or emulator.poll() is not None,
               budget, "the partner's stream to end", 0.5)
    cpu_after = (time.monotonic(), cpu_seconds(pid), cpu_seconds(server) if server else 0.0)
    abusing.clear()
    if abuse_batch > 0:
        abuse_thread.join(timeout=120)
    done = [line for line in lines if line.startswith("done ")]
    check(done, f"the partner emulator ended without a summary: {emulator.stderr.read().decode()[-2000:]}")
    summary = json.loads(done[0][5:])
    # Texts still on their way to the client window.
    try:
        wait_until(lambda: client.received() >= summary["texts_sent"], 30, "the last texts", 0.2)
    except harness.TestFailure:
        pass
    client.ask("flush")
    time.sleep(0.5)
    memory_after = memory(pid)
    udp_after = udp_counters(relay_host)
    say(f"relay memory after {memory_after}")

    expected = [load_partner.text_bytes(seed, index) for index in range(summary["texts_sent"])]
    got = [payload for _, payload in client.data]
    return {
        "relay_running": relay.running,
        "relay_pid": pid,
        "summary": summary,
        "expected": expected,
        "got": got,
        "client_other": list(client.other),
        "abused": abused,
        "memory_before": memory_before,
        "memory_after": memory_after,
        "cpu": {"relay": (cpu_after[1] - cpu_before[1]) / (cpu_after[0] - cpu_before[0]),
                "wineserver": (cpu_after[2] - cpu_before[2]) / (cpu_after[0] - cpu_before[0])},
        "udp": {key: udp_after[key] - udp_before.get(key, 0) for key in udp_after},
    }


def missing_texts(expected, got):
    """Numbers of the texts that never arrived, as ranges "a-b"."""
    arrived = {int.from_bytes(text[:4], "little") for text in got if len(text) >= 4}
    missing = [index for index, text in enumerate(expected) if len(text) >= 4 and index not in arrived]
    ranges = []
    for index in missing:
        if ranges and ranges[-1][1] == index - 1:
            ranges[-1][1] = index
        else:
            ranges.append([index, index])
    return len(missing), [f"{a}-{b}" if a != b else str(a) for a, b in ranges]


def in_order_and_whole(expected, got):
    """Whether every text that arrived is one of the expected texts, byte for
    byte, each at most once and in the order sent (lost ones aside)."""
    position = 0
    for text in got:
        while position < len(expected) and expected[position] != text:
            position += 1
        if position == len(expected):
            return False
        position += 1
    return True


def first_difference(expected, got):
    """A short description of where two text lists part, or None."""
    count, ranges = missing_texts(expected, got)
    if count:
        return f"{count} texts lost ({', '.join(ranges[:20])}{' ...' if len(ranges) > 20 else ''})"
    for index, (want, have) in enumerate(zip(expected, got)):
        if want != have:
            return (f"text {index}: expected {len(want)} bytes {want[:16].hex()}..., "
                    f"got {len(have)} bytes {have[:16].hex()}...")
    if len(expected) != len(got):
        return f"expected {len(expected)} texts, got {len(got)}"
    return None
