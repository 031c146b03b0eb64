#!/usr/bin/env python3
"""Runs Quorvel.exe and the Windows programs around it under Wine, on
simulated Windows machines.

A test file (say tests/wine/test_<topic>.py) declares its cases with `@case`
and ends with `main()`; CTest runs every case as its own process. The demo
and the load runs use the same `Session` directly. Each case gets a
`Session`, which owns everything the case starts: one Xvfb display, any number
of `Host`s (each a private copy of the Wine prefix with its own wineserver,
working directory and, by default, its own network namespace), and the
processes started in them. Everything is torn down when the case ends, fails,
times out or is interrupted, and a later run removes what a killed run left.

Also a command line for the build:
    harness.py make-template DIR     make the Wine prefix that hosts copy
    harness.py run-program NAME ...  run a Windows program in a fresh host and
                                     pass on its exit code

Only the standard library is used.
"""

import atexit
import ctypes
import errno
import fcntl
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
from dataclasses import dataclass
from pathlib import Path

# The loaders of 64-bit (PE32+) and 32-bit (PE32) programs; one wineserver
# and one prefix serve both.
WINE = "/usr/lib/wine/wine64"
WINE32 = "/usr/lib/wine/wine"
WINESERVER = "/usr/lib/wine/wineserver"
REPO = Path(__file__).resolve().parents[2]

# Messages the tests send.
WM_NULL = 0
WM_CLOSE = 16
WM_SYSCOMMAND = 0x0112
SC_CLOSE = 0xF060
# Window styles the tests look at.
WS_VISIBLE = 0x10000000
WS_DISABLED = 0x08000000
WS_CAPTION = 0x00C00000
WS_SYSMENU = 0x00080000
WS_THICKFRAME = 0x00040000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000

# The relay's own window.
RELAY_WINDOW_CLASS = "WindowClass_1"
RELAY_WINDOW_TITLE = b"Quorvel.exe"
SETTINGS_FILE = "JOX-UDP.ini"

TEMPLATE_STAMP = ".quorvel-template"
# Wine's Windows directory holds hundreds of megabytes of DLLs that nothing
# writes while tests run; hosts link to them instead of copying them.
SHARED_PREFIX_DIRS = ("drive_c/windows/system32", "drive_c/windows/syswow64")


class TestFailure(AssertionError):
    """A check of a test case did not hold."""


class CaseTimeout(Exception):
    """The case ran out of its time budget."""


class Interrupted(Exception):
    """The test process was asked to stop (SIGTERM, SIGINT, SIGHUP)."""


# ---------------------------------------------------------------- checks

def check(condition, message):
    if not condition:
        raise TestFailure(message)


def check_equal(actual, expected, what):
    if actual != expected:
        raise TestFailure(f"{what}: expected {expected!r}, got {actual!r}")


def wait_until(predicate, timeout, what, interval=0.1):
    """Calls `predicate` until it returns a true value and returns that value;
    fails after `timeout` seconds. Bounded by count as well as by time."""
    tries = max(1, int(timeout / interval) + 1)
    deadline = time.monotonic() + timeout
    for attempt in range(tries):
        value = predicate()
        if value:
            return value
        if attempt + 1 == tries or time.monotonic() >= deadline:
            break
        time.sleep(interval)
    raise TestFailure(f"timed out after {timeout:g} s waiting for {what}")


# ---------------------------------------------------------------- paths

def build_dir():
    return Path(os.environ.get("QUORVEL_BUILD_DIR", REPO / "build" / "windows-x64"))


def programs_dirs():
    """Where Windows programs are looked for: the build directory (the relay,
    its clients, the helper qvtest.exe, the load client qvload.exe), then the
    directories in QUORVEL_WINE_PROGRAMS (separated by ':'), say the test
    suite's own programs."""
    extra = os.environ.get("QUORVEL_WINE_PROGRAMS", "")
    return [build_dir()] + [Path(entry) for entry in extra.split(os.pathsep) if entry]


def template_dir():
    return Path(os.environ.get("QUORVEL_WINE_TEMPLATE", build_dir() / "wine-template"))


def runs_dir():
    """Where sessions keep their hosts: beside the template, so that hosts can
    hard-link its shared files (same file system)."""
    return template_dir().parent / "wine-runs"


