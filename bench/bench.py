#!/usr/bin/env python3
"""Benchmark of the real Quorvel.exe under Wine (scripts/bench): two relays,
debugging off, in two network namespaces linked by a veth pair; client A
(qvload.exe) at relay A, client B at relay B, both logged in. Measured in one
run, printed as a table and written to a JSON file:

- latency of one text from client A's SendText to client B's window (median
  and 99th percentile over `--latency-texts` texts), beside the one-way time of
  a plain UDP datagram between the same two namespaces (the floor);
- the highest steady rate of texts that all arrive, in steps of 10 seconds;
- processor use of an idle relay, and of a relay with an error box open and a
  datagram waiting, over 10 seconds each (the relay's Linux process from
  /proc, its wineserver beside it);
- private and resident memory of relay B before and after 20,000 texts.
"""

import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "wine"))
os.environ.setdefault("QUORVEL_BUILD_DIR", str(REPO / "build" / "windows-x64"))

import harness  # noqa: E402
import load_run  # noqa: E402
from harness import check, wait_until  # noqa: E402

PORT = 4200
NAME_ID = 77
TEXT_SIZE = 32
FLOOR_SCRIPT = REPO / "bench" / "udp_floor.py"
TAP_SCRIPT = REPO / "bench" / "wire_tap.py"
GOALS = {"latency_median_ms": 3.0, "latency_p99_ms": 10.0, "lossless_rate": 800.0, "idle_cpu": 0.02,
         "error_box_cpu": 0.02, "design_rate": 1000.0}


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * (len(ordered) - 1) + 0.5))]


def machine():
    model = "unknown"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            model = line.split(":", 1)[1].strip()
            break
    wine = subprocess.run([harness.WINE, "--version"], stdout=subprocess.PIPE).stdout.decode().strip()
    return {"cpu": model, "cores": os.cpu_count(), "kernel": platform.release(), "wine": wine,
            "load_average": os.getloadavg()}


class Pair:
    """Two relays and their clients, logged in both ways."""

    def __init__(self, session, say):
        self.a = session.host("a", load_run.settings(PORT))
        self.b = session.host("b", load_run.settings(PORT))
        self.address_a, self.address_b = self.a.link(self.b)
        self.relay_a = self.a.start_relay()
        self.relay_b = self.b.start_relay()
        for host in (self.a, self.b):
            host.relay_window()
            wait_until(lambda host=host: PORT in host.udp_ports(), 30, f"UDP port {PORT} to be bound")
        self.pid_a = load_run.linux_pid(self.a, self.relay_a)
        self.pid_b = load_run.linux_pid(self.b, self.relay_b)
        self.server_a = load_run.wineserver_pid(self.a)
        self.server_b = load_run.wineserver_pid(self.b)
        self.client_a = load_run.LoadClient(self.a, "client-a")
        self.client_b = load_run.LoadClient(self.b, "client-b")
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


def queued_bytes(host, port):
    """Bytes waiting in the receive queue of the host's UDP socket at `port`."""
    listing = subprocess.run(host.command(["ss", "-H", "-u", "-l", "-n"]), stdout=subprocess.PIPE,
                             check=True).stdout.decode()
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) >= 4 and fields[3].rsplit(":", 1)[1] == str(port):
            return int(fields[1])
    return 0


def cpu_phase(pids, seconds):
    shares = load_run.cpu_share([pid for pid in pids if pid], seconds)
    return [shares.get(pid, 0.0) if pid else None for pid in pids]


