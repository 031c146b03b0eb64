"""The common start of the benchmark scripts that run Wine: the repository's
root, the simulated Windows machines (tools/winehost: harness) on the import
path, and build/windows-x64 as the build unless QUORVEL_BUILD_DIR names
another. Imported before harness and load_run."""

import os
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
if str(REPO / "tools" / "winehost") not in sys.path:
    sys.path.insert(0, str(REPO / "tools" / "winehost"))
os.environ.setdefault("QUORVEL_BUILD_DIR", str(REPO / "build" / "windows-x64"))
