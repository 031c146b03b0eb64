#!/usr/bin/env python3
"""The MSI under Wine, on a fresh machine each: `msiexec /i ... /qn` puts
the programs, JOX-UDP.ini, the documents, the Start-menu entries and the
sign-in entry in place; what the sign-in entry runs starts the relay in the
install folder (it reads that folder's JOX-UDP.ini) and qvprobe from the
folder finds it; the relay's Start-menu entry then starts nothing and shows
no box, and "Quorvel beenden" ends it with its ending line in the log file.
`msiexec /x ... /qn` closes a running relay and takes all of it away again.
AUTOSTART=0 leaves the sign-in entry out, and a newer package replaces an
older one, keeping the user's JOX-UDP.ini and closing the running relay.

The MSI is the build's own (quorvel-VERSION-x64.msi, target quorvel_msi);
when it is missing it is made from the build's programs."""

import re
import shutil
import struct
import sys
from pathlib import Path

import tools_path  # noqa: F401  (first: makes the tools importable)
from harness import REPO, build_dir, case, check, check_equal, main, wait_until

sys.path.insert(0, str(REPO / "packaging"))
import release  # noqa: E402  (the package's own description of itself)

RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
# Windows lists a per-user product under HKCU, Wine under HKLM.
UNINSTALL_KEYS = [hive + r"\Software\Microsoft\Windows\CurrentVersion\Uninstall" for hive in ("HKCU", "HKLM")]
USER_PRODUCTS_KEY = r"HKCU\Software\Microsoft\Installer\Products"
PORT = 1240  # set in the installed JOX-UDP.ini; the working directory's says another
DECOY_PORT = 1250
SHORTCUTS = {f"{name}.lnk": (program, arguments or None) for _, name, program, arguments, _ in release.SHORTCUTS}
CLOSE_LINE = b"Programm wird beendet: Fenster geschlossen\r\n"
INSTALLED = (release.PROGRAMS + [release.SETTINGS[1]] + [place for _, place in release.DOCUMENTS])


def msi_of_build():
    msi = build_dir() / f"quorvel-{release.version()}-x64.msi"
    if not msi.is_file():
        if not shutil.which("wixl"):
            print(f"SKIP: no {msi.name}, and wixl (msitools) is missing to make it; scripts/setup installs it")
            raise SystemExit(0)
        release.make_msi(build_dir(), "x64", msi)
    return msi


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def msiexec(host, *args):
    result = host.run("msiexec", *args, "/qn", timeout=240)
    check_equal(result.returncode, 0, f"exit code of msiexec {' '.join(map(str, args))}")


def registry_value(host, key, name):
    """The value's data as `reg query` prints it, or None when it is absent."""
    result = host.run("reg", "query", key, "/v", name, timeout=60)
    if result.returncode != 0:
        return None
    match = re.search(rb"^\s*" + re.escape(name.encode()) + rb"\s+REG_\w+\s+(.*?)\s*$", result.stdout,
                      re.MULTILINE)
    return match.group(1).decode("cp1252") if match else None


def user_dir(host):
    users = [d for d in (host.prefix / "drive_c" / "users").iterdir() if d.name.lower() != "public"]
    check_equal(len(users), 1, "number of users in the prefix")
    return users[0]


def install_dir(host):
    return user_dir(host) / "AppData" / "Local" / "Programs" / "Quorvel"


def menu_dir(host):
    return user_dir(host) / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "Quorvel"


def unix_path(host, windows):
    drive, _, rest = windows.partition(":")
    check_equal(drive.upper(), "C", f"drive of {windows}")
    return host.prefix / "drive_c" / Path(*rest.strip("\\").split("\\"))