def relay_exe():
    return build_dir() / "Quorvel.exe"


def program_exe(name):
    """The Windows program <name>.exe: the first found in `programs_dirs()`;
    the build directory's when there is none."""
    for directory in programs_dirs():
        if (directory / f"{name}.exe").is_file():
            return directory / f"{name}.exe"
    return build_dir() / f"{name}.exe"


def x86_build_dir():
    """The x86 build (QUORVEL_X86_BUILD_DIR; beside the x64 build by default)."""
    return Path(os.environ.get("QUORVEL_X86_BUILD_DIR", build_dir().parent / "windows-x86"))


def program_exe_32(name):
    """The 32-bit <name>.exe, a client or a test program: this build's when it
    is the x86 build, else the x86 build's, which must have been built."""
    if pe_width(relay_exe()) == 32:
        return program_exe(name)
    for directory in (x86_build_dir(), x86_build_dir() / "tests" / "wine"):
        if (directory / f"{name}.exe").is_file():
            return directory / f"{name}.exe"
    raise TestFailure(f"no 32-bit {name}.exe in {x86_build_dir()}: build the windows-x86 preset first")


# ---------------------------------------------------------------- cleanup

class Cleanup:
    """Undo actions, run newest first, exactly once, whatever happens."""

    def __init__(self):
        self._actions = []
        self.running = False

    def push(self, action, description):
        self._actions.append((action, description))

    def run(self):
        if self.running:
            return
        self.running = True
        try:
            while self._actions:
                action, description = self._actions.pop()
                try:
                    action()
                except Exception as error:  # keep going: the rest must still be undone
                    print(f"harness: cleanup of {description} failed: {error}", file=sys.stderr)
        finally:
            self.running = False


_cleanup = Cleanup()
atexit.register(_cleanup.run)


def _on_signal(number, _frame):
    if _cleanup.running:  # finish undoing first; the end is near anyway
        return
    if number == signal.SIGALRM:
        raise CaseTimeout("the case ran out of time")
    raise Interrupted(f"signal {number}")


for _signal in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGALRM):
    signal.signal(_signal, _on_signal)


def _die_with_parent():
    """In a child before exec: the kernel kills it if this process dies, even
    by SIGKILL, so a killed test leaves no Xvfb or Wine program behind."""
    libc = ctypes.CDLL(None, use_errno=True)
    pr_set_pdeathsig = 1
    libc.prctl(pr_set_pdeathsig, signal.SIGKILL, 0, 0, 0)


def _run_quietly(argv, timeout=30, env=None):
    """A housekeeping command whose failure is not the test's business."""
    try:
        return subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except (subprocess.TimeoutExpired, OSError):
        return None


def _run_checked(argv, timeout=30):
    result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(argv)} failed ({result.returncode}): "
                           f"{result.stdout.decode(errors='replace').strip()}")
    return result.stdout


def _pid_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def _kill_process(process, grace=5):
    if process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout=grace)


# Namespaces and veth interfaces carry the pid of the test process that made
# them, so that a later run can tell what a killed run left behind.
_NAMESPACE = re.compile(r"^qvt(\d+)n\d+$")
_RUN_DIR = re.compile(r"^(\d+)-")
_LINK = re.compile(r"^\d+: (qvt(\d+)[ab]\d+)[@:]", re.MULTILINE)


def _kill_wineserver(prefix):
    env = dict(os.environ, WINEPREFIX=str(prefix))
    _run_quietly([WINESERVER, "-k"], env=env, timeout=15)


def _delete_namespace(name):
    pids = subprocess.run(["ip", "netns", "pids", name], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=10).stdout.split()
    for pid in pids:
        try:
            os.kill(int(pid), signal.SIGKILL)
        except (ProcessLookupError, ValueError):
            pass
    _run_quietly(["ip", "netns", "delete", name], timeout=15)


