"""The programs of the builds and how the Windows ones run under Wine.

Shared by the end-to-end suites (tests/e2e), the hostile runs (tests/hostile)
and the demo (demo/demo.py): where the native and Windows programs of a build
are, the Windows form of a path, and Wine prefixes that are made once and
kept.

Three Windows lanes run the same suites:
- win32: the 32-bit test build, made as the release is (win32 threads, XP
  headers), run by the 32-bit Wine through WoW64 in a 64-bit prefix, as 64-bit
  Windows runs the release: the 32-bit registry view, IsWow64Process yes;
- release: the programs of the release zip itself, with the win32 test
  build's stand-ins beside them;
- win64: the 64-bit build under wine64, the check that the sources are also
  right as a 64-bit program.
The 32-bit lanes need a kernel that runs 32-bit code; where it runs none they
are not run, and say so.
"""

import fcntl
import functools
import glob
import os
import shutil
import subprocess
import zipfile

SOURCE_DIR = os.environ.get(
    "ENABLER_SOURCE_DIR",
    os.path.abspath(os.path.join(os.path.dirname(__file__), "..")))
NATIVE_BIN = os.environ.get(
    "ENABLER_NATIVE_BIN", os.path.join(SOURCE_DIR, "build", "native", "bin"))
WIN64_BIN = os.environ.get(
    "ENABLER_WIN64_BIN", os.path.join(SOURCE_DIR, "build", "win64", "bin"))
WIN32_BIN = os.environ.get(
    "ENABLER_WIN32_BIN", os.path.join(SOURCE_DIR, "build", "win32", "bin"))
WINE = os.environ.get("ENABLER_WINE", "/usr/lib/wine/wine64")
WINE32 = os.environ.get("ENABLER_WINE32", "/usr/lib/wine/wine")
# The programs of the release zip; the stand-ins come from the win32 build.
RELEASE_PROGRAMS = ("vs-enabler", "vmware-enabler", "cpuprobe", "vtdump")


def native(name):
    """Path of a native program of the build."""
    return os.path.join(NATIVE_BIN, name)


def win64(name):
    """Path of a win64 program of the build (name without .exe)."""
    return os.path.join(WIN64_BIN, name + ".exe")


@functools.lru_cache(maxsize=None)
def runs_32bit_code():
    """Whether the 32-bit Wine starts here: installed, and a kernel that runs
    32-bit code. Asked once."""
    try:
        return subprocess.run([WINE32, "--version"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL,
                              timeout=60).returncode == 0
    except OSError:
        return False


class WindowsLane:
    """One Windows build's programs and the Wine that runs them."""

    def __init__(self, name, bin_dir, wine, bits):
        self.name = name
        self.bin_dir = bin_dir
        self.wine = wine
        self.bits = bits

    @property
    def wow64(self):
        """A 32-bit program in a 64-bit prefix runs through WoW64."""
        return self.bits == 32

    def program(self, name):
        """Path of a program of the lane (name without .exe)."""
        return os.path.join(self.bin_dir, name + ".exe")

    def machine_lacks(self):
        """Why this machine cannot run the lane whatever is installed (a
        kernel without 32-bit code), or None."""
        if self.bits == 32 and os.access(self.wine, os.X_OK) and \
                not runs_32bit_code():
            return "this machine's kernel runs no 32-bit code"
        return None

    def missing(self):
        """Why the lane cannot run here, or None."""
        if not os.access(self.wine, os.X_OK):
            return "%s is not installed" % self.wine
        if not os.path.isdir(self.bin_dir):
            return "the %s build is missing (%s)" % (self.name, self.bin_dir)
        return self.machine_lacks()


WIN32 = WindowsLane("win32", WIN32_BIN, WINE32, 32)
WIN64 = WindowsLane("win64", WIN64_BIN, WINE, 64)


class ReleaseLane(WindowsLane):
    """The programs of the release zip, unpacked on first use beside copies
    of the win32 build's stand-ins (cpuid.exe, perl.exe, the COM server)."""

    def __init__(self):
        super().__init__("release", os.path.join(SOURCE_DIR, "build",
                                                 "release-lane", "bin"),
                         WINE32, 32)

    def zip_path(self):
        named = os.environ.get("ENABLER_RELEASE_ZIP")
        if named:
            return named
        found = sorted(glob.glob(os.path.join(
            SOURCE_DIR, "build", "release", "kep-enablers-*-win32.zip")))
        return found[-1] if found else None

    def missing(self):
        package = self.zip_path()
        if not package or not os.path.isfile(package):
            return "no release zip (scripts/release makes it)"
        why = WIN32.missing()
        if why is None:
            self._unpack(package)
        return why

    def _unpack(self, package):
        """Lays the lane out anew when the zip is newer than the lane, under
        a lock, so that suites that start at once lay it out once."""
        parent = os.path.dirname(self.bin_dir)
        os.makedirs(parent, exist_ok=True)
        with open(os.path.join(parent, "lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            stamp = os.path.join(self.bin_dir, "from.zip")
            if os.path.isfile(stamp) and \
                    os.path.getmtime(stamp) >= os.path.getmtime(package):
                return
            shutil.rmtree(self.bin_dir, True)
            os.makedirs(self.bin_dir)
            for name in os.listdir(WIN32_BIN):
                if name.endswith((".exe", ".dll")):
                    shutil.copy(os.path.join(WIN32_BIN, name), self.bin_dir)
            with zipfile.ZipFile(package) as archive:
                for member in archive.namelist():
                    name = os.path.basename(member)
                    if name[:-len(".exe")] in RELEASE_PROGRAMS:
                        with open(os.path.join(self.bin_dir, name), "wb") as f:
                            f.write(archive.read(member))
            shutil.copy2(package, stamp)


RELEASE = ReleaseLane()


def wine_path(path):
    """The Windows form of an absolute POSIX path (Wine's Z: drive)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WinePrefix:
    """A Wine prefix in the folder `path`, made on first use and kept: a
    64-bit prefix, in which the 32-bit Wine runs 32-bit programs through
    WoW64. `wine` is the loader that runs programs in it (see for_lane)."""

    def __init__(self, path, wine=None):
        self.path = path
        self.wine = wine or WINE

    def for_lane(self, lane):
        """The same prefix, its programs run by `lane`'s Wine."""
        return WinePrefix(self.path, lane.wine)

    def made(self):
        if not os.path.isfile(os.path.join(self.path, "system.reg")):
            return False
        # A prefix made before the 32-bit Wine was installed has no 32-bit
        # system folder; 32-bit programs then fail to load kernel32.dll.
        return not runs_32bit_code() or os.path.isfile(os.path.join(
            self.path, "drive_c", "windows", "syswow64", "kernel32.dll"))

    def env(self, extra=None, base=None):
        """The environment of a program run in the prefix: `base` (this
        process's environment when None) with the prefix's settings, then
        `extra`."""
        env = dict(os.environ if base is None else base)
        env["WINEPREFIX"] = self.path
        env["WINEDEBUG"] = "-all"
        # No Mono or Gecko installer dialogs on a fresh prefix.
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
        env.pop("DISPLAY", None)
        if extra:
            env.update(extra)
        return env

    def ensure(self):
        """Makes the prefix unless it is there, under a lock, so that suites
        that share it and start at once make it once."""
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        with open(self.path + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if self.made():
                return
            # Made anew: nothing in a test prefix is worth keeping.
            shutil.rmtree(self.path, True)
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