def shortcut_strings(data):
    """The name, relative path, working directory, arguments and icon
    location of a .lnk file (None where absent)."""
    check(data[:4] == b"\x4c\x00\x00\x00", "a shell link header")
    flags = struct.unpack_from("<I", data, 20)[0]
    at = 76
    if flags & 0x01:  # HasLinkTargetIDList
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if flags & 0x02:  # HasLinkInfo
        at += struct.unpack_from("<I", data, at)[0]
    unicode = bool(flags & 0x80)
    strings = {}
    for bit, name in ((0x04, "name"), (0x08, "relative_path"), (0x10, "working_dir"), (0x20, "arguments"),
                      (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            size = count * 2 if unicode else count
            raw = data[at + 2:at + 2 + size]
            # Some writers count the terminating NUL as well.
            strings[name] = raw.decode("utf-16-le" if unicode else "cp1252").rstrip("\0")
            at += 2 + size
        else:
            strings[name] = None
    return strings


def check_installed(host, autostart, settings=None):
    """`settings`: what JOX-UDP.ini must hold; the package's own by default."""
    folder = install_dir(host)
    for place in INSTALLED:
        check((folder / place).is_file(), f"{place} installed in {folder}")
    check_equal((folder / "JOX-UDP.ini").read_bytes(), settings or (REPO / release.SETTINGS[0]).read_bytes(),
                "the installed JOX-UDP.ini")
    for link, (program, arguments) in SHORTCUTS.items():
        path = menu_dir(host) / link
        check(path.is_file(), f"Start-menu entry {link}")
        data = path.read_bytes()
        strings = shortcut_strings(data)
        check(strings["working_dir"] and strings["working_dir"].rstrip("\\").endswith(r"\Programs\Quorvel"),
              f"{link} starts in the install folder, not in {strings['working_dir']!r}")
        check(program.encode("utf-16-le") in data or program.encode() in data, f"{link} names {program}")
        check_equal(strings["arguments"], arguments, f"arguments of {link}")
    run = registry_value(host, RUN_KEY, "Quorvel")
    if autostart:
        check(run is not None and run.startswith('"') and run.endswith('QuorvelStart.exe"'),
              f"sign-in entry {run!r}")
        check_equal(unix_path(host, run.strip('"')), folder / "QuorvelStart.exe", "program of the sign-in entry")
    else:
        check_equal(run, None, "sign-in entry with AUTOSTART=0")


def check_removed(host):
    left = sorted(str(p.relative_to(install_dir(host))) for p in install_dir(host).rglob("*")) \
        if install_dir(host).exists() else []
    check(not install_dir(host).exists(), f"{install_dir(host)} is gone (left: {left})")
    check(not menu_dir(host).exists(), f"{menu_dir(host)} is gone")
    check_equal(registry_value(host, RUN_KEY, "Quorvel"), None, "sign-in entry after removal")
    listing = host.run("reg", "query", r"HKCU\Software\Quorvel", timeout=60)
    check(listing.returncode != 0, f"HKCU\\Software\\Quorvel is gone: {listing.stdout!r}")


def relay_processes(host):
    """Process ids of the Quorvel.exe processes of this host's Wine prefix,
    however they were started."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes()
            environment = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if b"Quorvel.exe" in command and f"WINEPREFIX={host.prefix}".encode() in environment:
            found.append(int(entry.name))
    return found


def start_from_menu(host, link):
    """Runs what a Start-menu entry runs, as Windows would: its program with
    its arguments, in its working directory."""
    program, arguments = SHORTCUTS[link]
    return host.run(install_dir(host) / program, *([arguments] if arguments else []), timeout=60)


def installed_products(host):
    """DisplayVersion of every Quorvel the user has installed."""
    listing = "\n".join(host.run("reg", "query", key, "/s", timeout=60).stdout.decode("cp1252")
                         for key in UNINSTALL_KEYS)
    versions = []
    for block in re.split(r"\r?\n(?=HKEY_)", listing):
        if re.search(r"DisplayName\s+REG_SZ\s+Quorvel\s*$", block, re.MULTILINE):
            match = re.search(r"DisplayVersion\s+REG_SZ\s+(\S+)", block)
            versions.append(match.group(1) if match else "?")
    return versions


@case(timeout=420)
def install_start_at_sign_in_and_remove(session):
    msi = msi_of_build()
    a = session.host("a", f"[UDP Settings]\r\nPort={DECOY_PORT}\r\n".encode())
    p = session.host("p")
    relay_address, _ = a.link(p)

    msiexec(a, "/i", windows_path(msi))
    check_installed(a, autostart=True)
    check_equal(installed_products(a), [release.version()], "installed Quorvel versions")
    per_user = a.run("reg", "query", USER_PRODUCTS_KEY, "/s", timeout=60).stdout
    check(re.search(rb"ProductName\s+REG_SZ\s+Quorvel\s", per_user), "Quorvel registered for the user alone")

    # What Windows runs at sign-in: the relay must come up in its folder and
    # take that folder's settings, not those of the directory it was run from.
    folder = install_dir(a)
    # The log file lies outside the install folder: Wine 8 does not remove
    # files by the wildcards with which uninstalling removes *.log there.
    log_file = session.dir / "relay.log"
    (folder / "JOX-UDP.ini").write_bytes(
        f"[UDP Settings]\r\nPort={PORT}\r\nDebugging=1\r\nLog File={windows_path(log_file)}\r\n".encode())
    start = a.run(unix_path(a, registry_value(a, RUN_KEY, "Quorvel").strip('"')), timeout=60)
    check_equal(start.returncode, 0, "exit code of QuorvelStart.exe")
    a.relay_window(wait=60, shown=True)  # Debugging=1 from the installed JOX-UDP.ini
    wait_until(lambda: PORT in a.udp_ports(), 30, f"the relay to bind the installed JOX-UDP.ini's port {PORT}")
    check(DECOY_PORT not in a.udp_ports(), "the relay ignored the JOX-UDP.ini of the directory it was run from")

    # Started again from the Start menu, as README tells: no second relay,
    # and no "port taken" box.
    check_equal(start_from_menu(a, "Quorvel Relais.lnk").returncode, 0, "exit code of a second start")
    check_equal(len(a.relay_windows(wait=3)), 1, "relay windows after a second start")
    check_equal(a.find_windows(title="Error"), [], "boxes after a second start")

    probe = p.run(folder / "qvprobe.exe", relay_address, "--port", PORT, "--timeout", 10000, timeout=90)
    line = probe.stdout.decode("cp1252").strip()
    check_equal(probe.returncode, 0, f"exit code of the installed qvprobe ({line!r})")
    check(line.startswith(f"relay running: {relay_address} answered on UDP port {PORT}"), line)

    local = a.run(folder / "qvprobe.exe", "127.0.0.1", "--port", PORT, "--timeout", 10000, timeout=90)
    check_equal(local.returncode, 0, f"exit code of qvprobe on the machine itself ({local.stdout!r})")

    stop = start_from_menu(a, "Quorvel beenden.lnk")
    check_equal(stop.returncode, 0, "exit code of Quorvel beenden")
    check_equal(a.relay_windows(), [], "relay windows after Quorvel beenden")
    check(log_file.read_bytes().endswith(CLOSE_LINE), "the log file ends with the ending line")

    # Uninstalled while the relay runs: it is closed first, and nothing is left.
    check_equal(start_from_menu(a, "Quorvel Relais.lnk").returncode, 0, "exit code of the relay's entry")
    a.relay_window(wait=60)
    msiexec(a, "/x", windows_path(msi))
    check_equal(relay_processes(a), [], "relay processes after removal")
    check_removed(a)
    check_equal(installed_products(a), [], "installed Quorvel versions after removal")


@case(timeout=300)
def without_sign_in_entry(session):
    msi = msi_of_build()
    a = session.host("a", namespace=False)
    msiexec(a, "/i", windows_path(msi), "AUTOSTART=0")
    check_installed(a, autostart=False)
    msiexec(a, "/x", windows_path(msi))
    check_removed(a)


@case(timeout=420)
def newer_package_replaces_older(session):
    older = msi_of_build()
    newer = session.dir / "quorvel-newer-x64.msi"
    major, minor, patch = (int(part) for part in release.version().split("."))
    newer_version = f"{major}.{minor}.{patch + 1}"
    release.make_msi(build_dir(), "x64", newer, product_version=newer_version)

    a = session.host("a", namespace=False)
    msiexec(a, "/i", windows_path(older))
    (install_dir(a) / "left-by-the-user.txt").write_text("stays\n")
    changed = (REPO / release.SETTINGS[0]).read_bytes().replace(b"Port=1234", f"Port={PORT}".encode())
    check(changed != (REPO / release.SETTINGS[0]).read_bytes(), "the example settings set Port=1234")
    (install_dir(a) / "JOX-UDP.ini").write_bytes(changed)
    check_equal(start_from_menu(a, "Quorvel Relais.lnk").returncode, 0, "exit code of the relay's entry")
    a.relay_window(wait=60)

    msiexec(a, "/i", windows_path(newer))
    check_equal(installed_products(a), [newer_version], "installed Quorvel versions after the upgrade")
    check_installed(a, autostart=True, settings=changed)
    check((install_dir(a) / "left-by-the-user.txt").is_file(), "a file the user put there survives")
    check_equal(relay_processes(a), [], "relay processes after the upgrade closed the running one")

    msiexec(a, "/x", windows_path(newer))
    check_equal(installed_products(a), [], "installed Quorvel versions after removal")
    check_equal(registry_value(a, RUN_KEY, "Quorvel"), None, "sign-in entry after removal")


if __name__ == "__main__":
    raise SystemExit(main())
