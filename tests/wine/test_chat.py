#!/usr/bin/env python3
"""QuorvelChat.exe under Wine, driven through its controls with window
messages (text into its edit fields, clicks on its buttons) and read back
from its conversation and status line."""

import tools_path  # noqa: F401  (first: makes the tools importable)

from harness import case, check, check_equal, main, wait_until
from sdk_programs import (CONNECT_BUTTON, CONVERSATION, HOST_EDIT, INPUT_EDIT, NAME_EDIT, SEND_BUTTON,
                          STATUS_TEXT, ChatWindow, ConsoleClient, settings, start_relay, two_machines, wait_for_log_line)

LOGIN_ACCEPTED = b"Name gefunden, Login erfolgreich!"
LOGIN_REFUSED = b"Name nicht gefunden, Login FEHLGESCHLAGEN!"

READY = b'Rechner des Partners und Namensnummer eingeben, dann "Verbinden".'
RELAY_MISSING = b"Quorvel l\xe4uft nicht: bitte zuerst Quorvel.exe starten."
ENTER_HOST = b"Bitte den Rechner des Partners eingeben."
BAD_NAME = b"Die Namensnummer muss eine ganze Zahl sein."
NOT_CONNECTED = b'Noch nicht verbunden: zuerst "Verbinden".'


def paired(host, name_id):
    return (f"Bereit: gepaart mit {host}, Namensnummer {name_id}. "
            f"Texte kommen an, sobald der Partner ebenfalls verbunden hat.").encode()


def connected(host, name_id):
    return f"Verbunden mit {host}, Namensnummer {name_id}.".encode()


def wait_for_status(chat, expected):
    wait_until(lambda: chat.status() == expected, 30, f"the status {expected!r}")


@case(timeout=300)
def chat_with_a_console_client(session):
    """The chat window at relay A and a console client at relay B: Connect
    links and logs in and says the chat is paired, not connected; Send
    carries the input line to B (also when the chat connected before B had
    linked) and shows it in the conversation with the time; B's answer
    appears there as the partner's line, and only then does the status line
    say connected."""
    a, b, address_a, address_b, (_, window_a), (_, window_b) = two_machines(session)

    # The chat connects before its partner has linked, so the partner's
    # relay refuses this first login; its texts must get through all the same.
    chat = ChatWindow(a)
    check_equal(chat.status(), READY, "status before anything is done")
    chat.pair(address_b, -12)
    wait_for_status(chat, paired(address_b, -12))
    wait_for_log_line(b, window_b, LOGIN_REFUSED)

    partner = ConsoleClient(b, "partner")
    partner.connect()
    partner.create(-12, address_a)
    partner.command_ok("login")
    wait_for_log_line(a, window_a, LOGIN_ACCEPTED)

    chat.type(INPUT_EDIT, b"Hallo vom Chat, sch\xf6n!")
    chat.click(SEND_BUTTON)
    partner.expect_text(b"Hallo vom Chat, sch\xf6n!", "the chat's input line")
    wait_until(lambda: chat.text(INPUT_EDIT) == b"", 30, "the input line to be emptied")
    check_equal(chat.conversation(), b"Ich: Hallo vom Chat, sch\xf6n!\r\n", "conversation after sending")

    # Characters Windows-1252 lacks are named and nothing is sent; the input
    # stays as typed. Those it has travel as its bytes.
    typed = "€ ✓ Ωμέγα 汉字 😀".encode()
    chat.type(INPUT_EDIT, typed, utf8=True)
    chat.click(SEND_BUTTON)
    refused = ("Nicht gesendet: Diese Zeichen kann Quorvel nicht übertragen: ✓ (U+2713), Ω (U+03A9), "
               "μ (U+03BC), έ (U+03AD), γ (U+03B3), α (U+03B1) und weitere.").encode()
    wait_until(lambda: chat.text(STATUS_TEXT, utf8=True) == refused, 30, "the refused characters named")
    check_equal(chat.text(INPUT_EDIT, utf8=True), typed, "the input is kept as typed")
    chat.type(INPUT_EDIT, "Größe: 5 € – „gut“".encode(), utf8=True)
    chat.click(SEND_BUTTON)
    partner.expect_text(b"Gr\xf6\xdfe: 5 \x80 \x96 \x84gut\x93", "a text with the code page's own characters")

    check_equal(chat.status(), paired(address_b, -12), "status before the partner was heard")
    answer = b"Antwort\x00mit Null\nzweite Zeile \xe4"
    partner.command_ok("sendhex " + answer.hex())
    expected = (b"Ich: Hallo vom Chat, sch\xf6n!\r\nIch: Gr\xf6\xdfe: 5 \x80 \x96 \x84gut\x93\r\n"
                b"Partner: Antwort mit Null\r\nzweite Zeile \xe4\r\n")
    wait_until(lambda: chat.conversation() == expected, 30, "the partner's answer in the conversation")
    wait_for_status(chat, connected(address_b, -12))


