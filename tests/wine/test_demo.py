#!/usr/bin/env python3
"""scripts/demo's conversation, kept working: the same run as the demo,
with its results checked."""

import tempfile
from pathlib import Path

from demo import LOGIN_ACCEPTED, TEXT_A, TEXT_B, run_demo
from harness import case, check, check_equal, main

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


@case(timeout=420)
def conversation_between_two_machines(session):
    with tempfile.TemporaryDirectory() as scratch:
        picture = Path(scratch) / "relay-a.png"
        conversations, logs = run_demo(session, picture)
        check_equal(picture.read_bytes()[:8], PNG_SIGNATURE, "the picture is a PNG")

    check_equal(conversations["a"], [("sent", "A", TEXT_A), ("received", "B", TEXT_B)], "conversation at a")
    check_equal(conversations["b"], [("received", "A", TEXT_A), ("sent", "B", TEXT_B)], "conversation at b")
    for machine in ("a", "b"):
        lines = [text for _, text in logs[machine]]
        check(LOGIN_ACCEPTED in lines, f"relay {machine} logs the partner's accepted login")
        check(TEXT_A in lines and TEXT_B in lines, f"relay {machine} logs both texts")
        check(all(depth in (0, 1) for depth, _ in logs[machine]), f"relay {machine}'s log is a tree of groups")


if __name__ == "__main__":
    raise SystemExit(main())
