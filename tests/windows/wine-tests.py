#!/usr/bin/env python3
"""Runs the cross-built tests in one Wine prefix shared by a ctest run.

    wine-tests.py setup PREFIX_DIR             boot a fresh prefix, persistent wineserver
    wine-tests.py run PREFIX_DIR LC_ALL EXE [ARGS...]
    wine-tests.py cleanup PREFIX_DIR           kill the wineserver, remove the prefix

The ANSI code page of a Wine process follows its LC_ALL, so one prefix serves
the runs under several code pages.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402


def main(argv):
    command, directory = argv[1], argv[2]
    if command == "setup":
        harness.WinePrefix.fresh(directory)
        return 0
    if command == "cleanup":
        if os.path.isdir(os.path.join(directory, "wineprefix")):
            harness.WinePrefix(directory, "C.UTF-8").close()
        return 0
    if command == "run":
        lc_all, exe, args = argv[3], argv[4], argv[5:]
        prefix = harness.WinePrefix.attach(directory, lc_all)
        result = prefix.run(exe, args, timeout=240)
        sys.stdout.write(result.stdout)
        sys.stdout.write(result.stderr)
        if result.timed_out:
            print("TIMED OUT")
            return 1
        return result.rc
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
