#!/usr/bin/env python3
"""Runs tshark with quorvel.lua over a capture of known datagrams and checks
the fields it prints for every datagram type.

    test_dissector.py [--tshark PATH]
"""

import argparse
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from capture_file import udp_frame, write_pcap

HERE = Path(__file__).resolve().parent
SCRIPT = HERE / "quorvel.lua"
TSHARK = "tshark"

A, B = "10.0.0.1", "10.0.0.2"
RELAY_PORT = 1234
CLIENT_PORT = 50000  # a partner entry's own socket: the source of its sends

FIELDS = ["quorvel.type", "quorvel.type_name", "quorvel.name", "quorvel.text", "quorvel.text_length",
          "quorvel.text_bytes", "quorvel.extra", "_ws.expert.message", "_ws.col.Info"]


def dissect(frames, *options):
    """One dict of FIELDS per frame, as tshark prints them."""
    with tempfile.TemporaryDirectory() as scratch:
        capture = Path(scratch) / "quorvel.pcap"
        write_pcap(capture, frames)
        result = subprocess.run(
            [TSHARK, "-n", "-X", f"lua_script:{SCRIPT}", "-r", str(capture), *options,
             "-T", "fields", "-E", "separator=/t", "-E", "occurrence=a", "-E", "aggregator=|",
             *[argument for field in FIELDS for argument in ("-e", field)]],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120, check=False)
    if result.returncode != 0:
        raise AssertionError(f"tshark failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
    if b"Lua" in result.stderr and b"rror" in result.stderr:
        raise AssertionError(f"the script did not load: {result.stderr.decode(errors='replace')}")
    rows = []
    for line in result.stdout.decode("utf-8").split("\n"):
        if line:
            rows.append(dict(zip(FIELDS, line.split("\t"))))
    if len(rows) != len(frames):
        raise AssertionError(f"{len(frames)} frames written, tshark printed {len(rows)} lines")
    return rows


def to_relay(payload, port=RELAY_PORT):
    return udp_frame(A, CLIENT_PORT, B, port, payload)


def from_relay(payload, port=RELAY_PORT):
    """A reply that leaves from a relay's server port (as LoginFailed does)."""
    return udp_frame(B, port, A, CLIENT_PORT, payload)


class DatagramTypes(unittest.TestCase):
    def test_every_type_by_name(self):
        frames = [to_relay(bytes([code])) for code in (0, 2, 3, 4, 5, 6)] + [from_relay(b"\x03")]
        names = ["Logout", "LoginOk", "LoginFailed", "AlreadyLoggedIn", "Ping", "Alive", "LoginFailed"]
        for row, name, frame in zip(dissect(frames), names, frames):
            with self.subTest(name=name):
                self.assertEqual(row["quorvel.type_name"], name)
                self.assertEqual(row["_ws.col.Info"], name)
                self.assertEqual(row["quorvel.name"], "")
                self.assertEqual(row["quorvel.text"], "")
                self.assertEqual(row["_ws.expert.message"], "")
        self.assertEqual([row["quorvel.type"] for row in dissect(frames)], ["0", "2", "3", "4", "5", "6", "3"])

    def test_login_name_number_is_signed_little_endian(self):
        cases = [(b"\x01\x07\x00\x00\x00", "7"), (b"\x01\x01\x00\x00\x00", "1"),
                 (b"\x01\xff\xff\xff\xff", "-1"), (b"\x01\x00\x00\x00\x80", "-2147483648"),
                 (b"\x01\x78\x56\x34\x12", "305419896")]
        rows = dissect([to_relay(payload) for payload, _ in cases])
        for row, (payload, name) in zip(rows, cases):
            with self.subTest(payload=payload.hex()):
                self.assertEqual(row["quorvel.type_name"], "Login")
                self.assertEqual(row["quorvel.name"], name)
                self.assertEqual(row["_ws.col.Info"], f"Login name={name}")
                self.assertEqual(row["_ws.expert.message"], "")

    def test_login_of_the_wrong_length_is_flagged(self):
        rows = dissect([to_relay(b"\x01\x07\x00\x00\x00\x00"), to_relay(b"\x01\x07\x00\x00")])
        longer, shorter = rows
        self.assertEqual(longer["quorvel.name"], "7")
        self.assertEqual(longer["quorvel.extra"], "00")
        self.assertIn("5 bytes", longer["_ws.expert.message"])
        self.assertEqual(longer["_ws.col.Info"], "Login name=7 (6 bytes, refused)")
        self.assertEqual(shorter["quorvel.name"], "")
        self.assertIn("5 bytes", shorter["_ws.expert.message"])

    def test_text_as_given(self):
        texts = [b"Hallo B", "Gr\u00fc\u00dfe zur\u00fcck".encode("cp1252"), b"a\x00b", b"x" * 100]
        rows = dissect([to_relay(b"\x07" + text) for text in texts] + [to_relay(b"\x07")])
        for row, text in zip(rows, texts):
            with self.subTest(text=text):
                self.assertEqual(row["quorvel.type_name"], "Text")
                self.assertEqual(row["quorvel.text_length"], str(len(text)))
                self.assertEqual(row["quorvel.text_bytes"], text.hex())
                self.assertEqual(row["quorvel.name"], "")
        self.assertEqual(rows[0]["quorvel.text"], "Hallo B")
        self.assertEqual(rows[1]["quorvel.text"], "Gr\u00fc\u00dfe zur\u00fcck")
        self.assertEqual(rows[2]["quorvel.text"], "a.b", "a control character shows as a dot")
        self.assertEqual(rows[0]["_ws.col.Info"], "Text (7 bytes): Hallo B")
        self.assertEqual(rows[3]["_ws.col.Info"], "Text (100 bytes): " + "x" * 40 + "...")
        empty = rows[4]
        self.assertEqual(empty["quorvel.text_length"], "0")
        self.assertEqual(empty["quorvel.text"], "")
        self.assertEqual(empty["_ws.col.Info"], "Text (empty)")

    def test_meaningless_codes(self):
        rows = dissect([to_relay(b"\x08"), to_relay(b"\xff\x01\x02")])
        self.assertEqual(rows[0]["quorvel.type_name"], "Unknown (8)")
        self.assertIn("8 to 255", rows[0]["_ws.expert.message"])
        self.assertEqual(rows[1]["quorvel.type_name"], "Unknown (255)")
        self.assertEqual(rows[1]["quorvel.extra"], "0102")


class PortPreference(unittest.TestCase):
    FRAMES = [to_relay(b"\x05"), to_relay(b"\x05", port=4000), from_relay(b"\x03", port=4000)]

    def test_default_port_is_1234(self):
        rows = dissect(self.FRAMES)
        self.assertEqual([row["quorvel.type_name"] for row in rows], ["Ping", "", ""])

    def test_port_comes_from_the_preference(self):
        rows = dissect(self.FRAMES, "-o", "quorvel.port:4000")
        self.assertEqual([row["quorvel.type_name"] for row in rows], ["", "Ping", "LoginFailed"])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--tshark", default=shutil.which("tshark") or "tshark")
    arguments, rest = parser.parse_known_args()
    TSHARK = arguments.tshark
    if shutil.which(TSHARK) is None:
        print(f"test_dissector: {TSHARK} not found; scripts/setup installs it", file=sys.stderr)
        sys.exit(1)
    unittest.main(argv=[sys.argv[0], *rest])
