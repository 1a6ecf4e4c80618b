#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""run_e2e.py --binary build/listra GROUP [Class.test ...] runs the scenarios of test_GROUP.py
in a private desktop; exit code 77 means a tool it needs is missing."""

import argparse
import os
import sys
import unittest

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("group")
    parser.add_argument("tests", nargs="*")
    args = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    if os.environ.get("LISTRA_E2E_INNER") != "1":
        missing = desktop.missing_tools()
        if missing:
            print("end-to-end tests skipped, missing: " + ", ".join(missing))
            return 77
        return desktop.run_in_private_desktop([sys.executable, *sys.argv],
                                              {"LISTRA_E2E_INNER": "1"})
    desktop.BINARY = os.path.abspath(args.binary)
    desktop.start_session()
    module = __import__("test_" + args.group)
    loader = unittest.TestLoader()
    suite = (loader.loadTestsFromNames(args.tests, module) if args.tests
             else loader.loadTestsFromModule(module))
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    return 0 if result.wasSuccessful() and result.testsRun else 1


if __name__ == "__main__":
    sys.exit(main())
