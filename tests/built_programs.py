"""The programs of the builds and how the win64 ones run under wine64.

Shared by the end-to-end suites (tests/e2e), the hostile runs (tests/hostile)
and the demo (demo/demo.py): where the native and win64 programs of a build
are, the Windows form of a path, and Wine prefixes that are made once and
kept.
"""

import os
import shutil
import subprocess

SOURCE_DIR = os.environ.get(
    "ENABLER_SOURCE_DIR",
    os.path.abspath(os.path.join(os.path.dirname(__file__), "..")))
NATIVE_BIN = os.environ.get(
    "ENABLER_NATIVE_BIN", os.path.join(SOURCE_DIR, "build", "native", "bin"))
WIN64_BIN = os.environ.get(
    "ENABLER_WIN64_BIN", os.path.join(SOURCE_DIR, "build", "win64", "bin"))
WINE = os.environ.get("ENABLER_WINE", "/usr/lib/wine/wine64")


def native(name):
    """Path of a native program of the build."""
    return os.path.join(NATIVE_BIN, name)


def win64(name):
    """Path of a win64 program of the build (name without .exe)."""
    return os.path.join(WIN64_BIN, name + ".exe")


def wine_path(path):
    """The Windows form of an absolute POSIX path (Wine's Z: drive)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WinePrefix:
    """A Wine prefix in the folder `path`, made on first use and kept."""

    def __init__(self, path):
        self.path = path

    def made(self):
        return os.path.isfile(os.path.join(self.path, "system.reg"))

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
        """Makes the prefix unless it is there."""
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        if not self.made():
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
