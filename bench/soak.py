#!/usr/bin/env python3
"""The long soak of the real Quorvel.exe under Wine (scripts/soak): the same
run as the soak test (tests/wine/test_soak.py), with its size and rates as
parameters. Prints what it saw and judges it against the goals: no text lost,
out of order or changed, every reply right, relay memory growth under 1 MiB.
Exits 1 when a check fails."""

import argparse
import json
from pathlib import Path

import bench_paths  # noqa: F401  (first: makes harness importable)

import harness
import load_run

MEMORY_GROWTH = 1 << 20


def judge(outcome, texts):
    summary = outcome["summary"]
    lost, ranges = load_run.missing_texts(outcome["expected"], outcome["got"])
    growth = load_run.relay_growth(outcome["memory_before"], outcome["memory_after"])
    checks = [
        ("relay still running", outcome["relay_running"]),
        (f"texts sent {summary['texts_sent']} of {texts}", summary["texts_sent"] == texts),
        (f"texts lost {lost}" + (f" ({', '.join(ranges[:10])})" if lost else ""), lost == 0),
        ("texts that arrived: each once, in order, byte for byte",
         load_run.in_order_and_whole(outcome["expected"], outcome["got"])),
        ("all texts exactly once, in order, byte for byte", outcome["expected"] == outcome["got"]),
        (f"other notifications {len(outcome['client_other'])}", not outcome["client_other"]),
        (f"LoginFailed to strangers {summary['crowd_replies']} of {summary['crowd_expected_replies']}, "
         f"wrong {summary['crowd_bad_replies']}",
         summary["crowd_replies"] == summary["crowd_expected_replies"] and summary["crowd_bad_replies"] == 0),
        (f"partner replies {summary['server_got']} of {summary['server_expected']}, wrong "
         f"{summary['server_bad_replies']}",
         summary["server_got"] == summary["server_expected"] and summary["server_bad_replies"] == 0),
        (f"anonymous memory growth {growth / 1024:.0f} KiB (goal < 1024 KiB)", growth < MEMORY_GROWTH),
    ]
    return checks, lost, growth


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--texts", type=int, default=20000)
    parser.add_argument("--rate", type=float, default=500, help="texts per second")
    parser.add_argument("--hostile-rate", type=float, default=100, help="stranger datagrams per second")
    parser.add_argument("--sources", type=int, default=24, help="number of stranger sources")
    parser.add_argument("--large-share", type=float, default=0.03,
                        help="share of stranger datagrams longer than 4096 bytes")
    parser.add_argument("--abuse-batch", type=int, default=50, help="malformed messages per batch (0: none)")
    parser.add_argument("--abuse-pause", type=float, default=0.25, help="seconds between batches")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--json", help="also write the figures to this file")
    args = parser.parse_args()

    result = {}

    def run(session):
        outcome = load_run.soak(session, args.texts, args.rate, args.hostile_rate, sources=args.sources,
                                large_share=args.large_share, abuse_batch=args.abuse_batch,
                                abuse_pause=args.abuse_pause, seed=args.seed,
                                progress=lambda text: print(f"soak: {text}", flush=True))
        checks, lost, growth = judge(outcome, args.texts)
        summary = outcome["summary"]
        print(f"soak: {summary['texts_sent']} texts in {summary['seconds']:.1f} s "
              f"({summary['text_rate']:.1f}/s), {summary['crowd_sent']} stranger datagrams "
              f"(largest {summary['largest_sent']} bytes), {summary['partner_sent']} other partner datagrams, "
              f"{outcome['abused']['sent']} malformed local messages")
        print(f"soak: processor share during the stream: relay {outcome['cpu']['relay']:.3f}, "
              f"its wineserver {outcome['cpu']['wineserver']:.3f}")
        print(f"soak: UDP counters of the relay's namespace: {outcome['udp']}")
        print(f"soak: relay memory {outcome['memory_before']} -> {outcome['memory_after']}")
        for text, ok in checks:
            print(f"  [{'ok' if ok else 'MISSED'}] {text}")
        result.update({"parameters": vars(args), "lost": lost, "memory_growth": growth,
                       "memory_before": outcome["memory_before"], "memory_after": outcome["memory_after"],
                       "cpu": outcome["cpu"], "udp": outcome["udp"],
                       "summary": {k: v for k, v in summary.items()},
                       "abused": outcome["abused"], "checks": {text: ok for text, ok in checks}})
        harness.check(all(ok for _, ok in checks), "the soak missed a goal")

    harness._cases["soak"] = (run, int(args.texts / args.rate * 3) + 300)
    code = harness.run_case("soak")
    if args.json and result:
        Path(args.json).write_text(json.dumps(result, indent=2))
    return code


if __name__ == "__main__":
    raise SystemExit(main())
