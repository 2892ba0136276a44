"""Shared pieces of the end-to-end suites.

Each suite runs the built programs in temporary directories: the native build
directly and the win64 build under wine64, each Windows suite in a Wine prefix
of its own below the build folder.
"""

import os
import shutil
import subprocess
import tempfile
import unittest

SOURCE_DIR = os.environ.get(
    "ENABLER_SOURCE_DIR",
    os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
NATIVE_BIN = os.environ.get(
    "ENABLER_NATIVE_BIN", os.path.join(SOURCE_DIR, "build", "native", "bin"))
WIN64_BIN = os.environ.get(
    "ENABLER_WIN64_BIN", os.path.join(SOURCE_DIR, "build", "win64", "bin"))
WINE = os.environ.get("ENABLER_WINE", "/usr/lib/wine/wine64")
FIXTURES = os.path.join(SOURCE_DIR, "tests", "fixtures")

# Exit code that CTest reports as "skipped".
SKIP_CODE = 77


def native(name):
    """Path of a native program of the build."""
    return os.path.join(NATIVE_BIN, name)


def win64(name):
    """Path of a win64 program of the build (name without .exe)."""
    return os.path.join(WIN64_BIN, name + ".exe")


def wine_available():
    return os.access(WINE, os.X_OK) and os.path.isdir(WIN64_BIN)


def require_wine(testcase):
    """Skips a Windows case where Wine or the win64 build is missing, unless
    ENABLER_REQUIRE_WINE is set, where that is a failure."""
    if wine_available():
        return
    if os.environ.get("ENABLER_REQUIRE_WINE"):
        testcase.fail("wine64 or the win64 build is missing (%s, %s)"
                      % (WINE, WIN64_BIN))
    raise unittest.SkipTest("wine64 or the win64 build is missing")


def wine_path(path):
    """The Windows form of an absolute POSIX path (Wine's Z: drive)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


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


class WinePrefix:
    """A Wine prefix of one suite, made once and kept below the build."""

    def __init__(self, name):
        self.path = os.path.join(SOURCE_DIR, "build", "wineprefix-e2e", name)

    def env(self, extra=None):
        env = dict(os.environ)
        env["WINEPREFIX"] = self.path
        env["WINEDEBUG"] = "-all"
        # No Mono or Gecko installer dialogs on a fresh prefix.
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
        env.pop("DISPLAY", None)
        if extra:
            env.update(extra)
        return env

    def ensure(self):
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        if not os.path.isfile(os.path.join(self.path, "system.reg")):
            subprocess.run([WINE, "wineboot", "--init"], env=self.env(),
                           stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300, check=False)
            self.wait()

    def wait(self):
        """Waits for the prefix's wineserver to finish its writes."""
        server = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"
        if os.path.exists(server):
            subprocess.run([server, "-w"], env=self.env(), timeout=120,
                           check=False)


class Result:
    def __init__(self, status, stdout, stderr):
        self.status = status
        self.stdout = stdout
        self.stderr = stderr


def run(argv, cwd, env=None, prefix=None, stdin=None, timeout=120):
    """Runs argv in cwd; with a WinePrefix the first element is a win64 .exe
    that runs under wine64 in that prefix. Output is kept as bytes."""
    if prefix is not None:
        full_env = prefix.env(env)
        argv = [WINE] + list(argv)
    else:
        full_env = dict(os.environ)
        if env:
            full_env.update(env)
    for key in [k for k, v in full_env.items() if v is None]:
        del full_env[key]
    proc = subprocess.run(argv, cwd=cwd, env=full_env, input=stdin,
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
