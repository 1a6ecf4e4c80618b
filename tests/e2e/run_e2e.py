#!/usr/bin/python3
"""Runs one group of end-to-end scenarios against the built program in a private desktop.

    run_e2e.py --binary build/listra GROUP [TestClass.test_name ...]

GROUP names a module test_GROUP.py beside this file. The desktop (desktop.py) lives as long
as the group runs; every scenario has a user of its own (harness.py). Exit code 77 means a
tool the desktop needs is missing. LISTRA_E2E_KEEP=1 keeps each scenario's folders.
"""

import argparse
import os
import sys
import unittest

sys.dont_write_bytecode = True  # keep the source folder clean

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import desktop  # noqa: E402

SKIP = 77


def run_group(args):
    helpers = desktop.start_session()
    try:
        module = __import__(f"test_{args.group}")
        loader = unittest.TestLoader()
        if args.tests:
            suite = loader.loadTestsFromNames(args.tests, module)
        else:
            suite = loader.loadTestsFromModule(module)
        result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
        failed = len(result.failures) + len(result.errors)
        passed = result.testsRun - failed - len(result.skipped)
        print(f"{passed} passed, {failed} failed, {len(result.skipped)} skipped")
        return 0 if result.wasSuccessful() and result.testsRun > 0 else 1
    finally:
        desktop.stop_session(helpers)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("group")
    parser.add_argument("tests", nargs="*")
    args = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    if os.environ.get("LISTRA_E2E_INNER") == "1":
        return run_group(args)

    if not os.path.isfile(args.binary):
        print(f"no program at {args.binary}")
        return 1
    missing = desktop.missing_tools()
    if missing:
        print("end-to-end tests skipped, missing: " + ", ".join(missing)
              + " (scripts/install-deps.sh installs them)")
        return SKIP
    return desktop.run_in_private_desktop(
        [sys.executable, os.path.abspath(__file__), "--binary", args.binary, args.group,
         *args.tests],
        {"LISTRA_E2E_BINARY": os.path.abspath(args.binary), "LISTRA_E2E_INNER": "1"})


if __name__ == "__main__":
    sys.exit(main())
