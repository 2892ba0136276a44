"""End-to-end tests of vtdump: the documents below tests/fixtures/vtree read
from standard input, natively and by the win64 build under wine64."""

import os
import unittest

from e2e_support import (FIXTURES, TempDirCase, WinePrefix, native,
                         require_programs, require_wine, run, win64)

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


class NativeVtdumpTest(TempDirCase):

    def test_fixtures_give_their_accounts(self):
        for document, expected in CASES:
            with self.subTest(document=document):
                result = run([native("vtdump")], self.dir,
                             stdin=fixture(document))
                self.assertEqual(0, result.status)
                self.assertEqual(fixture(expected), result.stdout)
                self.assertEqual(b"", result.stderr)

    def test_fixtures_hold_the_bytes_they_test(self):
        # Guards against a checkout that turned the fixtures into text.
        self.assertIn(b"\r\n", fixture("cpuid_report_crlf.vt"))
        self.assertIn(b"\x00", fixture("binary_values.vt"))
        self.assertIn(b"\x1a", fixture("binary_values.vt"))
        self.assertIn(b"\x1a", fixture("binary_values.expected"))


class WineVtdumpTest(TempDirCase):

    @classmethod
    def setUpClass(cls):
        cls.prefix = WinePrefix("vtdump")

    def setUp(self):
        super().setUp()
        require_wine(self)
        require_programs(native("vtdump"), win64("vtdump"))
        self.prefix.ensure()

    def test_fixtures_give_the_same_accounts_as_natively(self):
        for document, expected in CASES:
            with self.subTest(document=document):
                data = fixture(document)
                result = run([win64("vtdump")], self.dir, stdin=data,
                             prefix=self.prefix)
                self.assertEqual(0, result.status)
                self.assertEqual(fixture(expected), result.stdout)
                mine = run([native("vtdump")], self.dir, stdin=data)
                self.assertEqual(mine.stdout, result.stdout)


if __name__ == "__main__":
    unittest.main()
