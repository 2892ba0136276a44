"""Shared pieces of the end-to-end suites.

Each suite runs the built programs in temporary directories: the native build
directly and the win64 build under wine64, each Windows suite in a Wine prefix
of its own below the build folder. Where the build's programs are, and the
Wine prefixes themselves, come from tests/built_programs.py, which the demo
shares.

A Windows case skips where wine64 or the win64 build is missing, unless
ENABLER_REQUIRE_WINE is set (scripts/test sets it); a program missing from a
build fails the case either way.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                ".."))
import built_programs  # noqa: E402
from built_programs import (NATIVE_BIN, SOURCE_DIR, WIN64_BIN,  # noqa: E402,F401
                            WINE, native, win64, wine_path)

FIXTURES = os.path.join(SOURCE_DIR, "tests", "fixtures")

# Exit code that CTest reports as "skipped".
SKIP_CODE = 77


def wine_available():
    return os.access(WINE, os.X_OK) and os.path.isdir(WIN64_BIN)


def _windows_side_missing(testcase, what):
    """Skips the case, or fails it where ENABLER_REQUIRE_WINE is set: a
    machine without wine64 or without the win64 build may run the native
    cases alone, the full test run may not."""
    if os.environ.get("ENABLER_REQUIRE_WINE"):
        testcase.fail("%s is missing" % what)
    raise unittest.SkipTest("%s is missing" % what)


def require_wine(testcase):
    """For a Windows case: wine64 and the win64 build must be there (see
    _windows_side_missing)."""
    if not wine_available():
        _windows_side_missing(testcase, "wine64 or the win64 build (%s, %s)"
                              % (WINE, WIN64_BIN))


def require_win64_build(testcase):
    """For a case that reads the win64 build without running it."""
    if not os.path.isdir(WIN64_BIN):
        _windows_side_missing(testcase, "the win64 build (%s)" % WIN64_BIN)


def require_programs(*paths):
    """Fails the case (raises AssertionError, also from setUpClass) when a
    program it runs is missing from its build. The suites test whole builds:
    a program left out is a fault of the build, never a reason to skip."""
    missing = [path for path in paths if not os.path.isfile(path)]
    if missing:
        raise AssertionError("not built: %s" % ", ".join(missing))


def make_cpu_root(directory, packages, threads=2):
    """A CPU directory in the shape of /sys/devices/system/cpu for
    KEP_CPU_ROOT: `packages` packages of one core with `threads` logical
    processors each, all online. Returns `directory`."""
    count = packages * threads
    os.makedirs(directory)
    with open(os.path.join(directory, "online"), "w") as f:
        f.write("0-%d\n" % (count - 1))
    for cpu in range(count):
        topology = os.path.join(directory, "cpu%d" % cpu, "topology")
        os.makedirs(topology)
        for name, value in (("physical_package_id", cpu // threads),
                            ("core_id", 0)):
            with open(os.path.join(topology, name), "w") as f:
                f.write("%d\n" % value)
    return directory


class WinePrefix(built_programs.WinePrefix):
    """The Wine prefix of one suite, below build/wineprefix-e2e."""

    def __init__(self, name):
        super().__init__(os.path.join(SOURCE_DIR, "build", "wineprefix-e2e",
                                      name))


class Result:
    def __init__(self, status, stdout, stderr):
        self.status = status
        self.stdout = stdout
        self.stderr = stderr


def run(argv, cwd, env=None, prefix=None, stdin=None, timeout=120):
    """Runs argv in cwd; with a WinePrefix the first element is a win64 .exe
    that runs under wine64 in that prefix. `stdin` is bytes to feed or a
    descriptor to read. Output is kept as bytes."""
    if prefix is not None:
        full_env = prefix.env(env)
        argv = [WINE] + list(argv)
    else:
        full_env = dict(os.environ)
        if env:
            full_env.update(env)
    for key in [k for k, v in full_env.items() if v is None]:
        del full_env[key]
    # Bytes are fed through a pipe; a descriptor (a terminal) is handed over.
    feed = {"stdin": stdin} if isinstance(stdin, int) else {"input": stdin}
    proc = subprocess.run(argv, cwd=cwd, env=full_env, **feed,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout)
    return Result(proc.returncode, proc.stdout, proc.stderr)


class TempDirCase(unittest.TestCase):
    """A case with a fresh working directory, removed afterwards."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="enabler-e2e-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()


def release_version():
    """The release version: the project version of the top CMakeLists.txt,
    which --version of every program prints."""
    import re
    with open(os.path.join(SOURCE_DIR, "CMakeLists.txt"),
              encoding="utf-8") as f:
        return re.search(r"^project\(\w+ VERSION ([0-9.]+)", f.read(),
                         re.M).group(1)