@case(timeout=420)
def chat_goes_on_after_connecting_again_and_a_restart(session):
    """The chat at relay A and a console client at relay B are talking. The
    chat's user presses "Verbinden" again; later closes the chat and starts
    it anew, a new process that finds the partner's host and name number
    kept from the last run. After each, texts flow both ways, and neither
    relay was restarted."""
    a, b, address_a, address_b, (_, window_a), _ = two_machines(session)

    chat = ChatWindow(a)
    chat.pair(address_b, 5)
    wait_for_status(chat, paired(address_b, 5))
    partner = ConsoleClient(b, "partner")
    partner.connect()
    partner.create(5, address_a)
    partner.command_ok("login")
    wait_for_log_line(a, window_a, LOGIN_ACCEPTED)

    def exchange(chat, word):
        chat.type(INPUT_EDIT, f"Chat {word}".encode())
        chat.click(SEND_BUTTON)
        partner.expect_text(f"Chat {word}".encode(), f"the chat's text {word!r}")
        partner.command_ok(f"send Partner {word}")
        wait_until(lambda: chat.conversation().endswith(f"Partner: Partner {word}\r\n".encode()), 30,
                   f"the partner's text {word!r} in the chat")

    exchange(chat, "vorher")
    wait_for_status(chat, connected(address_b, 5))

    chat.click(CONNECT_BUTTON)
    wait_for_status(chat, paired(address_b, 5))
    exchange(chat, "nach erneutem Verbinden")

    chat.close()
    chat = ChatWindow(a)
    check_equal((chat.text(HOST_EDIT), chat.text(NAME_EDIT)), (address_b.encode(), b"5"),
                "the partner kept from the last run")
    chat.click(CONNECT_BUTTON)
    wait_for_status(chat, paired(address_b, 5))
    exchange(chat, "nach dem Neustart")
    wait_for_status(chat, connected(address_b, 5))


@case(timeout=300)
def chat_reports_what_keeps_it_from_connecting(session):
    """A missing host or a name that is no number, a relay that is not
    running, and a partner's host that cannot be found each give their own
    status text, and the relay shows no box; Send before a connection says
    so and sends nothing."""
    host = session.host("a", settings(debugging=0))
    chat = ChatWindow(host)

    chat.click(CONNECT_BUTTON)
    wait_for_status(chat, ENTER_HOST)
    chat.type(HOST_EDIT, b"no-such-host.invalid")
    chat.type(NAME_EDIT, b"zwei")
    chat.click(CONNECT_BUTTON)
    wait_for_status(chat, BAD_NAME)
    chat.type(NAME_EDIT, b"2")
    chat.click(CONNECT_BUTTON)
    wait_for_status(chat, RELAY_MISSING)

    # The chat looks the host up itself: the relay is not asked, and shows no box.
    relay, _ = start_relay(host)
    chat.click(CONNECT_BUTTON)
    wait_for_status(chat, b"Der Rechner des Partners (no-such-host.invalid) kann nicht gefunden werden.")
    check_equal(host.find_windows(title="Error"), [], "boxes of the relay")

    chat.type(INPUT_EDIT, b"ins Leere")
    chat.click(SEND_BUTTON)
    wait_for_status(chat, NOT_CONNECTED)
    check_equal(chat.text(INPUT_EDIT), b"ins Leere", "the input line is kept")
    check_equal(chat.text(CONVERSATION), b"", "the conversation stays empty")
    check(relay.running, "the relay runs on")

    # A paste longer than one text can carry is cut, and the user is told.
    chat.type(INPUT_EDIT, b"")
    chat.paste(INPUT_EDIT, b"x" * 70000)
    check_equal(len(chat.text(INPUT_EDIT)), 65506, "characters the input takes")
    wait_for_status(chat, b"Die Eingabe ist voll: h\xf6chstens 65506 Zeichen passen in eine Nachricht, "
                          b"der Rest wurde nicht \xfcbernommen.")


if __name__ == "__main__":
    raise SystemExit(main())
