#!/usr/bin/env python3
"""Clients of both widths on one machine under Wine: two 32-bit console
clients, a raw 32-bit client (no SDK, no record tag) with its records above
2 GiB, and with the x64 relay a 64-bit console client beside them."""

import tools_path  # noqa: F401  (first: makes the tools importable)

from harness import case, check, check_equal, main, pe_width, program_exe_32, relay_exe
from sdk_programs import ConsoleClient, two_machines, wait_for_accepted_logins

# Above 2 GiB: a relay that widened the 32-bit address by its sign would read
# elsewhere. Under Wine nothing of another large-address-aware 32-bit process
# is readable there.
HIGH_RECORD_ADDRESS = 0xA0010000


def pattern(length):
    return bytes((i * 7 + 3) % 256 for i in range(length))


@case(timeout=420)
def clients_of_both_widths_on_one_machine_act_for_themselves(session):
    """Each client on machine A is paired with a partner of its own on B;
    every login and text is its own, both ways. Under Wine each 32-bit
    process has memory readable from outside where the other keeps its
    records, so only the tag before each record tells the relay which of
    the two sent it. Texts of 1, 1,000 and 5,000 bytes reach a 32-bit
    client whole."""
    a, b, address_a, address_b, (_, window_a), (_, window_b) = two_machines(session)

    narrow = program_exe_32("qvclient")
    clients = {31: ConsoleClient(a, "a-32-first", exe=narrow), 32: ConsoleClient(a, "a-32-second", exe=narrow)}
    if pe_width(relay_exe()) == 64:
        clients[33] = ConsoleClient(a, "a-64")
    raw = a.start(program_exe_32("rawclient"), name="a-raw-32", interactive=True)
    names = [*clients, 34]
    for name, client in clients.items():
        client.connect()
        check_equal(client.create(name, address_b), window_a.pid, f"{client.name}'s link-up")
    check(raw.ask("find 30000") != "relay 0", "the raw client finds the relay")
    check_equal(raw.ask("announce"), "result 1", "the raw client's announcement")
    check_equal(raw.ask(f"place {HIGH_RECORD_ADDRESS:#x}"), f"placed {HIGH_RECORD_ADDRESS}", "a block above 2 GiB")
    check(raw.ask(f"create 34 {address_b}").startswith(f"linkup {window_a.pid} "), "the raw client's link-up")
    check_equal(raw.read_line(), "result 1", "the raw client's create")

    partners = {name: ConsoleClient(b, f"b-{name}") for name in names}
    for name, partner in partners.items():
        partner.connect()
        check_equal(partner.create(name, address_a), window_b.pid, f"{partner.name}'s link-up")
        partner.command_ok("login")
    wait_for_accepted_logins(a, window_a, len(names))
    for client in clients.values():
        client.command_ok("login")
    check_equal(raw.ask("login"), "result 1", "the raw client's login")
    wait_for_accepted_logins(b, window_b, len(names))

    # All texts of one side go out before the other side looks: a text that
    # went astray is then read where the right one is expected.
    for name, client in clients.items():
        client.command_ok(f"send an {name}")
    check_equal(raw.ask("text " + b"an 34".hex()), "result 1", "the raw client's text")
    for name, partner in partners.items():
        partner.expect_text(f"an {name}".encode(), "the text of its own partner")
    sizes = (1, 1000, 5000)
    for length in sizes:
        partners[31].command_ok("sendhex " + pattern(length).hex())
    for name in names[1:]:
        partners[name].command_ok(f"send von {name}")
    for length in sizes:
        clients[31].expect_text(pattern(length), f"{length} bytes to a 32-bit client")
    for name, client in list(clients.items())[1:]:
        client.expect_text(f"von {name}".encode(), "the text of its own partner")
    check_equal(raw.read_line(), "data " + b"von 34".hex(), "the raw client's partner's text")
    for client in (*clients.values(), *partners.values()):
        client.say("exit")
        client.expect("bye", "no further text before leaving")


if __name__ == "__main__":
    raise SystemExit(main())
