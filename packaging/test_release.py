#!/usr/bin/env python3
"""The link check of the packaged documents (release.broken_links)."""

import unittest

import release

README = "# Quorvel\n\n## Start it\n\nSee [operating](docs/operating.md#the-udp-port-and-the-firewall).\n"
OPERATING = "# Running\n\n## The UDP port and the firewall\n\nBack to [the start](../README.md#start-it).\n"


class BrokenLinks(unittest.TestCase):
    def test_links(self):
        cases = [  # (what, extra text in README.md, expected problems)
            ("resolving links and anchors", "", []),
            ("web links and mail are not files", "[w](https://example.org/x.md) [m](mailto:a@b)", []),
            ("anchor in the same file", "[here](#start-it)", []),
            ("missing file", "[c](docs/clients.md)", ["README.md:7: docs/clients.md (not in the package)"]),
            ("missing heading", "[h](docs/operating.md#nat)", ["README.md:7: docs/operating.md#nat (no such heading)"]),
            ("leaving the package", "[x](../outside.md)", ["README.md:7: ../outside.md (not in the package)"]),
            ("links in code are not links", "`[c](docs/clients.md)`\n\n    [c](docs/clients.md)\n", []),
            ("fenced code is not a link", "```\n[c](docs/clients.md)\n```\n", []),
            ("image of a missing file", "![i](pic.png)", ["README.md:7: pic.png (not in the package)"]),
        ]
        for what, extra, expected in cases:
            with self.subTest(what):
                files = {"README.md": README + "\n" + extra, "docs/operating.md": OPERATING,
                         "docs/JOX-UDP.ini": "[not](markdown.md)"}
                self.assertEqual(release.broken_links(files), expected)

    def test_anchor_of_a_heading_with_code_and_punctuation(self):
        files = {"a.md": "### Is the partner's relay reachable? `qvprobe`\n\n[p](#is-the-partners-relay-reachable-qvprobe)\n"}
        self.assertEqual(release.broken_links(files), [])


if __name__ == "__main__":
    unittest.main()