def sweep_leftovers():
    """Removes namespaces, wineservers and host directories of test processes
    that no longer exist (killed before their own cleanup could run)."""
    if os.geteuid() == 0 and shutil.which("ip"):
        listing = subprocess.run(["ip", "netns", "list"], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, timeout=10).stdout.decode()
        for line in listing.splitlines():
            name = line.split()[0] if line.split() else ""
            match = _NAMESPACE.match(name)
            if match and not _pid_alive(int(match.group(1))):
                _delete_namespace(name)
        links = subprocess.run(["ip", "-o", "link", "show"], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, timeout=10).stdout.decode()
        for match in _LINK.finditer(links):
            if not _pid_alive(int(match.group(2))):
                _run_quietly(["ip", "link", "delete", match.group(1)])
    root = runs_dir()
    if root.is_dir():
        for entry in root.iterdir():
            match = _RUN_DIR.match(entry.name)
            if not match or _pid_alive(int(match.group(1))):
                continue
            for prefix in entry.glob("*/prefix"):
                _kill_wineserver(prefix)
            shutil.rmtree(entry, ignore_errors=True)


# ---------------------------------------------------------------- wine prefix

def wine_environment(prefix, display=None):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(prefix),
        "WINEDEBUG": os.environ.get("QUORVEL_WINEDEBUG", "-all"),
        "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
        "DISPLAY": display or "",
        # Wine takes the ANSI code page from the locale; this one gives
        # Windows-1252 everywhere, so texts compare byte for byte.
        "LC_ALL": "C.UTF-8",
    })
    return env


def _wine_version():
    return subprocess.run([WINE, "--version"], stdout=subprocess.PIPE, timeout=30).stdout.decode().strip()


def pe_width(exe):
    """32 or 64: the pointer width of a Windows program, read from its PE
    header (the optional header's magic: PE32 or PE32+)."""
    with open(exe, "rb") as image:
        dos = image.read(0x40)
        if len(dos) < 0x40 or dos[:2] != b"MZ":
            raise ValueError(f"{exe} is no Windows program")
        image.seek(int.from_bytes(dos[0x3C:0x40], "little"))
        # "PE\0\0", the 20-byte file header, then the optional header's magic.
        header = image.read(4 + 20 + 2)
    magic = int.from_bytes(header[24:26], "little") if header[:4] == b"PE\0\0" else None
    widths = {0x10B: 32, 0x20B: 64}
    if magic not in widths:
        raise ValueError(f"{exe} has no PE32 or PE32+ header")
    return widths[magic]


def wine_loader(exe):
    """The Wine loader that runs this program: the 32-bit one for PE32. A
    name that is no file here (say "msiexec") is one of Wine's own programs
    in the prefix, run by the 64-bit loader."""
    if not Path(exe).is_file():
        return WINE
    return WINE32 if pe_width(exe) == 32 else WINE


def _has_both_halves(prefix):
    """Whether the prefix holds 32-bit Windows as well (syswow64)."""
    return (prefix / "drive_c/windows/syswow64").is_dir() and (prefix / "drive_c/windows/system32").is_dir()


