"""End-to-end tests of vtdump: the documents below tests/fixtures/vtree read
from standard input, natively and by each Windows lane under Wine; the
options of a person at the console (a file, --record, help, version, and a
console without a file)."""

import errno
import os
import pty
import resource
import subprocess
import unittest

import e2e_support as e2e
from e2e_support import (FIXTURES, TempDirCase, native, require_programs, run,
                         wine_path)

# Each document and the account of it that vtdump must print. The CR LF form
# of a report reads as its LF form.
CASES = [
    ("cpuid_report.vt", "cpuid_report.expected"),
    ("cpuid_report_crlf.vt", "cpuid_report.expected"),
    ("every_kind.vt", "every_kind.expected"),
    ("binary_values.vt", "binary_values.expected"),
    ("binary_bytes.vt", "binary_bytes.expected"),
    ("rejected_status.vt", "rejected_status.expected"),
    ("empty.vt", "empty.expected"),
    ("deepest.vt", "deepest.expected"),
    ("too_deep.vt", "too_deep.expected"),
    ("long_line.vt", "long_line.expected"),
    ("short_payload.vt", "short_payload.expected"),
    ("unclosed.vt", "unclosed.expected"),
]


def fixture(name):
    with open(os.path.join(FIXTURES, "vtree", name), "rb") as f:
        return f.read()


# The records each enabler builds from cpuid_report.vt, which holds every
# value both look up.
REPORT_RECORDS = (b"record vs-enabler 2:GenuineIntel:6:0:8:2:2400:64\n"
                  b"record vmware-enabler 2:GenuineIntel:6:0:4:2:2400:64\n")


class OptionCases:
    """The options, each once; a subclass says how vtdump runs and where the
    fixtures lie for it."""

    def test_options(self):
        report = self.fixture_path("cpuid_report.vt")
        missing = self.fixture_path("no-such.vt")
        account = fixture("cpuid_report.expected")
        cases = [
            # A file reads as standard input does; --record adds the records.
            ([report], 0, account, None),
            (["--record", report], 0, account + REPORT_RECORDS, None),
            # An unreadable file: one line on standard error naming it.
            ([missing], 2, b"", b"no-such.vt"),
            (["-x"], 2, b"", b"usage"),
            (["--help"], 0, b"--record", None),
            (["/?"], 0, b"--record", None),
            (["--version"], 0, b"vtdump release ", None),
        ]
        for args, status, out, err in cases:
            with self.subTest(args=args):
                result = self.vtdump(args, stdin=b"")
                self.assertEqual(status, result.status)
                if status == 0 and args[0].startswith(("-", "/")) and \
                        args[0] != "--record":
                    self.assertIn(out, result.stdout)
                else:
                    self.assertEqual(out, result.stdout)
                if err is None:
                    self.assertEqual(b"", result.stderr)
                else:
                    self.assertIn(err, result.stderr)
                    self.assertEqual(1, result.stderr.count(b"\n"))

    def test_console_without_file_gets_a_hint_instead_of_a_wait(self):
        main, console = pty.openpty()
        try:
            result = self.vtdump([], stdin=console, timeout=60)
        finally:
            os.close(console)
            os.close(main)
        self.assertEqual((2, b""), (result.status, result.stdout))
        self.assertIn(b"vtdump FILE", result.stderr)


