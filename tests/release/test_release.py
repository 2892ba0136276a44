"""The release package and the documents that travel with it.

    ENABLER_RELEASE_ZIP=ZIP [ENABLER_RELEASE_REBUILT_ZIP=ZIP2] \\
        python3 -m unittest -v test_release          (in tests/release)

- PackageTest: the zip holds the four 32-bit console programs with their
  version resources, the guide, README, licences, the scheduler's wrapper and
  task definition, and SHA256SUMS, in a fixed order with fixed dates; every
  text member has CR LF line ends, SHA256SUMS is right for every member and
  the SHA256SUMS beside the zip for the zip; the task definition is one that
  schtasks reads; a second package built from nothing has the same bytes.
  Without ENABLER_RELEASE_ZIP it looks for build/release's zip and skips when
  there is none (scripts/release makes it).
- GuideTest: the administrator's guide's exit-status tables give each program
  exactly its statuses, each with the words of its meaning; every ERROR and
  Warning line it names is one the programs write, and every one they write
  is named; its version table is what the programs carry.
- DocsTest: every file path that docs/architecture.md and README.md name
  exists.
"""

import glob
import hashlib
import os
import re
import struct
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests"))
import check_pe  # noqa: E402

GUIDE = os.path.join(SOURCE_DIR, "docs", "admin-guide.md")
EXIT_STATUS_H = os.path.join(SOURCE_DIR, "src", "enabler", "common",
                             "exit_status.h")

PROGRAMS = ("vs-enabler", "vmware-enabler", "cpuprobe", "vtdump")
# The members after the programs, in their order; all but the programs are
# text.
TEXT_MEMBERS = ("ADMIN-GUIDE.txt", "README.txt", "LICENSE.txt",
                "THIRD-PARTY-NOTICES.txt", "run-enabler.cmd",
                "kep-enabler-task.xml", "SHA256SUMS")
TASK_NS = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}

def project_version():
    """The release version: the project version of the top CMakeLists.txt."""
    with open(os.path.join(SOURCE_DIR, "CMakeLists.txt"),
              encoding="utf-8") as f:
        found = re.search(r"^project\(\w+ VERSION ([0-9.]+)", f.read(), re.M)
    return found.group(1)


RELEASE = project_version()
RELEASE_NUMBERS = tuple((list(map(int, RELEASE.split("."))) + [0] * 4)[:4])

# The version resource of each program: file version numbers and FileVersion
# text; ProductVersion is the release version in every one. The enablers'
# texts are the build texts of their version banners.
VERSIONS = {
    "vs-enabler": (RELEASE_NUMBERS, "kep_2.5, 20080619v2.5"),
    "vmware-enabler": (RELEASE_NUMBERS, "kepdev, 20070206dev"),
    "cpuprobe": (RELEASE_NUMBERS, RELEASE),
    "vtdump": (RELEASE_NUMBERS, RELEASE),
}

# Each program's exit statuses and the words its meaning must hold, as the
# frame's and the workers' tests establish them (tests/e2e/test_frame.py,
# test_vs_enabler.py, test_vmware_enabler.py and the workers' unit tests).
STATUS_WORDS = {
    "vs-enabler": {
        0: ["no failure"],
        1: ["command line", "0 processor packages"],
        3: ["cap", "could not be read"],
        5: ["parameter", "could not be set", "probe"],
        6: ["Virtual Server", "reached", "name", "version"],
        7: ["list of virtual machines", "count"],
    },
    "vmware-enabler": {
        0: ["retrieve.pl", "0"],
        2: ["node identity"],
        5: ["retrieve.pl", "5", "other status", "could not be started"],
        6: ["retrieve.pl", "6"],
        7: ["command line", "VMware", "VmPerl", "PATH", "retrieve.pl", "7"],
    },
}
STATUS_PREFIX = {"vs-enabler": "kVs", "vmware-enabler": "kVmw"}