def make_template(path=None):
    """Creates the prefix that every host copies, once per build directory
    (and again when the installed Wine changes). Safe to call concurrently."""
    path = Path(path or template_dir())
    path.parent.mkdir(parents=True, exist_ok=True)
    version = _wine_version()
    with open(path.parent / "wine-template.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        stamp = path / TEMPLATE_STAMP
        if stamp.is_file() and stamp.read_text() == version and _has_both_halves(path):
            return path
        building = Path(tempfile.mkdtemp(prefix="wine-template.", dir=path.parent))
        # wineboot wants to create the prefix directory itself.
        prefix = building / "prefix"
        env = wine_environment(prefix)
        try:
            subprocess.run([WINE, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=240, check=True)
            subprocess.run([WINESERVER, "-w"], env=env, timeout=120, check=True)
            if not (prefix / "system.reg").is_file():
                raise RuntimeError("wineboot made no registry")
            # wineboot sets up the 32-bit half only where the 32-bit loader is.
            if not _has_both_halves(prefix):
                raise RuntimeError(f"wineboot made no 32-bit half (syswow64): is {WINE32} there? "
                                   "scripts/setup installs it (wine32:i386)")
            (prefix / TEMPLATE_STAMP).write_text(version)
            if path.exists():
                shutil.rmtree(path)
            prefix.rename(path)
        finally:
            _kill_wineserver(prefix)
            shutil.rmtree(building, ignore_errors=True)
    return path


def copy_prefix(template, destination):
    """A private prefix: the shared DLL directories are hard links to the
    template (fast), everything else real copies, so that nothing Wine writes
    (registry, ini files) can reach the template."""
    template = Path(template)
    shared = {template / relative for relative in SHARED_PREFIX_DIRS}
    for source_dir, dir_names, file_names in os.walk(template):
        source_dir = Path(source_dir)
        target_dir = destination / source_dir.relative_to(template)
        target_dir.mkdir(parents=True, exist_ok=True)
        linked = any(source_dir == root or root in source_dir.parents for root in shared)
        for name in dir_names + file_names:
            source = source_dir / name
            target = target_dir / name
            if source.is_symlink():
                os.symlink(os.readlink(source), target)
            elif name in file_names:
                if linked:
                    try:
                        os.link(source, target)
                        continue
                    except OSError as error:
                        if error.errno != errno.EXDEV:
                            raise
                shutil.copy2(source, target)
        # os.walk does not descend into symlinked directories; nothing to do.


# ---------------------------------------------------------------- display

class Display:
    """One Xvfb server for the test process, on a free display number."""

    def __init__(self, screen="1024x768x24"):
        read_end, write_end = os.pipe()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen, "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                preexec_fn=_die_with_parent)
        finally:
            os.close(write_end)
        _cleanup.push(lambda: _kill_process(self.process), "Xvfb")
        try:
            number = b""
            deadline = time.monotonic() + 30
            while not number.endswith(b"\n"):
                remaining = deadline - time.monotonic()
                if remaining <= 0 or not select.select([read_end], [], [], remaining)[0]:
                    raise RuntimeError("Xvfb did not report its display in time")
                chunk = os.read(read_end, 32)
                if not chunk:
                    raise RuntimeError("Xvfb ended before reporting its display")
                number += chunk
        finally:
            os.close(read_end)
        self.name = ":" + number.decode().strip()


# ---------------------------------------------------------------- processes

@dataclass
class Result:
    returncode: int
    stdout: bytes
    stderr: bytes


class Process:
    """A Windows program started in a host, running in the background. An
    interactive one (started with `interactive=True`) is driven line by line
    through its standard input and output."""

    def __init__(self, popen, name, log_dir):
        self.popen = popen
        self.name = name
        self._log_dir = log_dir
        self._pending = b""

    def send_line(self, text):
        self.popen.stdin.write(text.encode() + b"\n")
        self.popen.stdin.flush()

    def read_line(self, timeout=30.0):
        """The next line the program writes (without its line end); fails when
        none comes in time or the program ends first."""
        deadline = time.monotonic() + timeout
        while b"\n" not in self._pending:
            remaining = deadline - time.monotonic()
            check(remaining > 0, f"{self.name} wrote no line within {timeout:g} s")
            ready, _, _ = select.select([self.popen.stdout], [], [], remaining)
            if ready:
                chunk = os.read(self.popen.stdout.fileno(), 1 << 16)
                check(chunk != b"", f"{self.name} ended while a line was awaited")
                self._pending += chunk
        line, self._pending = self._pending.split(b"\n", 1)
        return line.rstrip(b"\r").decode("cp1252")

    def ask(self, text, timeout=30.0):
        self.send_line(text)
        return self.read_line(timeout)

    @property
    def running(self):
        return self.popen.poll() is None

    def wait(self, timeout):
        """The exit code; fails when the program has not ended in time."""
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise TestFailure(f"{self.name} did not end within {timeout:g} s") from None

    def kill(self):
        _kill_process(self.popen)

    def output(self):
        """Everything it wrote to standard output (not for interactive ones)."""
        return (self._log_dir / f"{self.name}.out").read_bytes()

    def errors(self):
        return (self._log_dir / f"{self.name}.err").read_bytes()


@dataclass
class Window:
    """One line of the helper's window description."""
    hwnd: int
    class_name: str
    title: bytes
    visible: bool
    enabled: bool
    style: int
    exstyle: int
    owner: int
    parent: int
    pid: int
    rect: tuple
    client: tuple

    @staticmethod
    def parse(line):
        fields = dict(field.split(b"=", 1) for field in line.rstrip(b"\r\n").split(b"\t"))

        def numbers(key):
            return tuple(int(part) for part in fields[key].split(b","))

        return Window(
            hwnd=int(fields[b"hwnd"]), class_name=fields[b"class"].decode("cp1252"),
            title=fields[b"title"], visible=fields[b"visible"] == b"1",
            enabled=fields[b"enabled"] == b"1", style=int(fields[b"style"], 16),
            exstyle=int(fields[b"exstyle"], 16), owner=int(fields[b"owner"]),
            parent=int(fields[b"parent"]), pid=int(fields[b"pid"]),
            rect=numbers(b"rect"), client=numbers(b"client"))


@dataclass
class TreeItem:
    depth: int
    text: bytes
    expanded: bool
    has_children: bool  # as the control reports it: an expand button is shown


@dataclass
class MessageBox:
    window: Window
    text: bytes


# ---------------------------------------------------------------- hosts

class Host:
    """One simulated machine: a prefix of its own (so its own wineserver and
    desktop: window messages reach only windows of the same host), a working
    directory (the relay reads JOX-UDP.ini from it) and, unless
    `namespace=False`, a network namespace of its own with only loopback."""

    def __init__(self, session, name, settings=None, namespace=True):
        self.session = session
        self.name = name
        self.dir = session.dir / name
        self.prefix = self.dir / "prefix"
        self.work = self.dir / "work"
        self.logs = self.dir / "logs"
        self._started = 0
        copy_prefix(session.template, self.prefix)
        self.work.mkdir()
        self.logs.mkdir()
        if settings is not None:
            self.write_settings(settings)
        self.namespace = None
        if namespace:
            self.namespace = session.new_namespace_name()
            _run_checked(["ip", "netns", "add", self.namespace])
            _cleanup.push(lambda name=self.namespace: _delete_namespace(name), f"namespace {self.namespace}")
            _run_checked(["ip", "-n", self.namespace, "link", "set", "lo", "up"])
        # Pushed after the namespace: the wineserver goes first.
        _cleanup.push(lambda: _kill_wineserver(self.prefix), f"wineserver of {name}")

    def write_settings(self, content):
        """Writes JOX-UDP.ini into the working directory, byte for byte."""
        (self.work / SETTINGS_FILE).write_bytes(content)

    def command(self, argv):
        if self.namespace:
            return ["ip", "netns", "exec", self.namespace] + list(argv)
        return list(argv)

    def environment(self):
        return wine_environment(self.prefix, self.session.display.name)

    # -- Windows programs

    def start(self, exe, *args, name=None, interactive=False):
        """Starts a Windows program in the background, in the working
        directory. Its standard output goes to logs/<name>.out, or, when
        `interactive`, to a pipe read by `Process.read_line` (its standard
        input is then a pipe too). Standard error goes to logs/<name>.err."""
        self._started += 1
        name = name or f"{Path(exe).stem}-{self._started}"
        out = subprocess.PIPE if interactive else open(self.logs / f"{name}.out", "wb")
        err = open(self.logs / f"{name}.err", "wb")
        try:
            popen = subprocess.Popen(self.command([wine_loader(exe), str(exe), *map(str, args)]), cwd=self.work,
                                     env=self.environment(),
                                     stdin=subprocess.PIPE if interactive else subprocess.DEVNULL,
                                     stdout=out, stderr=err, preexec_fn=_die_with_parent)
        finally:
            if not interactive:
                out.close()
            err.close()
        _cleanup.push(lambda: _kill_process(popen), f"{name} in {self.name}")
        self.session.processes.append((self, name))
        return Process(popen, name, self.logs)

    def start_relay(self):
        return self.start(relay_exe(), name=f"Quorvel-{self._started + 1}")

    def start_program(self, name, *args, interactive=False):
        """Starts the Windows program <name>.exe (see `program_exe`)."""
        return self.start(program_exe(name), *args, interactive=interactive,
                          name=f"{name}-{self._started + 1}")

    def run(self, exe, *args, timeout=60):
        """Runs a Windows program to its end; fails if it takes longer.

        Its output goes to files, not pipes: the first program in a prefix
        starts Wine's background services, which inherit its standard
        handles and keep them open long after the program has ended."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            popen = subprocess.Popen(self.command([wine_loader(exe), str(exe), *map(str, args)]), cwd=self.work,
                                     env=self.environment(), stdin=subprocess.DEVNULL, stdout=out,
                                     stderr=err, preexec_fn=_die_with_parent)
            try:
                returncode = popen.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                _kill_process(popen)
                raise TestFailure(f"{Path(exe).name} {' '.join(map(str, args))} did not end within "
                                  f"{timeout:g} s") from None
            finally:
                _kill_process(popen)
            out.seek(0)
            err.seek(0)
            return Result(returncode, out.read(), err.read())

    def helper(self, *args, timeout=60):
        return self.run(program_exe("qvtest"), *args, timeout=timeout)

    # -- windows of the host, through the helper

    def find_windows(self, class_name=None, title=None, visible_only=False, wait=0.0):
        """Every matching top-level window; empty when none appeared in `wait` s."""
        args = ["find", "--all", "--timeout", int(wait * 1000)]
        if class_name is not None:
            args += ["--class", class_name]
        if title is not None:
            args += ["--title", title.decode("cp1252") if isinstance(title, bytes) else title]
        if visible_only:
            args.append("--visible")
        result = self.helper(*args, timeout=wait + 60)
        if result.returncode == 1:
            return []
        check_equal(result.returncode, 0, "exit code of qvtest find")
        return [Window.parse(line) for line in result.stdout.splitlines() if line]

    def relay_windows(self, wait=0.0):
        return self.find_windows(RELAY_WINDOW_CLASS, RELAY_WINDOW_TITLE, wait=wait)

    def relay_window(self, wait=30.0, shown=False):
        """The one relay window of this host; fails unless exactly one exists.
        `shown`: the one shown (with debugging on, the window exists a moment
        before it is shown)."""
        windows = self.find_windows(RELAY_WINDOW_CLASS, RELAY_WINDOW_TITLE, visible_only=shown, wait=wait)
        check_equal(len(windows), 1, "number of relay windows" + (" shown" if shown else ""))
        return windows[0]

    def window_info(self, hwnd):
        """The window's description, or None when it no longer exists."""
        result = self.helper("info", hwnd)
        return Window.parse(result.stdout) if result.returncode == 0 else None

    def send(self, hwnd, message, wparam=0, lparam=0, timeout=10.0):
        """SendMessage; the result as the sender sees it (pointer-sized, signed)."""
        result = self.helper("send", hwnd, message, wparam, lparam, "--timeout", int(timeout * 1000),
                             timeout=timeout + 60)
        check_equal(result.returncode, 0, f"exit code of qvtest send ({result.stdout!r})")
        return int(result.stdout.strip().split(b"=", 1)[1])

    def post(self, hwnd, message, wparam=0, lparam=0):
        result = self.helper("post", hwnd, message, wparam, lparam)
        check_equal(result.returncode, 0, f"exit code of qvtest post ({result.stdout!r})")

    def tree(self, hwnd, wait=0.0):
        """The lines of the window's tree control as (depth, text bytes), or
        None when the window has no tree control."""
        result = self.helper("tree", hwnd, "--timeout", int(wait * 1000), timeout=wait + 60)
        if result.returncode == 1:
            return None
        check_equal(result.returncode, 0, "exit code of qvtest tree")
        lines = []
        for line in result.stdout.split(b"\n")[:-1]:
            text = line.lstrip(b" ")
            lines.append(((len(line) - len(text)) // 2, text))
        return lines

    def tree_items(self, hwnd, wait=0.0):
        """Like `tree`, with each line's state: a list of `TreeItem`."""
        result = self.helper("tree", hwnd, "--state", "--timeout", int(wait * 1000), timeout=wait + 60)
        if result.returncode == 1:
            return None
        check_equal(result.returncode, 0, "exit code of qvtest tree --state")
        items = []
        for line in result.stdout.split(b"\n")[:-1]:
            state, _, indented = line.partition(b"\t")
            expanded, has_children = state.split(b" ")
            text = indented.lstrip(b" ")
            items.append(TreeItem((len(indented) - len(text)) // 2, text, expanded == b"1",
                                  has_children == b"1"))
        return items

    def message_box(self, caption="Error", wait=30.0):
        """The open message box with this caption; fails when none appears."""
        result = self.helper("box", "--caption", caption, "--timeout", int(wait * 1000), timeout=wait + 60)
        check(result.returncode == 0, f"no message box {caption!r} appeared within {wait:g} s")
        line, _, text = result.stdout.partition(b"\n")
        return MessageBox(Window.parse(line), text)

    def press_ok(self, caption="Error", wait=10.0):
        result = self.helper("press-ok", "--caption", caption, "--timeout", int(wait * 1000),
                             timeout=wait + 60)
        check_equal(result.returncode, 0, f"exit code of qvtest press-ok for {caption!r}")

    # -- the host's network

    def udp_ports(self):
        """The UDP ports bound in this host's namespace."""
        listing = _run_checked(self.command(["ss", "-H", "-u", "-l", "-n"]))
        ports = set()
        for line in listing.decode().splitlines():
            fields = line.split()
            if len(fields) >= 4:
                ports.add(int(fields[3].rsplit(":", 1)[1]))
        return ports

    def hold_udp_port(self, port):
        """Binds the UDP port on all addresses of the host from outside Wine,
        until the case ends."""
        code = ("import socket,sys\n"
                "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                f"s.bind(('0.0.0.0',{int(port)}))\n"
                "print('bound',flush=True)\n"
                "sys.stdin.read()\n")
        holder = subprocess.Popen(self.command([sys.executable, "-c", code]), stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, preexec_fn=_die_with_parent)
        _cleanup.push(lambda: _kill_process(holder), f"holder of UDP port {port}")
        ready, _, _ = select.select([holder.stdout], [], [], 20)
        check(ready and holder.stdout.readline() == b"bound\n", f"could not bind UDP port {port}")
        return holder

    def link(self, other, subnet=None):
        """Connects this host's namespace with another host's (or, when other
        is None, with the root namespace) by a veth pair. `subnet` is the
        first three parts of a /24, e.g. "10.77.3"; this side gets .1 and the
        other .2. Without one, a 10.77.x subnet that no other test uses in the
        root namespace is chosen. Returns the two addresses."""
        check(self.namespace is not None, "link needs a host with its own namespace")
        with open(runs_dir() / "links.lock", "w") as lock:
            # Held until the addresses are set, so parallel tests never pick
            # the same subnet.
            fcntl.flock(lock, fcntl.LOCK_EX)
            return self._link(other, subnet or _free_subnet())

    def _link(self, other, subnet):
        index = self.session.new_link_index()
        ours = f"qvt{os.getpid()}a{index}"
        theirs = f"qvt{os.getpid()}b{index}"
        _run_checked(["ip", "link", "add", ours, "type", "veth", "peer", "name", theirs])
        # Whichever end is still in the root namespace takes the pair with it;
        # ends inside namespaces go with the namespace.
        _cleanup.push(lambda: [_run_quietly(["ip", "link", "delete", end]) for end in (ours, theirs)],
                      f"link {ours}")
        _run_checked(["ip", "link", "set", ours, "netns", self.namespace])
        if other is not None:
            check(other.namespace is not None, "link needs a host with its own namespace")
            _run_checked(["ip", "link", "set", theirs, "netns", other.namespace])
        _run_checked(self.command(["ip", "addr", "add", f"{subnet}.1/24", "dev", ours]))
        _run_checked(self.command(["ip", "link", "set", ours, "up"]))
        other_side = other.command if other is not None else list
        _run_checked(other_side(["ip", "addr", "add", f"{subnet}.2/24", "dev", theirs]))
        _run_checked(other_side(["ip", "link", "set", theirs, "up"]))
        return f"{subnet}.1", f"{subnet}.2"


def _free_subnet():
    listing = _run_checked(["ip", "-o", "-4", "addr", "show"]).decode()
    used = set(re.findall(r"inet 10\.77\.(\d+)\.", listing))
    start = os.getpid() % 250
    for offset in range(250):
        third = (start + offset) % 250 + 1
        if str(third) not in used:
            return f"10.77.{third}"
    raise RuntimeError("no free 10.77.x subnet in the root namespace")


class Session:
    """Everything one test case starts; closed (all undone) by `with`."""

    def __init__(self, screen="1024x768x24"):
        """`screen`: the virtual display's size and depth, WIDTHxHEIGHTxDEPTH."""
        self.template = make_template()
        self._screen = screen
        runs = runs_dir()
        runs.mkdir(parents=True, exist_ok=True)
        self.dir = Path(tempfile.mkdtemp(prefix=f"{os.getpid()}-", dir=runs))
        self._keep = os.environ.get("QUORVEL_KEEP_HOSTS") == "1"
        _cleanup.push(self._remove_dir, "session directory")
        self._display = None
        self._namespaces = 0
        self._links = 0
        self.processes = []

    def _remove_dir(self):
        if not self._keep:
            shutil.rmtree(self.dir, ignore_errors=True)

    @property
    def display(self):
        if self._display is None:
            self._display = Display(self._screen)
        return self._display

    def host(self, name, settings=None, namespace=True):
        return Host(self, name, settings, namespace)

    def on_cleanup(self, action, description):
        """Runs `action` when the case ends, however it ends; newest first."""
        _cleanup.push(action, description)

    def new_namespace_name(self):
        self._namespaces += 1
        return f"qvt{os.getpid()}n{self._namespaces}"

    def new_link_index(self):
        self._links += 1
        return self._links

    def report(self):
        """What the started programs wrote, for a failed case's output."""
        for host, name in self.processes:
            for suffix in ("out", "err"):
                path = host.logs / f"{name}.{suffix}"
                if path.is_file() and path.stat().st_size:
                    print(f"--- {host.name}/{name}.{suffix}:")
                    print(path.read_bytes()[-4000:].decode("cp1252", errors="replace"))

    def __enter__(self):
        return self

    def __exit__(self, *_):
        _cleanup.run()
        return False


# ---------------------------------------------------------------- cases

_cases = {}


def case(timeout=120):
    """Declares a test case: a function taking the `Session`. `timeout` (in
    seconds) is CTest's limit; the case itself stops a little earlier so that
    it can clean up."""
    def register(function):
        _cases[function.__name__] = (function, timeout)
        return function
    return register


def run_case(name):
    function, timeout = _cases[name]
    sweep_leftovers()
    signal.alarm(max(10, timeout - 20))
    session = None
    try:
        with Session() as session:
            try:
                function(session)
            except BaseException:
                session.report()
                raise
        print(f"PASS {name}")
        return 0
    except TestFailure as failure:
        print(f"FAIL {name}: {failure}")
        traceback.print_exc()
        return 1
    except (CaseTimeout, Interrupted) as stop:
        print(f"FAIL {name}: {stop}")
        traceback.print_exc()
        return 1
    finally:
        signal.alarm(0)
        _cleanup.run()


def main(argv=None):
    """Entry point of every test file: `--list` prints "<case> <timeout>" per
    line (CTest registers them), `<case>` runs one case, `--all` runs all."""
    argv = sys.argv[1:] if argv is None else argv
    if argv == ["--list"]:
        for name, (_, timeout) in _cases.items():
            print(f"{name} {timeout}")
        return 0
    if argv == ["--all"]:
        return max((run_case(name) for name in list(_cases)), default=0)
    if len(argv) == 1 and argv[0] in _cases:
        return run_case(argv[0])
    print(f"usage: {sys.argv[0]} --list | --all | <case>; cases: {', '.join(_cases)}", file=sys.stderr)
    return 2


# ---------------------------------------------------------------- command line

def _run_program(name, args):
    """Runs a Windows program in a fresh host with its own namespace; its exit
    code is the result."""
    sweep_leftovers()
    signal.alarm(170)
    try:
        with Session() as session:
            host = session.host("selftest")
            result = host.run(program_exe(name), *args, timeout=150)
            sys.stdout.buffer.write(result.stdout)
            sys.stderr.buffer.write(result.stderr)
            return result.returncode
    finally:
        signal.alarm(0)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "make-template":
        make_template(sys.argv[2])
        sys.exit(0)
    if len(sys.argv) >= 3 and sys.argv[1] == "run-program":
        sys.exit(_run_program(sys.argv[2], sys.argv[3:]))
    print(__doc__, file=sys.stderr)
    sys.exit(2)
