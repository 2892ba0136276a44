"""Shared pieces of the end-to-end suites.

Each suite runs the built programs in temporary directories: the native build
directly and each Windows lane (the 32-bit build through WoW64, the release
zip's programs, the win64 build; see tests/built_programs.py) under Wine. A
suite that writes to a prefix's registry has a prefix of its own below the
build folder, shared by its lanes; the others share build/wineprefix.

A Windows suite is a class of cases that derives from WindowsCase and runs its
programs through `self.lane`; `on_lanes` makes one test class of it per lane.
The win32 lane runs every case; the release and win64 lanes run the cases
marked `every_lane` (or `also_on` a lane), where a 64-bit program or the
shipped bytes could behave otherwise, and leave the rest to the win32 lane.

A Windows case skips where its lane cannot run (no Wine, no build, a kernel
that runs no 32-bit code), unless ENABLER_REQUIRE_WINE is set (scripts/test
sets it), which turns a missing Wine or build into a failure. A kernel without
32-bit code is this machine's, not the build's fault: ENABLER_REQUIRE_WINE
does not fail for it, and scripts/test counts those lanes as not run. A
program missing from a build fails the case either way.
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
from built_programs import (NATIVE_BIN, RELEASE, SOURCE_DIR,  # noqa: E402,F401
                            WIN32, WIN64, WIN64_BIN, native, win64,
                            wine_path)

FIXTURES = os.path.join(SOURCE_DIR, "tests", "fixtures")
# The prefix of the Windows unit tests (CMakePresets.json), which the suites
# that change nothing in a prefix share.
SHARED_PREFIX = os.path.join(SOURCE_DIR, "build", "wineprefix")

# Exit code that CTest reports as "skipped".
SKIP_CODE = 77


def _windows_side_missing(testcase, why):
    """Skips the case, or fails it where ENABLER_REQUIRE_WINE is set: a
    machine without Wine or without a Windows build may run the native cases
    alone, the full test run may not."""
    if os.environ.get("ENABLER_REQUIRE_WINE"):
        testcase.fail(why)
    raise unittest.SkipTest(why)


def require_win64_build(testcase):
    """For a case that reads the win64 build without running it."""
    if not os.path.isdir(WIN64_BIN):
        _windows_side_missing(testcase,
                              "the win64 build is missing (%s)" % WIN64_BIN)


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
    """Runs argv in cwd; with a WinePrefix the first element is a Windows
    program that runs under the prefix's Wine in that prefix. `stdin` is
    bytes to feed or a descriptor to read. Output is kept as bytes."""
    if prefix is not None:
        full_env = prefix.env(env)
        argv = [prefix.wine] + list(argv)
    else:
        full_env = dict(os.environ)
        if env:
            full_env.update(env)
    for key in [k for k, v in full_env.items() if v is None]:
        del full_env[key]
    # Bytes are fed through a pipe; a descriptor (a terminal) is handed over.
    feed = {"stdin": stdin} if isinstance(stdin, int) else {"input": stdin}
    if prefix is None:
        proc = subprocess.run(argv, cwd=cwd, env=full_env, **feed,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout)
        return Result(proc.returncode, proc.stdout, proc.stderr)
    # A wineserver that a run starts inherits the run's descriptors and stays
    # for seconds after the program ends: read from pipes, every such run
    # would wait for it. Output goes to files instead.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.run(argv, cwd=cwd, env=full_env, **feed,
                              stdout=out, stderr=err, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return Result(proc.returncode, out.read(), err.read())


def run_system_tool(argv, cwd, prefix):
    """Runs one of Wine's own tools (regedit, reg, regsvr32, wmic) as run()
    does. Under load such a tool has been seen to end with status 1 and no
    word once; it is then run a second time, after the prefix's wineserver
    has finished, and a line on standard error says so. A tool that fails
    twice fails the case as before."""
    result = run(argv, cwd, prefix=prefix)
    if result.status == 0:
        return result
    prefix.wait()
    again = run(argv, cwd, prefix=prefix)
    if again.status == 0:
        sys.stderr.write("note: %s ended with status %d (%r) and succeeded "
                         "when run again\n" % (" ".join(argv[:2]),
                                               result.status, result.stderr))
    return again


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


# The word a skipped case's reason starts with when its lane cannot run on
# this machine's kernel; scripts/test counts such cases as not run.
NOT_RUN = "not run:"


def require_lane(testcase, lane):
    """For a case of one Windows lane: its Wine and build must be there (see
    _windows_side_missing); a kernel without 32-bit code skips the case with
    NOT_RUN, whatever ENABLER_REQUIRE_WINE says."""
    lacks = lane.machine_lacks()
    if lacks:
        raise unittest.SkipTest("%s the %s lane: %s" % (NOT_RUN, lane.name,
                                                         lacks))
    why = lane.missing()
    if why:
        _windows_side_missing(testcase, why)


def also_on(*lanes):
    """Marks a case that the named lanes run too, besides win32: a case of
    the build's behaviour rather than of the shipped bytes
    (@also_on("win64"))."""
    def mark(case):
        case.also_on = lanes
        return case
    return mark


# Marks a case that the release and win64 lanes run too.
every_lane = also_on("release", "win64")


def on_lanes(cases, namespace, lanes=None):
    """Makes one test class per Windows lane of the WindowsCase subclass
    `cases`, named after the lane (Win32..., Release..., Win64...), in
    `namespace` (a suite's globals()). Only the first lane runs every case;
    the others run those marked also_on them (every_lane)."""
    lanes = lanes or (WIN32, RELEASE, WIN64)
    for n, lane in enumerate(lanes):
        body = {"lane": lane, "__module__": namespace["__name__"]}
        if n > 0:
            for name in dir(cases):
                if name.startswith("test") and lane.name not in getattr(
                        getattr(cases, name), "also_on", ()):
                    body[name] = None  # not collected
        name = lane.name.capitalize() + cases.__name__
        namespace[name] = type(name, (cases,), body)
    # The class of cases itself is no test class of its own.
    namespace.pop(cases.__name__, None)


class WindowsCase(TempDirCase):
    """A case that runs one Windows lane's programs under Wine in the suite's
    prefix. A suite that changes the prefix (its registry) names a prefix of
    its own in `suite`; the others share the build's, build/wineprefix, which
    the unit tests use too, and so spare a prefix's making each. `lane`
    comes from on_lanes. `self.prefix` runs programs with the lane's Wine,
    `self.system_prefix` with wine64."""

    lane = None
    suite = None
    # Programs (names without .exe) every case of the suite runs.
    programs = ()

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # The system's own tools (regedit, reg) are 64-bit programs, as an
        # administrator's are on 64-bit Windows: run in `prefix`, a 32-bit
        # regedit would write its keys through the 32-bit view.
        cls.system_prefix = WinePrefix(cls.suite) if cls.suite else \
            built_programs.WinePrefix(SHARED_PREFIX)
        cls.prefix = cls.system_prefix.for_lane(cls.lane)
        cls.ready = cls.lane.missing() is None
        if cls.ready:
            require_programs(*(cls.exe(name) for name in cls.programs))
            cls.prefix.ensure()

    def setUp(self):
        require_lane(self, self.lane)
        super().setUp()

    @classmethod
    def exe(cls, name):
        """Path of a program of the lane (name without .exe)."""
        return cls.lane.program(name)



def release_version():
    """The release version: the project version of the top CMakeLists.txt,
    which --version of every program prints."""
    import re
    with open(os.path.join(SOURCE_DIR, "CMakeLists.txt"),
              encoding="utf-8") as f:
        return re.search(r"^project\(\w+ VERSION ([0-9.]+)", f.read(),
                         re.M).group(1)
