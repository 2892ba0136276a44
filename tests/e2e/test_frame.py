"""The enabler frame seen from outside: command line, version banner, log file
and exit status of both enablers' frames, run through frame_host (natively and
the Windows builds under Wine)."""

import os
import subprocess
import sys
import unittest

import e2e_support as e2e

VS_BANNER = ("KEP Enabler (08/06/19 17:11:59 "
             "src/enabler/MSVirtualServer/EnablerVirtualServer, enabler, "
             "kep_2.5, 20080619v2.5)\n")
VMWARE_BANNER = ("KEP Enabler (07/02/06 14:15:53 "
                 "src/enabler/VMWare/w32/enablerh, enabler, kepdev, "
                 "20070206dev)\n")

# What frame_host's worker writes to the log: one debug line, one direct line.
WORKER_LINES = "DBG: worker status %d\nOK: worker done\n"

VS_USAGE_STATUS = 1
VMWARE_USAGE_STATUS = 7


class FrameCases:
    """The cases; a subclass says how frame_host is run and how a line ends."""

    eol = b"\n"

    def host(self, args, program, status, cwd=None):
        env = {"FRAME_HOST_PROGRAM": program, "FRAME_HOST_STATUS": str(status)}
        return e2e.run([self.program_path()] + list(args), cwd or self.dir,
                       env=env, prefix=self.prefix)

    def text(self, s):
        """Bytes of `s` as the program writes it through a text-mode stream."""
        return s.encode("ascii").replace(b"\n", self.eol)

    def log_path(self):
        return self.path("en_out.txt")

    def assertRefused(self, stderr):
        """The usage line callers know, then the line that says why."""
        usage = self.text("Usage: %s [ -v ]\n" % self.argv0())
        self.assertEqual(usage, stderr[:len(usage)])
        self.assertRegex(stderr[len(usage):],
                         rb"^[\w-]+: '[^']*' (not understood|given "
                         rb"twice) \(options: -v -version --dry-run --help "
                         rb"--version\)\r?\n$")

    def test_no_arguments_runs_the_job_silently(self):
        for program, status in (("vs", 6), ("vmware", 2)):
            with self.subTest(program=program):
                r = self.host([], program, status)
                self.assertEqual(status, r.status)
                self.assertEqual(b"", r.stdout)
                self.assertEqual(b"", r.stderr)
                self.assertFalse(os.path.exists(self.log_path()))

    def test_version_alone_writes_the_banner_and_goes_on(self):
        for program, banner, status in (("vs", VS_BANNER, 5),
                                        ("vmware", VMWARE_BANNER, 6)):
            with self.subTest(program=program):
                r = self.host(["-version"], program, status)
                self.assertEqual(status, r.status)
                self.assertEqual(b"", r.stdout)
                self.assertEqual(self.text(banner), r.stderr)
                self.assertFalse(os.path.exists(self.log_path()))

    @e2e.every_lane
    def test_vs_log_frames_the_worker_with_its_status(self):
        cases = [
            (["-v"], 0, "", "Log file opened\n" + WORKER_LINES % 0 +
             "\nOK: Return code 0\n\nClosing log file\n"),
            (["-v", "-version"], 5, VS_BANNER, "Log file opened\n" +
             WORKER_LINES % 5 + "\nERROR: Return code 5\n\nClosing log file\n"),
            (["-version", "-v"], 7, VS_BANNER, "Log file opened\n" +
             WORKER_LINES % 7 + "\nERROR: Return code 7\n\nClosing log file\n"),
        ]
        for args, status, banner, log in cases:
            with self.subTest(args=args, status=status):
                # An earlier log is replaced, not appended to.
                with open(self.log_path(), "wb") as f:
                    f.write(b"left over from an earlier run\n" * 50)
                r = self.host(args, "vs", status)
                self.assertEqual(status, r.status)
                self.assertEqual(b"", r.stdout)
                self.assertEqual(self.text(banner), r.stderr)
                self.assertEqual(self.text(log), self.read("en_out.txt"))

    def test_vmware_log_holds_only_the_worker_lines(self):
        for args, status, banner in ((["-v"], 0, ""),
                                     (["-version", "-v"], 5, VMWARE_BANNER),
                                     (["-v", "-version"], 6, VMWARE_BANNER)):
            with self.subTest(args=args):
                with open(self.log_path(), "wb") as f:
                    f.write(b"left over from an earlier run\n" * 50)
                r = self.host(args, "vmware", status)
                self.assertEqual(status, r.status)
                self.assertEqual(b"", r.stdout)
                self.assertEqual(self.text(banner), r.stderr)
                self.assertEqual(self.text(WORKER_LINES % status),
                                 self.read("en_out.txt"))

    @e2e.every_lane
    def test_uncreatable_log_leaves_status_and_output_unchanged(self):
        # A directory in the log file's place cannot be opened for writing,
        # even by root.
        os.mkdir(self.log_path())
        for program, status in (("vs", 3), ("vs", 0), ("vmware", 2)):
            with self.subTest(program=program, status=status):
                r = self.host(["-v"], program, status)
                self.assertEqual(status, r.status)
                self.assertEqual(b"", r.stdout)
                # Only standard error says why: one line.
                self.assertRegex(r.stderr, rb"^[\w-]+: no log: "
                                 rb"[^\n]*en_out\.txt[^\n]*\n$")
                self.assertTrue(os.path.isdir(self.log_path()))
                self.assertEqual([], os.listdir(self.log_path()))

    def test_rejected_command_lines_give_usage_and_no_log(self):
        rejected = [["-v", "-v"], ["-x"], ["-V"], ["-VERSION"], ["-v", "-x"],
                    ["-v", "-version", "-v"], ["a", "b", "c"]]
        for program, status in (("vs", VS_USAGE_STATUS),
                                ("vmware", VMWARE_USAGE_STATUS)):
            for args in rejected:
                with self.subTest(program=program, args=args):
                    r = self.host(args, program, 0)
                    self.assertEqual(status, r.status)
                    self.assertEqual(b"", r.stdout)
                    self.assertRefused(r.stderr)
                    self.assertFalse(os.path.exists(self.log_path()))

    # The administrator's options, each once for both frames: help and version
    # answer on standard output with 0, without the job or a log; the dry run
    # runs in the worker's place inside the usual frame; a refused dry-run
    # line gets the usual usage line.
    ADMIN_CASES = [["--help"], ["-h"], ["-?"], ["/?"], ["--version"],
                   ["--dry-run", "-v"], ["-version", "--dry-run"],
                   ["--dry-run", "-x"]]

    def test_administrators_options(self):
        version = e2e.release_version()
        for program, banner, usage_status in (
                ("vs", VS_BANNER, VS_USAGE_STATUS),
                ("vmware", VMWARE_BANNER, VMWARE_USAGE_STATUS)):
            for args in self.ADMIN_CASES:
                with self.subTest(program=program, args=args):
                    if os.path.exists(self.log_path()):
                        os.remove(self.log_path())
                    r = self.host(args, program, 3)
                    log = os.path.exists(self.log_path())
                    if args[0] in ("--help", "-h", "-?", "/?"):
                        self.assertEqual((0, b"", False),
                                         (r.status, r.stderr, log))
                        self.assertIn(self.text("en_out.txt"), r.stdout)
                    elif args == ["--version"]:
                        self.assertEqual((0, b"", False),
                                         (r.status, r.stderr, log))
                        self.assertEqual(self.text(
                            banner + "frame_host release %s\n" % version),
                            r.stdout)
                    elif "-x" in args:
                        self.assertEqual(usage_status, r.status)
                        self.assertRefused(r.stderr)
                        self.assertFalse(log)
                    else:
                        self.assertEqual((3, b""), (r.status, r.stdout))
                        self.assertEqual(self.text(banner if "-version" in args
                                                   else ""), r.stderr)
                        self.assertEqual("-v" in args, log)
                        if log and program == "vs":
                            self.assertEqual(self.text(
                                "Log file opened\nDBG: dry run status 3\n"
                                "\nERROR: Return code 3\n\nClosing log file\n"),
                                self.read("en_out.txt"))
                        elif log:
                            self.assertEqual(self.text(
                                "DBG: dry run status 3\n"),
                                self.read("en_out.txt"))


