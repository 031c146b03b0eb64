#!/usr/bin/env python3
"""Pictures of the relay's debug window and of the chat, at 96 and at 192
DPI (HKCU\\Control Panel\\Desktop\\LogPixels), under Wine: a relay with
debugging on and the chat at machine a, paired with a console client at
machine b, a text each way. Saves relay-DPI.png and chat-DPI.png in the
directory given (default build/windows-x64/dpi). Not a test: for looking at.

    tools/demo/dpi_pictures.py [DIRECTORY]
"""

import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "wine"))
import tools_path  # noqa: F401,E402  (makes the harness importable)

from harness import Session, build_dir, wait_until  # noqa: E402
import sdk_programs as programs  # noqa: E402


def set_dpi(host, dpi):
    result = host.run("reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                      str(dpi), "/f", timeout=60)
    if result.returncode != 0:
        raise SystemExit(f"reg add LogPixels failed: {result.stdout!r}")


def picture(session, host, hwnd, path):
    left, top, right, bottom = host.window_info(hwnd).rect
    subprocess.run(["import", "-display", session.display.name, "-window", "root",
                    "-crop", f"{right - left}x{bottom - top}+{max(left, 0)}+{max(top, 0)}", "+repage", str(path)],
                   check=True, timeout=60, stdout=subprocess.DEVNULL)
    print(f"{path}: {right - left} x {bottom - top} pixels at ({left}, {top})")


def pictures_at(dpi, directory):
    with Session(screen="2560x1600x24") as session:
        a = session.host("a", programs.settings(debugging=1))
        b = session.host("b", programs.settings(debugging=0))
        set_dpi(a, dpi)
        address_a, address_b = a.link(b)
        relay_a = a.start_relay()
        window = a.relay_window(wait=60)
        b.start_relay()
        b.relay_window(wait=60)
        chat = programs.ChatWindow(a)
        chat.pair(address_b, 7)
        partner = programs.ConsoleClient(b, "partner")
        partner.connect()
        partner.create(7, address_a)
        partner.command_ok("login")
        chat.type(programs.INPUT_EDIT, "Grüß dich! Ein Text über 40 Zeichen, damit man etwas sieht.".encode("cp1252"))
        chat.click(programs.SEND_BUTTON)
        partner.expect_text("Grüß dich! Ein Text über 40 Zeichen, damit man etwas sieht.".encode("cp1252"), "text")
        partner.command_ok("sendhex " + "Hallo zurück, alles gut angekommen.".encode("cp1252").hex(), "sendhex")
        wait_until(lambda: b"Partner: " in chat.conversation(), 30, "the partner's text")
        chat.type(programs.INPUT_EDIT, b"Noch nicht gesendet")
        picture(session, a, chat.hwnd, directory / f"chat-{dpi}.png")
        # The chat stands in front of the relay's window: it goes first.
        chat.close()
        time.sleep(1)  # the relay's window redraws what the chat covered
        picture(session, a, window.hwnd, directory / f"relay-{dpi}.png")
        del relay_a


def main():
    directory = Path(sys.argv[1]) if len(sys.argv) > 1 else build_dir() / "dpi"
    directory.mkdir(parents=True, exist_ok=True)
    for dpi in (96, 192):
        pictures_at(dpi, directory)


if __name__ == "__main__":
    main()
