#!/usr/bin/env python3
"""The memory whose address the relay hands to client windows, under Wine:
programs/lowmemory.cpp places blocks below 4 GiB (where a 32-bit window's
message parameter can point), zero-filled, and refuses what cannot fit."""

import tools_path  # noqa: F401  (first: makes the tools importable)

from harness import case, check, check_equal, main, program_exe


@case(timeout=120)
def blocks_lie_below_4_gib(session):
    host = session.host("lowmemory")
    result = host.run(program_exe("lowmemory"))
    lines = result.stdout.decode().splitlines()
    failed = [line for line in lines if line.startswith("FAIL")]
    check_equal(failed, [], "checks that failed")
    check_equal(sum(line.startswith("ok ") for line in lines), 4, "checks that passed")
    check_equal(result.returncode, 0, "exit code of the check program")
    top_down = next((line for line in lines if line.startswith("top-down ")), None)
    check(top_down is not None, "where top-down memory goes is printed")
    print(top_down)


if __name__ == "__main__":
    main()