def imported_functions(data):
    """DLL name -> names of the functions a 32-bit PE file imports by name."""
    pe = check_pe.PeFile(data)
    found = pe.directory(check_pe.DIR_IMPORT)
    functions = {}
    at = found[0] if found else None
    while at is not None:
        lookup, _, _, name, thunks = struct.unpack_from("<IIIII", data, at)
        if (lookup, name, thunks) == (0, 0, 0):
            break
        table = pe.offset(lookup or thunks)
        names = functions.setdefault(pe.c_string(pe.offset(name)).lower(), [])
        while True:
            entry = struct.unpack_from("<I", data, table)[0]
            if entry == 0:
                break
            if not entry & 0x80000000:
                names.append(pe.c_string(pe.offset(entry) + 2))
            table += 4
        at += 20
    return functions


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def tables_after(text, heading):
    """The rows (lists of cell texts) of the first Markdown table after the
    line `heading`."""
    lines = text.split("\n")
    at = lines.index(heading)
    rows = []
    for line in lines[at + 1:]:
        if line.startswith("#"):
            break
        if line.lstrip().startswith("|"):
            rows.append([c.strip() for c in line.strip().strip("|").split("|")])
        elif rows:
            break
    return [r for r in rows[1:] if not all(set(c) <= set("-: ") for c in r)]


def header_statuses():
    """Program -> set of statuses that exit_status.h defines for it."""
    text = read(EXIT_STATUS_H)
    found = {}
    for program, prefix in STATUS_PREFIX.items():
        found[program] = {int(value) for value in
                          re.findall(r"\b%s\w+ = (\d+)" % prefix, text)}
    return found


def string_literals(path):
    """The string literals of a C++ file, adjacent ones joined."""
    text = read(path)
    literals = []
    for run in re.finditer(r'"(?:[^"\\\n]|\\.)*"(?:\s*"(?:[^"\\\n]|\\.)*")*',
                           text):
        parts = re.findall(r'"((?:[^"\\\n]|\\.)*)"', run.group(0))
        literals.append("".join(parts).replace("\\n", "\n"))
    return literals


class GuideTest(unittest.TestCase):

    def setUp(self):
        self.guide = read(GUIDE)

    def status_table(self, program):
        rows = tables_after(self.guide, "### %s exit status" % program)
        self.assertTrue(rows, "no exit status table for %s" % program)
        return {int(row[0]): row[1] for row in rows}

    def test_exit_status_tables_match_the_programs(self):
        header = header_statuses()
        for program, words in STATUS_WORDS.items():
            with self.subTest(program=program):
                table = self.status_table(program)
                self.assertEqual(set(words), set(table))
                self.assertEqual(header[program], set(table),
                                 "exit_status.h and the guide differ")
                for status, meaning in table.items():
                    for word in words[status]:
                        self.assertIn(word.lower(), meaning.lower(),
                                      "%s status %d" % (program, status))

    def test_log_lines_are_the_programs_own(self):
        written = set()
        sources = [path for pattern in ("*.cpp", "*.h")
                   for path in glob.glob(os.path.join(
                       SOURCE_DIR, "src", "enabler", "**", pattern),
                       recursive=True)]
        for path in sources:
            if path.endswith(("_test.cpp", "_test.h")):
                continue
            for literal in string_literals(path):
                for line in literal.split("\n"):
                    if line.startswith(("ERROR:", "Warning!")):
                        # printf fields stand for any value.
                        written.add(re.sub(r"%[-0-9.]*[a-z]+", "<n>",
                                           line.strip()))
        named = set()
        for cell in re.findall(r"`([^`]*)`|^\| ((?:ERROR:|Warning!)[^|]*?) *\|",
                               self.guide, re.M):
            text = (cell[0] or cell[1]).strip()
            # "ERROR: ..." names the kind of line, not a line.
            if (text.startswith(("ERROR:", "Warning!")) and
                    text not in ("ERROR:", "Warning!") and
                    not text.endswith("...")):
                named.add(text)
        # Each of the three folders writes enough lines of its own that a
        # scan missing any one of them falls below this.
        self.assertGreater(len(written), 15)

        def pattern(text):
            return re.compile(re.sub(r"<[^>]*>", ".+",
                                     re.escape(text).replace(r"\<", "<")
                                     .replace(r"\>", ">")) + "$")

        for text in sorted(named):
            with self.subTest(named=text):
                self.assertTrue(any(pattern(text).match(w) for w in written),
                                "the guide names a line no program writes")
        patterns = [pattern(text) for text in named]
        for line in sorted(written):
            with self.subTest(written=line):
                self.assertTrue(any(p.match(line) for p in patterns),
                                "a line the programs write is not in the guide")

    def test_version_table_is_what_the_programs_carry(self):
        rows = tables_after(self.guide, "Their version resources (Properties, "
                                        "Details in Explorer):")
        table = {row[0]: (row[1], row[2], row[3]) for row in rows}
        expected = {"%s.exe" % name: (".".join(map(str, numbers)), text,
                                      RELEASE)
                    for name, (numbers, text) in VERSIONS.items()}
        self.assertEqual(expected, table)
        # The build files set the same: the release numbers by default, the
        # text where it is not the release version.
        cmake = "".join(read(p) for folder in ("src", "tools")
                        for p in glob.glob(os.path.join(
                            SOURCE_DIR, folder, "**", "CMakeLists.txt"),
                            recursive=True))
        for name, (numbers, text) in VERSIONS.items():
            call = re.search(r"enabler_add_program\(%s\b(.*?)\)" % name, cmake,
                             re.S)
            self.assertIsNotNone(call, name)
            self.assertNotIn("VERSION_NUMBERS", call.group(1))
            if text != RELEASE:
                self.assertIn('VERSION_TEXT "%s"' % text, call.group(1))
            else:
                self.assertNotIn("VERSION_TEXT", call.group(1))


