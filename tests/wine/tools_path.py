"""Makes the tools the Wine tests stand on importable: the simulated Windows
machines (tools/winehost: harness), the demo (tools/demo) and the load tools
(bench: load_run, load_partner). CTest sets the same directories in
PYTHONPATH; every test file imports this module first, so that it also runs
by hand (`python3 tests/wine/test_<topic>.py --all`). It also names the
tests' own programs (programs/*.cpp, built into tests/wine of the build
directory) to the harness, unless QUORVEL_WINE_PROGRAMS already does."""

import os
import sys
from pathlib import Path

_REPO = Path(__file__).resolve().parents[2]
for _directory in (_REPO / "bench", _REPO / "tools" / "demo", _REPO / "tools" / "winehost"):
    if str(_directory) not in sys.path:
        sys.path.insert(0, str(_directory))

import harness  # noqa: E402

os.environ.setdefault("QUORVEL_WINE_PROGRAMS", str(harness.build_dir() / "tests" / "wine"))