class NativeFrameTest(FrameCases, e2e.TempDirCase):
    prefix = None

    def program_path(self):
        return e2e.native("frame_host")

    def argv0(self):
        return self.program_path()


class FrameTest(FrameCases, e2e.WindowsCase):
    eol = b"\r\n"
    programs = ("frame_host",)

    def program_path(self):
        return self.exe("frame_host")

    def argv0(self):
        return e2e.wine_path(self.program_path())

    # Under Wine every start costs; the rejected lines are the longest table,
    # so a few representative ones stand for it there.
    def test_rejected_command_lines_give_usage_and_no_log(self):
        for program, status, args in (("vs", VS_USAGE_STATUS, ["-v", "-v"]),
                                      ("vs", VS_USAGE_STATUS, ["a", "b", "c"]),
                                      ("vmware", VMWARE_USAGE_STATUS, ["-V"]),
                                      ("vmware", VMWARE_USAGE_STATUS,
                                       ["-version", "-x"])):
            with self.subTest(program=program, args=args):
                r = self.host(args, program, 0)
                self.assertEqual(status, r.status)
                self.assertEqual(b"", r.stdout)
                self.assertRefused(r.stderr)
                self.assertFalse(os.path.exists(self.log_path()))


# frame_host is no program of the release: its lane would repeat win32's.
e2e.on_lanes(FrameTest, globals(), (e2e.WIN32, e2e.WIN64))


class PeCheckTest(unittest.TestCase):
    """tests/check_pe.py tells the built programs apart from what it rejects."""

    CHECKER = os.path.join(e2e.SOURCE_DIR, "tests", "check_pe.py")

    def check(self, machine, *files):
        proc = subprocess.run([sys.executable, self.CHECKER, "--machine",
                               machine] + list(files),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return proc.returncode, proc.stdout.decode()

    def test_win64_frame_host_passes_as_x86_64_only(self):
        exe = e2e.win64("frame_host")
        e2e.require_win64_build(self)
        e2e.require_programs(exe)
        status, out = self.check("x86-64", exe)
        self.assertEqual(0, status, out)
        status, out = self.check("i386", exe)
        self.assertEqual(1, status)
        self.assertIn("machine 0x8664", out)

    def test_native_program_is_not_a_pe_file(self):
        status, out = self.check("x86-64", e2e.native("frame_host"))
        self.assertEqual(1, status)
        self.assertIn("not a readable PE file", out)


if __name__ == "__main__":
    unittest.main()
