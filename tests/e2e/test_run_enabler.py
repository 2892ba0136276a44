"""End-to-end tests of the scheduler wrapper run-enabler.cmd, as the release
zip ships it, run by Wine's cmd against a stand-in enabler
(tests/programs/enabler_stand_in): the exit status passed on, the dated copy
of en_out.txt, the history line, the pruning of old copies, a run without a
log, a run that never ended, and the names it refuses. The release lane runs
every case with the 32-bit cmd; the win64 lane runs the main one with the
64-bit cmd, which the Task Scheduler of 64-bit Windows starts."""

import os
import re
import zipfile

import e2e_support as e2e
from e2e_support import run, wine_path

# start=2026-01-31T02:00:01 end=2026-01-31T02:00:09 enabler=vs-enabler
# status=0 log=vs-enabler-20260131-020001.txt
TIME = r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d"
COPY = r"(vs|vmware)-enabler-\d{8}-\d{6}\.txt"
HISTORY_LINE = re.compile(r"start=(%s) end=(%s) enabler=(\S+) status=(-?\d+) "
                          r"log=(%s|-)$" % (TIME, TIME, COPY))


class RunEnablerCases(e2e.WindowsCase):

    programs = ("enabler_stand_in",)

    def setUp(self):
        super().setUp()
        package = e2e.RELEASE.zip_path()
        if not package or not os.path.isfile(package):
            e2e._windows_side_missing(
                self, "no release zip (scripts/release makes it)")
        # The wrapper's folder, as on a host: the script and the enabler.
        self.bin = self.path("bin")
        self.logs = self.path("logs")
        os.makedirs(self.bin)
        with zipfile.ZipFile(package) as archive:
            name = [n for n in archive.namelist()
                    if n.endswith("/run-enabler.cmd")][0]
            with open(os.path.join(self.bin, "run-enabler.cmd"), "wb") as f:
                f.write(archive.read(name))

    def install(self, enabler):
        with open(self.exe("enabler_stand_in"), "rb") as f:
            data = f.read()
        with open(os.path.join(self.bin, enabler + ".exe"), "wb") as f:
            f.write(data)

    def wrapper(self, *arguments, keep=None, **stand_in):
        """Runs the wrapper from another folder (a scheduled task starts in
        System32); `stand_in` sets STAND_IN_* for the stand-in."""
        elsewhere = self.path("elsewhere")
        os.makedirs(elsewhere, exist_ok=True)
        env = {"KEP_LOG_DIR": wine_path(self.logs), "KEP_EVENTS": "0"}
        if keep is not None:
            env["KEP_LOG_KEEP"] = str(keep)
        for key, value in stand_in.items():
            env["STAND_IN_" + key.upper()] = value
        return run(["cmd", "/c", wine_path(os.path.join(self.bin,
                                                        "run-enabler.cmd"))]
                   + list(arguments), cwd=elsewhere, env=env,
                   prefix=self.prefix)

    def history(self):
        with open(os.path.join(self.logs, "history.txt"), "rb") as f:
            data = f.read()
        self.assertTrue(data.endswith(b"\r\n"))
        return data.decode("ascii").splitlines()

    def copies(self):
        return sorted(n for n in os.listdir(self.logs)
                      if re.fullmatch(COPY, n))

    @e2e.also_on("win64")
    def test_status_log_copy_and_history_of_each_run(self):
        self.install("vs-enabler")
        self.install("vmware-enabler")
        result = self.wrapper("vs-enabler", status="5", line="OK: Return code 5")
        self.assertEqual(5, result.status, result.stderr)
        # The enabler ran in the wrapper's folder with -v, and its log was
        # copied under a dated name.
        [copy] = self.copies()
        with open(os.path.join(self.logs, copy), "rb") as f:
            self.assertEqual(b"arg:-v\ncwd:%s\nOK: Return code 5\n"
                             % wine_path(self.bin).encode(),
                             f.read().replace(b"\r\n", b"\n"))
        result = self.wrapper("vmware-enabler", "--dry-run", "-v", status="0")
        self.assertEqual(0, result.status, result.stderr)
        lines = self.history()
        self.assertEqual(2, len(lines), lines)
        runs = [HISTORY_LINE.match(line) for line in lines]
        self.assertTrue(all(runs), lines)
        self.assertEqual(("vs-enabler", "5", copy), runs[0].group(3, 4, 5))
        self.assertEqual(("vmware-enabler", "0"), runs[1].group(3, 4))
        self.assertLessEqual(runs[0].group(1), runs[0].group(2))
        self.assertLessEqual(runs[0].group(2), runs[1].group(1))
        with open(os.path.join(self.logs, runs[1].group(5)), "rb") as f:
            self.assertTrue(f.read().startswith(b"arg:--dry-run\r\narg:-v\r\n"))
        self.assertEqual([], [n for n in os.listdir(self.logs)
                              if n.endswith(".running")])

    def test_pruning_keeps_the_newest_copies_of_that_enabler(self):
        self.install("vs-enabler")
        os.makedirs(self.logs)
        old = ["vs-enabler-20250101-020000.txt", "vs-enabler-20250102-020000.txt",
               "vs-enabler-20250103-020000.txt", "vs-enabler-20241231-235959.txt"]
        others = ["vmware-enabler-20200101-020000.txt", "notes.txt"]
        for name in old + others:
            with open(os.path.join(self.logs, name), "w") as f:
                f.write("old\n")
        self.assertEqual(0, self.wrapper("vs-enabler", keep=3).status)
        [new] = [n for n in self.copies() if n not in old + others]
        self.assertEqual(sorted([new, "vs-enabler-20250103-020000.txt",
                                 "vs-enabler-20250102-020000.txt"] + others),
                         sorted(n for n in os.listdir(self.logs)
                                if n != "history.txt"))

    def test_no_log_and_a_run_that_never_ended(self):
        self.install("vs-enabler")
        os.makedirs(self.logs)
        # An earlier run's log must not pass for this run's, and the marker
        # of a run stopped before its end is recorded as such.
        with open(os.path.join(self.bin, "en_out.txt"), "w") as f:
            f.write("stale\n")
        with open(os.path.join(self.logs, "vs-enabler.running"), "w") as f:
            f.write("2026-01-01T02:00:00\r\n")
        result = self.wrapper("vs-enabler", status="6", no_log="1")
        self.assertEqual(6, result.status, result.stderr)
        lines = self.history()
        self.assertEqual("start=2026-01-01T02:00:00 end=- enabler=vs-enabler "
                         "status=unfinished log=-", lines[0])
        self.assertEqual(2, len(lines), lines)
        self.assertEqual(("vs-enabler", "6", "-"),
                         HISTORY_LINE.match(lines[1]).group(3, 4, 5))
        self.assertEqual([], self.copies())
        self.assertFalse(os.path.exists(os.path.join(self.bin, "en_out.txt")))
        self.assertFalse(os.path.exists(os.path.join(self.logs,
                                                     "vs-enabler.running")))

    def test_refuses_an_unknown_or_absent_enabler(self):
        self.install("vs-enabler")
        for arguments, why in (([], b"usage"), (["cpuprobe"], b"usage"),
                               (["vmware-enabler"], b"vmware-enabler.exe")):
            with self.subTest(arguments=arguments):
                result = self.wrapper(*arguments)
                self.assertEqual(8, result.status)
                self.assertIn(why, result.stderr)
        self.assertFalse(os.path.exists(self.logs))


e2e.on_lanes(RunEnablerCases, globals(), lanes=(e2e.RELEASE, e2e.WIN64))
