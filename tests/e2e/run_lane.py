"""Runs the cases of one end-to-end suite on one lane.

    python3 run_lane.py SUITE LANE      (in tests/e2e)
    python3 run_lane.py --lanes SUITE   the lanes SUITE has cases on

LANE is native (the cases that run the native programs) or a Windows lane:
win32, release or win64 (tests/built_programs.py). A 32-bit lane on a machine
whose kernel runs no 32-bit code is not run: one line says so and the exit
status is 77, which CTest reports as skipped and scripts/test counts as not
run.
"""

import sys
import unittest

import e2e_support as e2e

LANES = {"win32": e2e.WIN32, "release": e2e.RELEASE, "win64": e2e.WIN64}


def cases_of(tests, lane):
    """The cases of `tests` whose class runs on `lane` (None: native)."""
    for test in tests:
        if isinstance(test, unittest.TestSuite):
            yield from cases_of(test, lane)
        elif getattr(type(test), "lane", None) is lane:
            yield test


def lanes_of(suite):
    tests = unittest.defaultTestLoader.loadTestsFromName(suite)
    return [name for name, lane in [("native", None)] + list(LANES.items())
            if any(True for _ in cases_of(tests, lane))]


def main():
    if sys.argv[1] == "--lanes":
        print(";".join(lanes_of(sys.argv[2])))
        return 0
    suite, name = sys.argv[1], sys.argv[2]
    lane = LANES.get(name)
    if name != "native" and lane is None:
        print("run_lane: unknown lane %s" % name, file=sys.stderr)
        return 2
    lacks = lane and lane.machine_lacks()
    if lacks:
        print("%s the %s lane of %s: %s" % (e2e.NOT_RUN, name, suite, lacks))
        return e2e.SKIP_CODE
    tests = unittest.TestSuite(cases_of(
        unittest.defaultTestLoader.loadTestsFromName(suite), lane))
    if tests.countTestCases() == 0:
        print("run_lane: %s has no case on the %s lane" % (suite, name),
              file=sys.stderr)
        return 2
    result = unittest.TextTestRunner(verbosity=2).run(tests)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
