#!/usr/bin/env python3
"""What an idle relay adds to its wineserver (docs/performance.md): one Wine
prefix with an idle program (the load client, which does nothing until told
to) is measured for 10 s, then again with an idle relay beside it. For every
process of the prefix: wake-ups per second (voluntary context switches of
all its threads) and processor share. Needs root (a network namespace).

    python3 bench/wineserver_baseline.py [--relay-build DIR]
"""

import argparse
import time
from pathlib import Path

import bench_paths  # noqa: F401  (first: makes harness importable)

import bench
import harness
import load_run

PORT = 4300


def measure(host, seconds):
    processes = bench.prefix_processes(host)
    switches = {name: bench.switches(pid) for name, pid in processes.items()}
    cpu = {name: load_run.cpu_seconds(pid) for name, pid in processes.items()}
    time.sleep(seconds)
    return {name: (bench.woken(switches[name], bench.switches(pid)) / seconds,
                   (load_run.cpu_seconds(pid) - cpu[name]) / seconds) for name, pid in processes.items()}


def show(title, readings):
    print(title)
    for name, (wakeups, share) in sorted(readings.items()):
        print(f"  {name:<24} {wakeups:8.1f} wake-ups/s  {share * 100:6.2f} %")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--relay-build", help="take Quorvel.exe from this build directory instead")
    parser.add_argument("--seconds", type=float, default=10.0)
    args = parser.parse_args()
    if args.relay_build:
        relay = Path(args.relay_build).resolve() / "Quorvel.exe"
        harness.relay_exe = lambda: relay

    def run(session):
        host = session.host("a", load_run.settings(PORT))
        idle = host.start_program("qvload", interactive=True)
        idle.ask("hwnd")
        time.sleep(3)
        show("the prefix with an idle program, no relay:", measure(host, args.seconds))
        host.start_relay()
        host.relay_window()
        harness.wait_until(lambda: PORT in host.udp_ports(), 30, f"UDP port {PORT} to be bound")
        time.sleep(3)
        show("the same with an idle relay:", measure(host, args.seconds))

    harness._cases["baseline"] = (run, 300)
    return harness.run_case("baseline")


if __name__ == "__main__":
    raise SystemExit(main())
