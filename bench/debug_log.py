#!/usr/bin/env python3
"""The relay in debug mode over a long run: one real Quorvel.exe under Wine
with Debugging=1 and one load client (qvload) paired with its own relay
(127.0.0.1), so that every text is logged three times: the client's command,
the datagram leaving, and the datagram arriving and handed back to the
client. Texts go in batches; after each batch the script prints the relay's
processor time per text, the client's hand-over time per text, the relay's
memory, how many texts came back, and how many datagrams the namespace
dropped for a full receive queue. Not a test: it prints figures.

    bench/debug_log.py [--texts 100000] [--batch 2000] [--rate 0] [--json FILE]
"""

import argparse
import json
import time
from pathlib import Path

import bench_paths  # noqa: F401  (first: makes harness importable)

import harness
import load_run

PORT = 4200
NAME_ID = 31
TEXT_SIZE = 32


def settings(extra):
    return load_run.settings(PORT, debugging=1) + "".join(f"{line}\r\n" for line in extra).encode()


def run_batches(session, args, rows, say):
    host = session.host("relay", settings(args.setting))
    relay = host.start_relay()
    host.relay_window()
    harness.wait_until(lambda: PORT in host.udp_ports(), 30, f"UDP port {PORT} to be bound")
    pid = load_run.linux_pid(host, relay)

    client = load_run.LoadClient(host, "client")
    client.register()
    client.create(NAME_ID, "127.0.0.1")
    client.collect()
    harness.check_equal(client.result("login"), 1, "answer to the login")
    time.sleep(1)
    say(f"relay memory at the start {load_run.memory(pid)}")

    sent = 0
    while sent < args.texts:
        count = min(args.batch, args.texts - sent)
        cpu_before = load_run.cpu_seconds(pid)
        wall_before = time.monotonic()
        answer = client.ask(f"send {count} {args.rate} {TEXT_SIZE}", timeout=3600).split()
        harness.check(answer[0] == "sent", f"answer to send: {answer}")
        sent += count
        # Every text comes back to the client; wait for the batch's last one
        # so that its receiving side is counted too.
        try:
            harness.wait_until(lambda: client.received() >= sent, 120, "the batch's texts to come back", 0.05)
        except harness.TestFailure:
            pass
        cpu = load_run.cpu_seconds(pid) - cpu_before
        wall = time.monotonic() - wall_before
        row = {"texts": sent, "failed": int(answer[2]), "back": client.received(),
               "relay_cpu_ms_per_text": cpu * 1000 / count, "wall_ms_per_text": wall * 1000 / count,
               "handover_ms_per_text": float(answer[3]) * 1000 / count,
               "receive_queue_full": load_run.udp_counters(host).get("RcvbufErrors", 0), **load_run.memory(pid)}
        rows.append(row)
        say(f"{sent:7d} texts  relay {row['relay_cpu_ms_per_text']:.3f} ms/text  "
            f"wall {row['wall_ms_per_text']:.3f} ms/text  hand-over {row['handover_ms_per_text']:.3f} ms/text  "
            f"anonymous {row['anonymous'] / 2**20:.1f} MiB  rss {row['rss'] / 2**20:.1f} MiB  "
            f"back {row['back']}  failed {row['failed']}  dropped for a full queue {row['receive_queue_full']}")
    harness.check(relay.running, "the relay still runs")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--texts", type=int, default=100000)
    parser.add_argument("--batch", type=int, default=2000)
    parser.add_argument("--rate", type=float, default=0, help="texts per second (0: as fast as the relay takes them)")
    parser.add_argument("--setting", action="append", default=[],
                        help="an extra line for JOX-UDP.ini, e.g. 'DebugLog Entries=5000'")
    parser.add_argument("--json", help="also write the rows to this file")
    args = parser.parse_args()

    rows = []

    def run(session):
        run_batches(session, args, rows, lambda text: print(f"debug-log: {text}", flush=True))

    harness._cases["debug_log"] = (run, 4 * 3600)
    code = harness.run_case("debug_log")
    if rows:
        first, last = rows[0], rows[-1]
        print(f"debug-log: first batch {first['relay_cpu_ms_per_text']:.3f} ms relay time per text, "
              f"last {last['relay_cpu_ms_per_text']:.3f}; anonymous memory "
              f"{first['anonymous'] / 2**20:.1f} -> {last['anonymous'] / 2**20:.1f} MiB")
    if args.json:
        Path(args.json).write_text(json.dumps({"parameters": vars(args), "rows": rows}, indent=2))
    return code


if __name__ == "__main__":
    raise SystemExit(main())