class NativeVtdumpTest(OptionCases, TempDirCase):

    def vtdump(self, args, stdin, timeout=120):
        return run([native("vtdump")] + args, self.dir, stdin=stdin,
                   timeout=timeout)

    def fixture_path(self, name):
        return os.path.join(FIXTURES, "vtree", name)

    def test_fixtures_give_their_accounts(self):
        for document, expected in CASES:
            with self.subTest(document=document):
                result = run([native("vtdump")], self.dir,
                             stdin=fixture(document))
                self.assertEqual(0, result.status)
                self.assertEqual(fixture(expected), result.stdout)
                self.assertEqual(b"", result.stderr)

    def test_unreadable_standard_input_fails_with_its_reason(self):
        # A read that fails is no empty report (that is "status -1" and 0):
        # status 2 and the system's reason.
        directory = os.open(self.dir, os.O_RDONLY)
        self.addCleanup(os.close, directory)
        for why, stdin, extra, code in (
                ("directory", directory, {}, errno.EISDIR),
                ("closed", None, {"preexec_fn": lambda: os.close(0)},
                 errno.EBADF)):
            with self.subTest(why):
                result = subprocess.run(
                    [native("vtdump")], cwd=self.dir, stdin=stdin,
                    stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                    timeout=120, **extra)
                self.assertEqual((2, b""), (result.returncode, result.stdout))
                self.assertRegex(result.stderr, b"^vtdump: [^\n]*%s[^\n]*\n$"
                                 % os.strerror(code).encode())

    def test_memory_limit_gives_the_whole_account_or_a_reason(self):
        # Under a limit on its address space vtdump holds the document only:
        # a report it cannot hold fails at once with the reason (a group of
        # 1.5 million values, whose name index cannot grow), one it can is
        # accounted for whole, never in part.
        with open(native("vtdump"), "rb") as program:
            if b"__asan_init" in program.read():
                self.skipTest("a sanitizer's shadow memory needs no limit")
        wide = self.path("wide.vt")
        with open(wide, "w") as f:
            f.write("1.0 0 wide\n(g\n")
            f.writelines("v%d:i=%d\n" % (i, i) for i in range(1500000))
            f.write(")\n")
        groups = self.path("groups.vt")
        with open(groups, "w") as f:
            f.write("1.0 0 big\n")
            f.writelines("(Processor\nFamily:i=6\nModel:i=%d\n"
                         "Name:s=GenuineIntel\n)\n" % i
                         for i in range(300000))
        for report, mib, status in ((wide, 64, 2), (groups, 112, 0)):
            with self.subTest(report=os.path.basename(report)):
                limit = mib << 20
                result = subprocess.run(
                    [native("vtdump"), report], cwd=self.dir,
                    stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                    timeout=60, preexec_fn=lambda: resource.setrlimit(
                        resource.RLIMIT_AS, (limit, limit)))
                self.assertEqual(status, result.returncode)
                if status == 2:
                    self.assertEqual(b"", result.stdout)
                    self.assertEqual(
                        b"vtdump: read the document: %s (error %d)\n"
                        % (os.strerror(errno.ENOMEM).encode(), errno.ENOMEM),
                        result.stderr)
                    continue
                self.assertEqual(b"", result.stderr)
                lines = result.stdout.split(b"\n")
                self.assertEqual([b"status 0 1 0", b"text big", b"root yes"],
                                 lines[:3])
                self.assertEqual(3 + 4 * 300000 + 1, len(lines))
                self.assertEqual(b"value 1 Model i 299999", lines[-3])

    def test_fixtures_hold_the_bytes_they_test(self):
        # Guards against a checkout that turned the fixtures into text.
        self.assertIn(b"\r\n", fixture("cpuid_report_crlf.vt"))
        self.assertIn(b"\x00", fixture("binary_values.vt"))
        self.assertIn(b"\x1a", fixture("binary_values.vt"))
        self.assertIn(b"\x1a", fixture("binary_values.expected"))


class VtdumpTest(OptionCases, e2e.WindowsCase):
    programs = ("vtdump",)

    def vtdump(self, args, stdin, timeout=120):
        return run([self.exe("vtdump")] + args, self.dir, stdin=stdin,
                   prefix=self.prefix, timeout=timeout)

    def fixture_path(self, name):
        return wine_path(os.path.join(FIXTURES, "vtree", name))

    def setUp(self):
        super().setUp()
        require_programs(native("vtdump"))

    @e2e.every_lane
    def test_fixtures_give_the_same_accounts_as_natively(self):
        for document, expected in CASES:
            with self.subTest(document=document):
                data = fixture(document)
                result = run([self.exe("vtdump")], self.dir, stdin=data,
                             prefix=self.prefix)
                self.assertEqual(0, result.status)
                self.assertEqual(fixture(expected), result.stdout)
                mine = run([native("vtdump")], self.dir, stdin=data)
                self.assertEqual(mine.stdout, result.stdout)


e2e.on_lanes(VtdumpTest, globals())


if __name__ == "__main__":
    unittest.main()