class DocsTest(unittest.TestCase):
    """Every file a document names exists: paths with a slash from the
    repository's top (or, for links, from the document's folder), bare file
    names somewhere in the repository."""

    DOCUMENTS = ("docs/architecture.md", "README.md")
    FILE_NAME = re.compile(r"^[\w.-]+\.(?:h|cpp|py|md|cmake|json|txt|sh|pl)$")
    # Files the documents name that the runs and the release make.
    MADE = ("en_out.txt", "ADMIN-GUIDE.txt", "LICENSE.txt")

    def test_named_files_exist(self):
        names = set()
        for folder, dirs, files in os.walk(SOURCE_DIR):
            dirs[:] = [d for d in dirs if d not in ("build", ".git")]
            names.update(files)
        for document in self.DOCUMENTS:
            text = read(os.path.join(SOURCE_DIR, document))
            base = os.path.dirname(os.path.join(SOURCE_DIR, document))
            for link in re.findall(r"\]\(([^)#\s]+)\)", text):
                if "://" in link:
                    continue
                with self.subTest(document=document, link=link):
                    self.assertTrue(os.path.exists(os.path.join(base, link)))
            for token in re.findall(r"`([^`\s]+)`", text):
                token = token.rstrip(".,:;")
                if any(c in token for c in "*<>=%$") or token.startswith(
                        ("/", "-", "build/")):
                    continue  # patterns, the machine's paths, outputs
                if "/" in token:
                    with self.subTest(document=document, path=token):
                        self.assertTrue(os.path.exists(
                            os.path.join(SOURCE_DIR, token)))
                elif self.FILE_NAME.match(token) and token not in self.MADE:
                    with self.subTest(document=document, name=token):
                        self.assertTrue(token in names, token)


def release_zip(variable):
    path = os.environ.get(variable)
    if path:
        return path
    if variable != "ENABLER_RELEASE_ZIP":
        return None
    found = sorted(glob.glob(os.path.join(SOURCE_DIR, "build", "release",
                                          "kep-enablers-*-win32.zip")))
    return found[-1] if found else None


class PackageTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.zip_path = release_zip("ENABLER_RELEASE_ZIP")

    def setUp(self):
        if not self.zip_path:
            self.skipTest("no package: scripts/release makes it")
        self.assertTrue(os.path.isfile(self.zip_path), self.zip_path)
        self.archive = zipfile.ZipFile(self.zip_path)
        self.addCleanup(self.archive.close)
        self.folder = os.path.basename(self.zip_path)[:-len(".zip")]

    def member(self, name):
        return self.archive.read("%s/%s" % (self.folder, name))

    def test_members_in_fixed_order_with_fixed_dates(self):
        self.assertRegex(self.folder, r"^kep-enablers-\d+(\.\d+)+-win32$")
        expected = ["%s/%s.exe" % (self.folder, p) for p in PROGRAMS]
        expected += ["%s/%s" % (self.folder, name) for name in TEXT_MEMBERS]
        self.assertEqual(expected, self.archive.namelist())
        self.assertEqual(b"", self.archive.comment)
        for info in self.archive.infolist():
            with self.subTest(member=info.filename):
                self.assertEqual((1980, 1, 1, 0, 0, 0), info.date_time)
                self.assertEqual(b"", info.extra)
                self.assertEqual(3, info.create_system)
                self.assertEqual(0o100644 << 16, info.external_attr)
                self.assertEqual(zipfile.ZIP_DEFLATED, info.compress_type)
        self.assertIsNone(self.archive.testzip())

    def test_programs_are_32_bit_console_programs_with_versions(self):
        with tempfile.TemporaryDirectory() as folder:
            for name in PROGRAMS:
                with self.subTest(program=name):
                    path = os.path.join(folder, name + ".exe")
                    data = self.member(name + ".exe")
                    with open(path, "wb") as f:
                        f.write(data)
                    # i386, console, no runtime DLLs, no time stamps,
                    # OriginalFilename.
                    self.assertEqual([], check_pe.check(path, "i386"))
                    blob = check_pe.PeFile(data).version_info()
                    strings = check_pe.version_strings(blob)
                    numbers, text = VERSIONS[name]
                    self.assertEqual(text, strings.get("FileVersion"))
                    self.assertEqual(RELEASE, strings.get("ProductVersion"))
                    self.assertEqual("KEP Enabler", strings.get("ProductName"))
                    _, fixed, _, _ = check_pe.parse_version_block(blob, 0)
                    ms, ls = struct.unpack_from("<II", fixed, 8)
                    self.assertEqual(numbers, (ms >> 16, ms & 0xFFFF,
                                               ls >> 16, ls & 0xFFFF))

    def test_programs_load_on_windows_xp_and_server_2003(self):
        # The hosts of Virtual Server and VMware Server run Windows Server
        # 2003 and XP as well as later versions: no program may import a
        # kernel32 function that came with Vista or Windows 7 (the posix
        # threading runtime's GetTickCount64, the condition variables and
        # slim locks, the K32 functions such as K32GetModuleFileNameExA), nor
        # GetLogicalProcessorInformation, which XP gained with SP3 and Server
        # 2003 with SP1: the package count looks both forms up at run time.
        # The release build compiles against XP's headers, which stops a
        # direct call of a Vista-or-later function in our sources; this
        # catches what the headers do not (the runtime's and the libraries'
        # own imports, and functions that XP gained only with a service pack),
        # and the attribute lists that limit what a child inherits.
        newer = re.compile(r"^(K32|GetTickCount64$|InitializeConditionVariable"
                           r"|SleepConditionVariable|WakeConditionVariable"
                           r"|WakeAllConditionVariable|InitializeSRWLock"
                           r"|AcquireSRWLock|ReleaseSRWLock|TryAcquireSRWLock"
                           r"|InitOnce|GetLogicalProcessorInformation(Ex)?$"
                           r"|CreateSymbolicLink|GetFinalPathNameByHandle"
                           r"|GetErrorMode$|GetThreadId$|GetProcessId$"
                           r"|QueryFullProcessImageName"
                           r"|InitializeProcThreadAttributeList"
                           r"|UpdateProcThreadAttribute"
                           r"|DeleteProcThreadAttributeList)")
        for name in PROGRAMS:
            with self.subTest(program=name):
                functions = imported_functions(self.member(name + ".exe"))
                self.assertIn("kernel32.dll", functions)
                self.assertEqual([], [f for f in functions["kernel32.dll"]
                                      if newer.match(f)])
        for name in ("vs-enabler", "vmware-enabler"):
            functions = imported_functions(self.member(name + ".exe"))
            self.assertIn("GetModuleFileNameExA", functions.get("psapi.dll", []))

    def test_guide_is_the_admin_guide_with_crlf(self):
        guide = self.member("ADMIN-GUIDE.txt")
        self.assertEqual(guide.count(b"\n"), guide.count(b"\r\n"))
        with open(GUIDE, "rb") as f:
            source = f.read()
        self.assertEqual(source.replace(b"\r\n", b"\n"),
                         guide.replace(b"\r\n", b"\n"))

    def text_member(self, name):
        """A text member as text: the task definition from UTF-16, the
        others from ASCII."""
        data = self.member(name)
        if name.endswith(".xml"):
            self.assertTrue(data.startswith(b"\xff\xfe"), "no UTF-16 mark")
            return data[2:].decode("utf-16-le")
        return data.decode("ascii")

    def test_text_members_have_crlf_line_ends(self):
        for name in TEXT_MEMBERS:
            with self.subTest(member=name):
                text = self.text_member(name)
                self.assertTrue(text.endswith("\r\n"))
                self.assertEqual(text.count("\n"), text.count("\r\n"),
                                 "a line ends without CR")
                self.assertEqual(text.count("\r"), text.count("\r\n"),
                                 "a CR without LF")

    def test_sha256sums_lists_every_member_with_its_sum(self):
        listed = {}
        for line in self.member("SHA256SUMS").decode("ascii").splitlines():
            found = re.fullmatch(r"([0-9a-f]{64})  (\S+)", line)
            self.assertIsNotNone(found, "not as sha256sum prints: %r" % line)
            listed[found.group(2)] = found.group(1)
        names = ["%s.exe" % p for p in PROGRAMS] + list(TEXT_MEMBERS[:-1])
        self.assertEqual(sorted(names), sorted(listed))
        for name in names:
            with self.subTest(member=name):
                self.assertEqual(hashlib.sha256(self.member(name)).hexdigest(),
                                 listed[name])
        # The zip's own line beside it.
        beside = os.path.join(os.path.dirname(self.zip_path), "SHA256SUMS")
        with open(beside, "rb") as f:
            line = f.read()
        with open(self.zip_path, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        self.assertEqual(("%s  %s\r\n" % (digest, os.path.basename(
            self.zip_path))).encode(), line)

    def test_task_definition_runs_the_wrapper_nightly_within_a_limit(self):
        text = self.text_member("kep-enabler-task.xml")
        self.assertTrue(text.startswith(
            '<?xml version="1.0" encoding="UTF-16"?>\r\n'))
        # ElementTree takes the text without its declaration of UTF-16.
        task = ElementTree.fromstring(text.split("\n", 1)[1])
        self.assertEqual("{%s}Task" % TASK_NS["t"], task.tag)
        self.assertIn(task.get("version"), ("1.1", "1.2"))

        def value(path):
            found = task.findall(path, TASK_NS)
            self.assertEqual(1, len(found), path)
            return found[0].text

        self.assertTrue(value("t:Actions/t:Exec/t:Command").endswith(
            "\\run-enabler.cmd"))
        self.assertIn(value("t:Actions/t:Exec/t:Arguments"),
                      ("vs-enabler", "vmware-enabler"))
        self.assertRegex(value("t:Settings/t:ExecutionTimeLimit"),
                         r"^PT([1-9]\d*H)?([1-9]\d*M)?$")
        self.assertNotEqual("PT", value("t:Settings/t:ExecutionTimeLimit"))
        self.assertEqual("1", value(
            "t:Triggers/t:CalendarTrigger/t:ScheduleByDay/t:DaysInterval"))
        self.assertEqual("HighestAvailable",
                         value("t:Principals/t:Principal/t:RunLevel"))
        # LocalSystem runs whether anyone is logged on or not; it takes no
        # LogonType (the schema has none for it).
        self.assertEqual("S-1-5-18", value("t:Principals/t:Principal/t:UserId"))
        self.assertEqual([], task.findall("t:Principals/t:Principal/t:LogonType",
                                          TASK_NS))
        # What the administrator changes is marked beside it.
        for element in ("StartBoundary", "UserId", "ExecutionTimeLimit",
                        "Command", "Arguments"):
            before = text[:text.index("<%s>" % element)]
            self.assertIn("CHANGE", before[before.rindex("<!--"):], element)

    def test_readme_and_licence(self):
        readme = self.text_member("README.txt")
        self.assertTrue(readme.startswith("KEP enablers, release %s\r\n" %
                                          RELEASE))
        for name in ["%s.exe" % p for p in PROGRAMS] + list(TEXT_MEMBERS):
            if name != "README.txt":
                self.assertIn(name, readme)
        with open(os.path.join(SOURCE_DIR, "LICENSE"), "rb") as f:
            licence = f.read()
        self.assertNotIn(b"\r", licence)
        self.assertIn(b"Copyright (c) 2026 The kep-enablers authors\n", licence)
        self.assertEqual(licence.replace(b"\n", b"\r\n"),
                         self.member("LICENSE.txt"))

    def test_a_second_build_gives_the_same_bytes(self):
        again = release_zip("ENABLER_RELEASE_REBUILT_ZIP")
        if not again:
            self.skipTest("no second package to compare "
                          "(ENABLER_RELEASE_REBUILT_ZIP)")
        with open(self.zip_path, "rb") as f:
            first = f.read()
        with open(again, "rb") as f:
            second = f.read()
        if first != second:
            with zipfile.ZipFile(again) as other:
                differing = [info.filename for info in self.archive.infolist()
                             if other.read(info.filename) !=
                             self.archive.read(info.filename)]
            self.fail("the two packages differ; members: %s" % differing)


if __name__ == "__main__":
    unittest.main()