def run_bench(session, args, results, say):
    results["machine"] = machine()
    pair = Pair(session, say)

    probe = pair.client_a.ask("sleepprobe 2000", timeout=120).split()
    results["sleep_1ms_us"] = {"median": int(probe[1]), "p99": int(probe[2]), "max": int(probe[3])}
    say(f"Sleep(1) under Wine: {results['sleep_1ms_us']} microseconds")

    memory_before = load_run.memory(pair.pid_b)
    texts_total = 0

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
                             "p99": percentile(delays, 0.99), "max": max(delays), "arrived_share": share}
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

    # Rates, rising in steps of 10 s, until two steps in a row lose texts.
    steps = []
    misses = 0
    for rate in args.rates:
        count = int(rate * args.step_seconds)
        udp_before = load_run.udp_counters(pair.b)
        share = pair.send(count, rate)
        dropped = load_run.udp_counters(pair.b)["RcvbufErrors"] - udp_before["RcvbufErrors"]
        texts_total += count
        achieved = count / pair.last_send["seconds"] if pair.last_send["seconds"] > 0 else 0.0
        arrived = len(pair.last)
        lossless = arrived == count and achieved >= rate * 0.95
        steps.append({"rate": rate, "texts": count, "arrived": arrived, "sender_rate": achieved,
                      "dropped_at_relay_b_socket": dropped, "lossless": lossless})
        say(f"rate step {steps[-1]}")
        misses = 0 if lossless else misses + 1
        if misses == 2:
            break
    results["rate_steps"] = steps
    good = [step["rate"] for step in steps if step["lossless"]]
    results["lossless_rate"] = max(good) if good else 0

    # The rest of the 20,000 texts, at the highest rate that lost nothing.
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

    # Idle: nothing sent, nothing received.
    time.sleep(2)
    relay_a, relay_b, server_a, server_b = cpu_phase([pair.pid_a, pair.pid_b, pair.server_a, pair.server_b],
                                                     args.cpu_seconds)
    results["idle_cpu"] = {"relay_a": relay_a, "relay_b": relay_b, "wineserver_a": server_a,
                           "wineserver_b": server_b}
    say(f"idle {results['idle_cpu']}")

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
    wait_until(lambda: queued_bytes(pair.a, PORT) > 0, 10, "the datagram to wait at relay A's server port")
    relay_a, server_a = cpu_phase([pair.pid_a, pair.server_a], args.cpu_seconds)
    check(queued_bytes(pair.a, PORT) > 0, "the datagram waited all along")
    results["error_box_cpu"] = {"relay_a": relay_a, "wineserver_a": server_a}
    say(f"error box {results['error_box_cpu']}")
    pair.a.press_ok()
    wait_until(lambda: queued_bytes(pair.a, PORT) == 0, 30, "relay A to take the datagram after the box")
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
    rows = [
        ("text latency A->B, median", f"{lat['median']:.3f} ms", f"<= {GOALS['latency_median_ms']} ms",
         lat["median"] <= GOALS["latency_median_ms"]),
        ("text latency A->B, 99th percentile", f"{lat['p99']:.3f} ms", f"<= {GOALS['latency_p99_ms']} ms",
         lat["p99"] <= GOALS["latency_p99_ms"]),
        ("plain UDP one-way (floor), median", f"{flo['median']:.3f} ms", "", None),
        ("plain UDP one-way (floor), 99th percentile", f"{flo['p99']:.3f} ms", "", None),
        *split_rows(results),
        ("latency / floor, median", f"{lat['median'] / flo['median']:.1f} x", "", None),
        ("latency / floor, 99th percentile", f"{lat['p99'] / flo['p99']:.1f} x", "", None),
        ("highest lossless steady rate (10 s)", f"{results['lossless_rate']:g} texts/s",
         f">= {GOALS['lossless_rate']:g} texts/s", results["lossless_rate"] >= GOALS["lossless_rate"]),
        ("design bound", f"{GOALS['design_rate']:g} datagrams/s", "", None),
        ("idle relay CPU (B / A)", f"{percent(idle['relay_b'])} / {percent(idle['relay_a'])}", "<= 2 %",
         max(idle["relay_a"], idle["relay_b"]) <= GOALS["idle_cpu"]),
        ("  its wineserver (B / A)", f"{percent(idle['wineserver_b'])} / {percent(idle['wineserver_a'])}", "", None),
        ("relay CPU, error box open + datagram waiting", percent(box["relay_a"]), "<= 2 %",
         box["relay_a"] <= GOALS["error_box_cpu"]),
        ("  its wineserver", percent(box["wineserver_a"]), "", None),
        (f"relay B private memory before/after {mem['texts']} texts",
         f"{mem['before']['private'] / 1024:.0f} / {mem['after']['private'] / 1024:.0f} KiB", "", None),
        (f"relay B resident memory before/after {mem['texts']} texts",
         f"{mem['before']['rss'] / 1024:.0f} / {mem['after']['rss'] / 1024:.0f} KiB", "", None),
        ("Sleep(1) under Wine, median / 99th percentile",
         f"{results['sleep_1ms_us']['median']} / {results['sleep_1ms_us']['p99']} us", "", None),
    ]
    width = max(len(row[0]) for row in rows)
    lines = [f"{'figure':<{width}}  {'measured':>24}  {'goal':>16}  met", "-" * (width + 50)]
    for name, value, goal, met in rows:
        lines.append(f"{name:<{width}}  {value:>24}  {goal:>16}  {'' if met is None else ('yes' if met else 'NO')}")
    lines.append("")
    lines.append("rate steps: " + ", ".join(
        f"{step['rate']:g}/s {'lossless' if step['lossless'] else 'LOST ' + str(step['texts'] - step['arrived'])}"
        f" (sender {step['sender_rate']:.0f}/s, dropped in B's socket queue "
        f"{step['dropped_at_relay_b_socket']})" for step in results["rate_steps"]))
    m = results["machine"]
    lines.append(f"machine: {m['cpu']}, {m['cores']} cores, Linux {m['kernel']}, {m['wine']}, "
                 f"load average at start {m['load_average'][0]:.2f}")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--json", default=str(REPO / "build" / "bench-results.json"))
    parser.add_argument("--latency-texts", type=int, default=1000)
    parser.add_argument("--latency-rate", type=float, default=50.0)
    parser.add_argument("--rates", type=float, nargs="+",
                        default=[100, 150, 200, 250, 300, 350, 400, 500, 600, 700, 800, 900, 1000])
    parser.add_argument("--step-seconds", type=float, default=10.0)
    parser.add_argument("--memory-texts", type=int, default=20000)
    parser.add_argument("--cpu-seconds", type=float, default=10.0)
    args = parser.parse_args()
    results = {}

    def run(session):
        run_bench(session, args, results, lambda text: print(f"bench: {text}", flush=True))

    harness._cases["bench"] = (run, 1800)
    code = harness.run_case("bench")
    if "error_box_cpu" in results:
        print(table(results))
        Path(args.json).write_text(json.dumps(results, indent=2))
        print(f"figures written to {args.json}")
    return code


if __name__ == "__main__":
    raise SystemExit(main())
