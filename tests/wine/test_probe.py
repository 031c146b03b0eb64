#!/usr/bin/env python3
"""qvprobe.exe under Wine: one Ping toward a host, and what it says about it.
Against a real relay in another network namespace it reports a running
relay (the relay refuses the Ping of an unknown source and nothing more);
toward an address without a route it reports at once that the Ping cannot be
delivered; toward a port that takes the Ping and stays silent it reports
that no answer came. (A closed port's "port unreachable" is tested natively:
Wine drops the first such error a UDP socket gets.)"""

import tools_path  # noqa: F401  (first: makes the tools importable)

from harness import build_dir, case, check, check_equal, main, wait_until

PORT = 1234
RELAY_RUNNING = 0
NO_ANSWER = 1
UNREACHABLE = 3
REFUSAL_LINE = b"Name nicht gefunden, Login FEHLGESCHLAGEN!"


def probe_exe():
    return build_dir() / "qvprobe.exe"


def probe(host, *args):
    """Runs qvprobe.exe in `host`; (exit code, its one line of output)."""
    result = host.run(probe_exe(), *args, timeout=90)
    return result.returncode, result.stdout.decode("cp1252").strip()


def log_of(host, window):
    return host.tree(window.hwnd, wait=10) or []


@case(timeout=240)
def relay_running(session):
    a = session.host("a", f"[UDP Settings]\r\nPort={PORT}\r\nDebugging=1\r\n".encode())
    p = session.host("p")
    relay_address, _ = a.link(p)
    relay = a.start_relay()
    window = a.relay_window()
    wait_until(lambda: PORT in a.udp_ports(), 30, f"UDP port {PORT} to be bound")
    log_before = log_of(a, window)

    code, line = probe(p, relay_address, "--timeout", "10000")
    check_equal(code, RELAY_RUNNING, f"exit code of qvprobe ({line!r})")
    check(line.startswith(f"relay running: {relay_address} answered on UDP port {PORT}"), line)

    # The relay saw one datagram from an unknown source and refused it; the
    # Ping changed nothing else.
    def refusal_logged():
        lines = log_of(a, window)
        return lines if len(lines) > len(log_before) else None
    added = wait_until(refusal_logged, 30, "the relay's log of the Ping")[len(log_before):]
    check_equal(added, [(0, b"EmpfangsEvent"), (1, REFUSAL_LINE)], "log lines of the Ping")
    check(relay.running, "the relay runs on")

    # The same probe with the port given.
    code, line = probe(p, relay_address, "--port", str(PORT), "--timeout", "10000")
    check_equal(code, RELAY_RUNNING, f"exit code with --port {PORT} ({line!r})")


@case(timeout=180)
def unreachable_or_no_answer(session):
    b = session.host("b")
    p = session.host("p")
    address_b, _ = b.link(p)
    # No route: p knows only its own link. The probe ends at once, well
    # before its time (the case's own limit is shorter than that time).
    code, line = probe(p, "198.19.200.1", "--timeout", "600000")
    check_equal(code, UNREACHABLE, f"exit code toward an address without a route ({line!r})")
    check(line.startswith("unreachable: the network reported that the Ping to 198.19.200.1 UDP port"), line)
    # A port that takes the Ping and answers nothing.
    b.hold_udp_port(PORT)
    code, line = probe(p, address_b, "--timeout", "1500")
    check_equal(code, NO_ANSWER, f"exit code toward a silent port ({line!r})")
    check(line.startswith(f"no answer: nothing came back from {address_b} UDP port {PORT} within 1500 ms"), line)


if __name__ == "__main__":
    raise SystemExit(main())
