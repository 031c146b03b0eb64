#!/usr/bin/env python3
"""The longest text (65,506 bytes) through QuorvelChat, each way: the chat
at relay A sends one to a console client at relay B, and B sends one back.
Prints how long the chat's Send took (the click returns once the text is
sent and shown in the conversation) and how long the partner's text took
from B's command until the chat's conversation held it. Both include the
start of the helper program that clicks or reads (about 0.1 to 0.5 s). Texts of words
(blanks every few letters) and of one unbroken word, each as the first
entry and after 20 entries. Not a test: it prints figures.

    bench/chat_long_text.py
"""

import sys
import time

import bench_paths  # noqa: F401  (first: makes harness importable)

sys.path.insert(0, str(bench_paths.REPO / "tests" / "wine"))  # the chat and console client drivers
import harness  # noqa: E402
import sdk_programs as programs  # noqa: E402

LONGEST = 65506


def texts():
    words = (b"Quorvel " * (LONGEST // 8 + 1))[:LONGEST]
    return [("words", words), ("one word", b"x" * LONGEST)]


def main():
    with harness.Session() as session:
        a, b, address_a, address_b, _, _ = programs.two_machines(session, debugging=0)
        chat = programs.ChatWindow(a)
        chat.pair(address_b, 3)
        partner = programs.ConsoleClient(b, "partner")
        partner.connect()
        partner.create(3, address_a)
        partner.command_ok("login")
        for entries in (0, 20):
            for _ in range(entries):
                chat.type(programs.INPUT_EDIT, b"kurz")
                chat.click(programs.SEND_BUTTON)
                partner.expect_text(b"kurz", "a short text")
            for name, text in texts():
                chat.type(programs.INPUT_EDIT, text)
                started = time.monotonic()
                chat.click(programs.SEND_BUTTON)
                sent = time.monotonic() - started
                partner.expect_text(text, "the longest text", timeout=900)
                before = len(chat.text(programs.CONVERSATION))
                started = time.monotonic()
                partner.command_ok("sendhex " + text.hex(), "sendhex", timeout=900)
                # One append: the conversation changes once, when the text is in
                # (its length may shrink: the box drops its oldest half when full).
                harness.wait_until(lambda: len(chat.text(programs.CONVERSATION)) != before, 900,
                                   "the partner's text in the chat", interval=0.05)
                received = time.monotonic() - started
                print(f"{name:9} after {entries:2} entries: chat sends and shows it in {sent:6.2f} s; "
                      f"the partner's arrives and shows in {received:6.2f} s")


if __name__ == "__main__":
    main()
