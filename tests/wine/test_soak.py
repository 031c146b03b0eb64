#!/usr/bin/env python3
"""Soak of the real Quorvel.exe under Wine with debugging off: a logged-in
partner streams texts while strangers throw datagrams of every type and
length at the relay and a local program sends malformed messages. The relay
must stay up, hand every text to its client exactly once, in order and byte
for byte, answer every datagram as before, and not grow in memory.

The long run with other figures is scripts/soak."""

import tools_path  # noqa: F401  (first: makes the tools importable)

import load_run
from harness import case, check, check_equal, main

# A rate the relay sustains with a wide margin under Wine on a busy two-core
# machine, also while other Wine tests run beside it (docs/performance.md);
# scripts/soak runs the full-rate, long soak.
TEXTS = 3000
RATE = 60            # texts per second
HOSTILE_RATE = 15    # datagrams per second from strangers
MEMORY_GROWTH = 1 << 20


def check_soak(outcome):
    summary = outcome["summary"]
    check(outcome["relay_running"], "the relay is still running")
    check_equal(summary["texts_sent"], TEXTS, "texts the partner sent")
    other = outcome["client_other"]
    check(not other, f"{len(other)} notifications other than whole texts, first {other[:3]}")
    difference = load_run.first_difference(outcome["expected"], outcome["got"])
    check(difference is None, f"texts at the client window: {difference}; UDP counters of the relay's "
                              f"namespace over the run: {outcome['udp']}")
    check_equal(summary["crowd_bad_replies"], 0, "replies to strangers other than LoginFailed from the server port")
    check_equal(summary["crowd_replies"], summary["crowd_expected_replies"], "LoginFailed replies to strangers")
    check_equal(summary["sources_short"], 0, "strangers that missed a reply")
    check_equal(summary["server_bad_replies"], 0, "unexpected datagrams at the partner's server port")
    check_equal(summary["server_got"], summary["server_expected"], "Alive and AlreadyLoggedIn replies")
    check_equal(summary["entry_replies"], 0, "datagrams to the source port of the partner's login")
    check_equal(summary["largest_sent"], 65507, "largest datagram of the mix")
    check(outcome["abused"]["sent"] > 0, "the malformed messages were sent")
    growth = load_run.relay_growth(outcome["memory_before"], outcome["memory_after"])
    check(growth < MEMORY_GROWTH,
          f"anonymous memory of the relay grew by {growth} bytes "
          f"({outcome['memory_before']} -> {outcome['memory_after']})")


@case(timeout=170)
def texts_arrive_whole_under_hostile_load(session):
    """3000 texts at 60 per second with 15 hostile datagrams per second and
    malformed local messages around them."""
    check_soak(load_run.soak(session, TEXTS, RATE, HOSTILE_RATE))


if __name__ == "__main__":
    raise SystemExit(main())
