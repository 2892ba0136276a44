"""vmware-enabler seen from outside: the registry, the node identity, the
cpuid report and the processor count go in; the log, the arguments, PATH and
PHYSICAL_PROCESSOR that retrieve.pl receives, and the exit status come out.

Natively the registry is an export file (KEP_REGISTRY_FILE), the identity a
DMI directory (KEP_DMI_ROOT), the interpreter a `perl` that runs the machine's
Perl and the script the recording retrieve.pl of the fixtures. Under Wine
the registry is the prefix's own, filled with regedit, the identity comes from
Wine's WMI and the interpreter is the recording perl.exe stand-in; the
Windows cases run on each Windows lane (e2e_support)."""

import os
import re
import shutil
import stat
import unittest

import e2e_support as e2e

RETRIEVE_PL = os.path.join(e2e.FIXTURES, "vmperl", "retrieve.pl")
SYSTEM_PERL = "/usr/bin/perl"

LIB = "perl5/site_perl/5.005"
ARCH_LIB = "perl5/site_perl/5.005/MSWin32-x86"

NOT_INSTALLED = "ERROR: VMWare not installed\n"
SERVER_UNKNOWN = "ERROR: VMware server version not recognized\n"
NO_VMPERL = "ERROR: VmPerl Scripting API not installed\n"
NO_SHORT_PATH = "ERROR: Could not retrieve VMPerl library installation path\n"
NO_PATH = "ERROR: Could not set VMPerl path in PATH environment variable\n"
NO_IDENTITY = "ERROR: Could not retrieve node ID (there is a problem with WMI)\n"

# The report of the fake cpuid program of the native cases, and the lines
# and record the enabler makes of it.
CPUID_REPORT = """1.0 0 fake processors
(cpuid
ActivePackageCount:i=2
(Processor
Manufacturer:s=GenuineIntel
Family:s=6
Type:s=0
ActiveCoreCount:i=4
ActiveProcCount:i=8
CpuClockMHz:i=2400
(Features
IEM64T:i=1
LM:i=1
)
(CPUID
CorePerPackageCount:i=4
HtPerCoreCount:i=2
)
)
)
"""
RECORD = "2:GenuineIntel:6:0:4:2:2400:64"
CPUID_LINES = ("DBG: cpuid numPackages         = 2\n"
               "DBG: cpuid corePerPackageCount = 4\n"
               "DBG: cpuid logicalProcPerCore  = 2\n"
               "DBG: cpuid manufacturer = 'GenuineIntel'\n"
               "DBG: cpuid family       = '6'\n"
               "DBG: cpuid type         = '0'\n"
               "DBG: cpuid bits         = 64\n"
               "DBG: PHYSICAL_PROCESSOR = '%s'\n" % RECORD)


def quote(arg):
    """An argument in double quotes as the enabler writes it for the C
    runtime: a quote inside becomes \\", backslashes before a quote double."""
    out, backslashes = '"', 0
    for c in arg:
        if c == "\\":
            backslashes += 1
            continue
        out += "\\" * (backslashes * 2 + 1 if c == '"' else backslashes) + c
        backslashes = 0
    return out + "\\" * (backslashes * 2) + '"'


def path_arg(path):
    return quote(path) if (" " in path or "\t" in path or '"' in path
                           or not path) else path


def parse_like_crt(line):
    """The Microsoft C runtime's argv for a command line."""
    argv, i = [], 0
    if line.startswith('"'):
        close = line.find('"', 1)
        close = len(line) if close < 0 else close
        argv.append(line[1:close])
        i = close + 1
    else:
        while i < len(line) and line[i] not in " \t":
            i += 1
        argv.append(line[:i])
    while True:
        while i < len(line) and line[i] in " \t":
            i += 1
        if i >= len(line):
            return argv
        arg, quoted = "", False
        while i < len(line) and (quoted or line[i] not in " \t"):
            c = line[i]
            if c == "\\":
                n = 0
                while i < len(line) and line[i] == "\\":
                    n, i = n + 1, i + 1
                if i < len(line) and line[i] == '"':
                    arg += "\\" * (n // 2)
                    if n % 2:
                        arg, i = arg + '"', i + 1
                else:
                    arg += "\\" * n
            elif c == '"':
                if quoted and line[i + 1:i + 2] == '"':
                    arg, i = arg + '"', i + 2
                else:
                    quoted, i = not quoted, i + 1
            else:
                arg, i = arg + c, i + 1
        argv.append(arg)


def reg_text(text):
    """A string of a registry export file, escaped."""
    return text.replace("\\", "\\\\").replace('"', '\\"')


def registry_file(keys):
    """An export file with one InstallPath per key below HKLM."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, path in keys:
        lines += ["[HKEY_LOCAL_MACHINE\\%s]" % key,
                  '"InstallPath"="%s"' % reg_text(path), ""]
    return "\r\n".join(lines) + "\r\n"


SERVER_KEY = "SOFTWARE\\VMware, Inc.\\VMware Server"
GSX_KEY = "SOFTWARE\\VMware, Inc.\\VMware GSX Server"
VMPERL_KEY = "SOFTWARE\\VMware, Inc.\\VMware VmPerl Scripting API"


def wow64(key):
    return key.replace("SOFTWARE\\", "SOFTWARE\\Wow6432Node\\", 1)


def parse_record(data):
    """The arguments, PATH and PHYSICAL_PROCESSOR a stand-in recorded."""
    args, env = [], {}
    for line in data.decode("utf-8").split("\n"):
        if line.startswith("arg:"):
            args.append(line[4:])
        elif "=" in line:
            name, value = line.split("=", 1)
            env[name] = value
        elif line.endswith(" unset"):
            env[line[:-6]] = None
    return args, env


def probe_lines(cpuprobe_output):
    """The debug lines of the package count and the count itself, worked out
    from what cpuprobe reports for this host: the system's package count,
    and only where that is not known the division, at least 1."""
    fields = dict(line.split("=", 1)
                  for line in cpuprobe_output.decode("ascii").splitlines()
                  if "=" in line)
    lines, packages = "", 0
    if fields["result"] == "0":
        packages = int(fields["numberOfPhysicalPackages"])
        lines += "DBG: numOfPhysicalPackages= %d\n" % packages
        lines += "DBG: numOfProcessors= %s\n" % fields["numberOfProcessors"]
        if packages < 1:
            packages = int(fields["packagesByDivision"])
            lines += "DBG: numOfPhysicalPackages= %d\n" % packages
            packages = max(packages, 1)
    lines += "DBG: cpuInfo.numOfCores= %s\n" % fields["numOfCores"]
    lines += "DBG: cpuInfo.htLogicalPerCore= %s\n" % fields["htLogicalPerCore"]
    lines += ("DBG: cpuInfo.htLogicalProcessors= %s\n"
              % fields["htLogicalProcessors"])
    lines += "DBG: numOfPhysicalPackages= %d\n" % packages
    return lines, packages


def identity_block(node_id, manufacturer, product, version, type_):
    return "".join("%s %s\n\n" % pair for pair in (
        ("OK: Node ID: ", node_id), ("OK: Manufact: ", manufacturer),
        ("OK: Product: ", product), ("OK: Version: ", version),
        ("OK: Type: ", type_)))


DMI_FIELDS = ("product_serial", "bios_vendor", "product_name", "bios_version",
              "product_version")


class NativeVMwareEnablerTest(e2e.TempDirCase):
    """The native enabler, copied with a fake cpuid program into a folder of
    the test; the VmPerl folder's name holds a blank."""

    IDENTITY = ("SN-0042", "Dell Inc.", "PowerEdge 2950", "A05", "Rev 1")

    def setUp(self):
        super().setUp()
        e2e.require_programs(e2e.native("vmware-enabler"),
                             e2e.native("cpuprobe"), SYSTEM_PERL)
        self.bin = self.path("bin")
        os.mkdir(self.bin)
        self.enabler = os.path.join(self.bin, "vmware-enabler")
        shutil.copy2(e2e.native("vmware-enabler"), self.enabler)
        self.write_program(os.path.join(self.bin, "cpuid"),
                           "cat <<'EOF'\n%sEOF\n" % CPUID_REPORT)
        self.work = self.path("work")
        os.mkdir(self.work)
        shutil.copy(RETRIEVE_PL, os.path.join(self.work, "retrieve.pl"))
        self.vmperl = self.path("Vm Perl") + "/"
        os.mkdir(self.vmperl)
        self.write_program(self.vmperl + "perl",
                           'exec %s "$@"\n' % SYSTEM_PERL)
        self.server = self.path("VMware Server") + "/"
        self.dmi = self.path("dmi")
        self.set_identity(*self.IDENTITY)
        self.set_registry([(SERVER_KEY, self.server),
                           (VMPERL_KEY, self.vmperl)])
        self.record = self.path("record.txt")
        self.earlier_path = "/usr/local/bin:/usr/bin:/bin"
        self.cpu_env = {}
        self.take_probe()

    def take_probe(self, env=None):
        """What cpuprobe reports with `env` added to the environment, which
        the enabler's runs then get as well."""
        self.cpu_env = env or {}
        probe = e2e.run([e2e.native("cpuprobe")], cwd=self.dir,
                        env=self.cpu_env)
        self.assertEqual(0, probe.status)
        self.probe_lines, self.packages = probe_lines(probe.stdout)

    def write_program(self, path, body):
        with open(path, "w") as f:
            f.write("#!/bin/sh\n" + body)
        os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)

    def set_identity(self, *values):
        shutil.rmtree(self.dmi, ignore_errors=True)
        os.mkdir(self.dmi)
        for name, value in zip(DMI_FIELDS, values):
            with open(os.path.join(self.dmi, name), "w") as f:
                f.write(value + "\n")

    def set_registry(self, keys):
        with open(self.path("registry.reg"), "w") as f:
            f.write(registry_file(keys))

    def run_enabler(self, args=("-v",), status=None, env=None,
                    script_stderr=b""):
        full_env = {"KEP_REGISTRY_FILE": self.path("registry.reg"),
                    "KEP_DMI_ROOT": self.dmi,
                    "KEP_HOMEDIR": None,
                    "PHYSICAL_PROCESSOR": None,
                    "PATH": self.earlier_path,
                    "VMW_TEST_RECORD": self.record,
                    "VMW_TEST_STATUS": None if status is None else str(status)}
        full_env.update(self.cpu_env)
        full_env.update(env or {})
        result = e2e.run([self.enabler] + list(args), self.work, env=full_env)
        # The enabler writes nothing but, below what the script wrote, the
        # script's own status when it is not 0.
        self.assertEqual(b"", result.stdout)
        self.assertEqual(script_stderr, result.stderr[:len(script_stderr)])
        reason = result.stderr[len(script_stderr):]
        if status and "--dry-run" not in args:
            self.assertEqual(b"vmware-enabler: retrieve.pl ended with status "
                             b"%d%s\n" % (status, b"" if status == result.status
                                          else b", reported as 5"), reason)
        return result

    def log(self):
        with open(os.path.join(self.work, "en_out.txt"), "rb") as f:
            return f.read().decode("utf-8")

    def head_of_log(self):
        """The log up to the identity block: the cpuid report and the
        package count."""
        return ("getInfoFromCPUID() started.\n"
                "DBG: path to enabler executable: '%s'\n"
                "DBG: path to cpuid executable: '%s/cpuid'\n"
                % (self.enabler, self.bin) + CPUID_LINES +
                "getInfoFromCPUID() finished with result=1\n" +
                self.probe_lines +
                "OK: Node capacity:  %d\n" % self.packages)

    def command(self, values, verbose=True):
        slashed = [v.replace("\\", "/") for v in values]
        text = (path_arg(self.vmperl + "perl") +
                " -I" + path_arg(self.vmperl + LIB) +
                " -I" + path_arg(self.vmperl + ARCH_LIB) + "  retrieve.pl " +
                " ".join(quote(v) for v in slashed[:2]) + "  " +
                " ".join(quote(v) for v in slashed[2:]) +
                " %d" % self.packages + (" -v" if verbose else ""))
        return text

    def search_path(self):
        return "%s:%s:%s:" % (self.earlier_path, self.vmperl, self.server)

    def test_full_run_hands_everything_to_the_script(self):
        result = self.run_enabler()
        self.assertEqual(0, result.status)
        self.assertEqual(
            self.head_of_log() + identity_block(*self.IDENTITY) +
            "Perl paths and command line:\n%s\n%s\n%s\n%s\n\n"
            % (self.vmperl, self.server, self.command(self.IDENTITY),
               self.search_path()),
            self.log())
        args, env = parse_record(self.read("record.txt"))
        self.assertEqual(list(self.IDENTITY) + [str(self.packages), "-v"], args)
        self.assertEqual(self.search_path(), env["PATH"])
        self.assertEqual(RECORD, env["PHYSICAL_PROCESSOR"])

    def test_capacity_is_the_systems_package_count(self):
        for packages in (2, 0):
            with self.subTest(packages=packages):
                root = self.path("cpu%d" % packages)
                if packages:
                    e2e.make_cpu_root(root, packages)
                else:
                    os.mkdir(root)  # not known: the division
                self.take_probe({"KEP_CPU_ROOT": root})
                # The division's line stands only where it is made.
                self.assertEqual(2 if packages else 3, self.probe_lines.count(
                    "DBG: numOfPhysicalPackages= "))
                if packages:
                    self.assertEqual(packages, self.packages)
                self.assertEqual(0, self.run_enabler().status)
                self.assertTrue(self.log().startswith(self.head_of_log()),
                                self.log())
                args, _ = parse_record(self.read("record.txt"))
                self.assertEqual(str(self.packages), args[5])

    def test_quiet_run_writes_no_log_and_passes_no_flag(self):
        result = self.run_enabler(args=())
        self.assertEqual(0, result.status)
        self.assertFalse(os.path.exists(os.path.join(self.work, "en_out.txt")))
        args, env = parse_record(self.read("record.txt"))
        self.assertEqual(list(self.IDENTITY) + [str(self.packages)], args)
        self.assertEqual(self.search_path(), env["PATH"])

    def test_unset_path_gives_only_the_two_directories(self):
        self.run_enabler(env={"PATH": None})
        _, env = parse_record(self.read("record.txt"))
        self.assertEqual("%s:%s:" % (self.vmperl, self.server), env["PATH"])

    def test_unsafe_identity_reaches_the_script_unchanged(self):
        values = ('say "hi" & del *', "%PATH% | more", "a<b>c^d",
                  "C:\\dir\\", '$(touch pwned) `id` "')
        self.set_identity(*values)
        result = self.run_enabler()
        self.assertEqual(0, result.status)
        args, _ = parse_record(self.read("record.txt"))
        self.assertEqual([v.replace("\\", "/") for v in values] +
                         [str(self.packages), "-v"], args)
        self.assertFalse(os.path.exists(os.path.join(self.work, "pwned")))
        # The log shows the values as read and the command as composed.
        self.assertIn(identity_block(*values), self.log())
        command = self.command(values)
        self.assertIn("\n%s\n" % command, self.log())
        self.assertEqual(args, parse_like_crt(command)[4:])

    def test_empty_texts_give_empty_and_dash_arguments(self):
        self.set_identity("", "", "", "", "")
        self.run_enabler()
        args, _ = parse_record(self.read("record.txt"))
        self.assertEqual(["", "", "-", "-", "-", str(self.packages), "-v"],
                         args)
        self.assertIn("OK: Node ID:  \n\nOK: Manufact:  \n\n"
                      "OK: Product:  -\n\n", self.log())

    def test_script_status_is_mapped(self):
        for script, expected in ((0, 0), (3, 5), (5, 5), (6, 6), (7, 7),
                                 (1, 5), (42, 5)):
            with self.subTest(script=script):
                self.assertEqual(expected,
                                 self.run_enabler(status=script).status)

    def test_missing_interpreter_or_script_gives_5(self):
        os.remove(os.path.join(self.work, "retrieve.pl"))
        result = self.run_enabler(
            script_stderr=b'Can\'t open perl script "retrieve.pl": '
                          b'No such file or directory\n')
        self.assertEqual(5, result.status)
        os.remove(self.vmperl + "perl")
        result = self.run_enabler()
        self.assertEqual(5, result.status)
        self.assertTrue(self.log().endswith(self.search_path() + "\n\n"))

    def test_missing_installation_ends_with_7_and_one_line(self):
        cases = (
            ([], NOT_INSTALLED),
            ([(VMPERL_KEY, self.vmperl)], SERVER_UNKNOWN),
            ([(GSX_KEY, self.server)], NO_VMPERL),
            ([(SERVER_KEY, self.server)], NO_VMPERL),
            # A native process is no WOW64 one: the 32-bit view is not read.
            ([(wow64(SERVER_KEY), self.server),
              (wow64(VMPERL_KEY), self.vmperl)], NOT_INSTALLED))
        for keys, line in cases:
            with self.subTest(line=line, keys=keys):
                self.set_registry(keys)
                result = self.run_enabler()
                self.assertEqual(7, result.status)
                self.assertEqual(line, self.log())
                self.assertFalse(os.path.exists(self.record))

    def test_gsx_server_stands_in_for_server(self):
        self.set_registry([(GSX_KEY, self.server), (VMPERL_KEY, self.vmperl)])
        self.assertEqual(0, self.run_enabler().status)
        self.assertIn("\n%s\n" % self.server, self.log())

    def test_vanished_vmperl_directory_ends_with_7(self):
        gone = self.path("gone") + "/"
        self.set_registry([(SERVER_KEY, self.server), (VMPERL_KEY, gone)])
        result = self.run_enabler()
        self.assertEqual(7, result.status)
        self.assertEqual(self.head_of_log() + identity_block(*self.IDENTITY) +
                         NO_SHORT_PATH, self.log())
        self.assertFalse(os.path.exists(self.record))

    def test_unreadable_identity_ends_with_2(self):
        shutil.rmtree(self.dmi)
        os.mkdir(self.dmi)
        result = self.run_enabler()
        self.assertEqual(2, result.status)
        self.assertEqual(self.head_of_log() + NO_IDENTITY, self.log())
        # Standard error says which file and why; the log stays as it was.
        self.assertRegex(result.stderr.decode(),
                         r"^vmware-enabler: node identity: %s/bios_vendor: "
                         r"[^\n]*No such file or directory \(error 2\)\n$"
                         % re.escape(self.dmi))
        self.assertFalse(os.path.exists(self.record))

    def test_path_beyond_the_environment_limit_ends_with_7(self):
        self.earlier_path = "/x" * 16400
        result = self.run_enabler()
        self.assertEqual(7, result.status)
        log = self.log()
        self.assertTrue(log.endswith("\n%s\n%s" % (self.search_path(),
                                                    NO_PATH)), log[-300:])
        self.assertFalse(os.path.exists(self.record))

    def dry_run(self, args=("--dry-run", "-v")):
        """A dry run: its status, its standard output as lines and its
        standard error."""
        env = {"KEP_REGISTRY_FILE": self.path("registry.reg"),
               "KEP_DMI_ROOT": self.dmi, "KEP_HOMEDIR": None,
               "PHYSICAL_PROCESSOR": None, "PATH": self.earlier_path,
               "VMW_TEST_RECORD": self.record}
        result = e2e.run([self.enabler] + list(args), self.work, env=env)
        return (result.status, result.stdout.decode("utf-8").splitlines(),
                result.stderr.decode("utf-8"))

    def test_dry_run_shows_the_hand_over_and_starts_nothing(self):
        status, lines, errors = self.dry_run()
        self.assertEqual((0, ""), (status, errors))
        self.assertFalse(os.path.exists(self.record))
        arguments = ["-I" + self.vmperl + LIB, "-I" + self.vmperl + ARCH_LIB,
                     "retrieve.pl"] + list(self.IDENTITY) + [
                         str(self.packages), "-v"]
        self.assertEqual(
            ["interpreter " + self.vmperl + "perl"] +
            ["argument %d %s" % (n, a) for n, a in enumerate(arguments, 1)] +
            ["command-line " + self.command(self.IDENTITY),
             "PATH " + self.search_path(),
             "PHYSICAL_PROCESSOR " + RECORD], lines)
        # The log of a real run, after a line that says it is a dry one.
        self.assertEqual(
            "Dry run: retrieve.pl is not run\n" + self.head_of_log() +
            identity_block(*self.IDENTITY) +
            "Perl paths and command line:\n%s\n%s\n%s\n%s\n\n"
            % (self.vmperl, self.server, self.command(self.IDENTITY),
               self.search_path()), self.log())
        # What a real run would find out only as status 5 is named.
        os.remove(self.vmperl + "perl")
        os.remove(os.path.join(self.work, "retrieve.pl"))
        status, _, errors = self.dry_run(["--dry-run"])
        self.assertEqual(5, status, "as the real run would end")
        self.assertIn("the interpreter %sperl is not there: " % self.vmperl,
                      errors)
        self.assertIn("the script retrieve.pl is not there: ", errors)
        self.assertIn("; looked for in the start folder %s\n" % self.work,
                      errors)
        # The status is the one of the steps before the hand-over.
        self.set_registry([])
        self.assertEqual((7, []), self.dry_run()[:2])
        self.assertEqual(NOT_INSTALLED, self.log()[len("Dry run: retrieve.pl "
                                                       "is not run\n"):])

    def test_help_and_version_do_not_do_the_job(self):
        for args, shows in ((["--help"], "en_out.txt"), (["-h"], "--dry-run"),
                            (["--version"], " release ")):
            with self.subTest(args=args):
                status, lines, errors = self.dry_run(args)
                self.assertEqual((0, ""), (status, errors))
                self.assertIn(shows, "\n".join(lines))
                self.assertFalse(os.path.exists(self.record))
                self.assertFalse(os.path.exists(
                    os.path.join(self.work, "en_out.txt")))

    def test_cpuid_program_of_the_build_feeds_the_record(self):
        e2e.require_programs(e2e.native("cpuid"))
        self.enabler = e2e.native("vmware-enabler")
        self.assertEqual(0, self.run_enabler().status)
        marker = "DBG: PHYSICAL_PROCESSOR = '"
        log = self.log()
        self.assertIn(marker, log)
        record = log[log.index(marker) + len(marker):].split("'\n")[0]
        _, env = parse_record(self.read("record.txt"))
        self.assertEqual(record, env["PHYSICAL_PROCESSOR"])


class VMwareEnablerTest(e2e.WindowsCase):
    """A Windows build's enabler with the build's cpuid.exe beside it, in a
    prefix whose registry the cases fill with regedit. The 32-bit enabler is
    a WOW64 process there and reads the 32-bit view first, the 64-bit one
    only where the 32-bit view lacks a key; the 64-bit enabler reads the
    64-bit view only."""

    suite = "vmware"
    programs = ("vmware-enabler", "cpuid", "vmw_perl")

    def setUp(self):
        super().setUp()
        self.vmperl = self.path("Vm Perl")
        os.mkdir(self.vmperl)
        shutil.copy(self.exe("vmw_perl"),
                    os.path.join(self.vmperl, "perl.exe"))
        shutil.copy(RETRIEVE_PL, self.path("retrieve.pl"))
        self.win_vmperl = e2e.wine_path(self.vmperl) + "\\"
        self.win_server = e2e.wine_path(self.path("VMware Server")) + "\\"
        self.record = self.path("record.txt")

    def regedit(self, text):
        reg = self.path("import.reg")
        with open(reg, "wb") as f:
            f.write(text if isinstance(text, bytes) else text.encode("ascii"))
        result = e2e.run_system_tool(["regedit", "/S", e2e.wine_path(reg)],
                                     self.dir, self.system_prefix)
        self.assertEqual(0, result.status, result.stderr)

    def set_registry(self, keys, fixture=None):
        self.regedit("Windows Registry Editor Version 5.00\r\n\r\n"
                     "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.]\r\n"
                     "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\"
                     "VMware, Inc.]\r\n")
        if keys:
            self.regedit(registry_file(keys))
        if fixture:
            with open(os.path.join(e2e.FIXTURES, "reg", fixture), "rb") as f:
                self.regedit(f.read())

    def run_enabler(self, args=("-v",), status=None):
        env = {"VMW_TEST_RECORD": e2e.wine_path(self.record),
               "VMW_TEST_STATUS": None if status is None else str(status),
               "PHYSICAL_PROCESSOR": None, "KEP_HOMEDIR": None}
        result = e2e.run([self.exe("vmware-enabler")] + list(args), self.dir,
                         env=env, prefix=self.prefix)
        if "--dry-run" not in args:
            self.assertEqual(b"", result.stdout)
        return result

    def log_lines(self):
        text = self.read("en_out.txt").decode("utf-8")
        self.assertNotIn("\n", text.replace("\r\n", ""))
        return text.split("\r\n")

    def wmic(self, *query):
        result = e2e.run(["wmic"] + list(query), self.dir, prefix=self.prefix)
        self.assertEqual(0, result.status, result.stderr)
        lines = [line.rstrip() for line in
                 result.stdout.decode("utf-16").splitlines()]
        return lines[1]

    @e2e.every_lane
    def test_full_run_hands_everything_to_the_script(self):
        self.set_registry([(SERVER_KEY, self.win_server),
                           (VMPERL_KEY, self.win_vmperl)])
        result = self.run_enabler()
        self.assertEqual(0, result.status, self.read("en_out.txt"))
        lines = self.log_lines()
        self.assertEqual("getInfoFromCPUID() started.", lines[0])

        capacity = [l for l in lines if l.startswith("OK: Node capacity:  ")]
        self.assertEqual(1, len(capacity))
        packages = int(capacity[0][len("OK: Node capacity:  "):])
        self.assertGreaterEqual(packages, 1)
        # The count and its debug lines are what cpuprobe.exe reports for
        # this host: the package count Wine gives.
        probe = e2e.run([self.exe("cpuprobe")], self.dir, prefix=self.prefix)
        self.assertEqual(0, probe.status, probe.stderr)
        want, want_packages = probe_lines(probe.stdout)
        self.assertEqual(want_packages, packages)
        want = want.splitlines()
        at = lines.index(capacity[0])
        self.assertEqual(want, lines[at - len(want):at])

        at = lines.index(capacity[0]) + 1
        labels = ("OK: Node ID:  ", "OK: Manufact:  ", "OK: Product:  ",
                  "OK: Version:  ", "OK: Type:  ")
        identity = []
        for n, label in enumerate(labels):
            line, blank = lines[at + 2 * n], lines[at + 2 * n + 1]
            self.assertTrue(line.startswith(label), line)
            self.assertEqual("", blank)
            identity.append(line[len(label):])
        self.assertEqual(self.wmic("bios", "get", "SerialNumber"),
                         identity[0].rstrip())
        self.assertEqual(self.wmic("path", "Win32_ComputerSystemProduct",
                                   "get", "Name"), identity[2].rstrip())

        block = lines[at + 10:]
        self.assertEqual("Perl paths and command line:", block[0])
        self.assertEqual([self.win_vmperl, self.win_server], block[1:3])
        command, search_path = block[3], block[4]
        self.assertEqual(["", ""], block[5:])

        args, env = parse_record(self.read("record.txt"))
        # What perl.exe received, as its C runtime read the command line,
        # is exactly what the log shows.
        self.assertEqual(parse_like_crt(command)[1:], args)
        self.assertEqual("retrieve.pl", args[2])
        slashed = [v.replace("\\", "/") for v in identity]
        self.assertEqual(slashed + [str(packages), "-v"], args[3:])
        self.assertTrue(args[0].startswith("-I") and args[0].endswith(LIB))
        self.assertTrue(args[1].startswith("-I") and
                        args[1].endswith(ARCH_LIB))
        self.assertEqual(args[0][2:-len(LIB)], args[1][2:-len(ARCH_LIB)])

        self.assertEqual(search_path, env["PATH"])
        tail = ";%s;%s;" % (self.win_vmperl.replace("\\", "/"),
                            self.win_server.replace("\\", "/"))
        self.assertTrue(search_path.endswith(tail), search_path)
        self.assertGreater(len(search_path), len(tail),
                           "the earlier PATH stands first")

        marker = "DBG: PHYSICAL_PROCESSOR = '"
        records = [l for l in lines if l.startswith(marker)]
        self.assertEqual(1, len(records))
        self.assertEqual(records[0][len(marker):-1], env["PHYSICAL_PROCESSOR"])

    def test_script_status_is_mapped(self):
        self.set_registry([(SERVER_KEY, self.win_server),
                           (VMPERL_KEY, self.win_vmperl)])
        for script, expected in ((3, 5), (6, 6)):
            with self.subTest(script=script):
                self.assertEqual(expected,
                                 self.run_enabler((), status=script).status)

    def test_dry_run_shows_the_hand_over_and_starts_nothing(self):
        self.set_registry([(SERVER_KEY, self.win_server),
                           (VMPERL_KEY, self.win_vmperl)])
        env = {"VMW_TEST_RECORD": e2e.wine_path(self.record),
               "PHYSICAL_PROCESSOR": None, "KEP_HOMEDIR": None}
        result = e2e.run([self.exe("vmware-enabler"), "--dry-run", "-v"],
                         self.dir, env=env, prefix=self.prefix)
        self.assertEqual((0, b""), (result.status, result.stderr))
        self.assertFalse(os.path.exists(self.record))
        lines = result.stdout.decode("utf-8").split("\r\n")
        self.assertEqual("", lines.pop())
        log = self.log_lines()
        self.assertEqual("Dry run: retrieve.pl is not run", log[0])
        block = log[log.index("Perl paths and command line:"):]
        self.assertTrue(lines[0].startswith("interpreter "), lines)
        self.assertTrue(lines[0].endswith("/perl.exe"), lines[0])
        command = [l for l in lines if l.startswith("command-line ")]
        self.assertEqual(["command-line " + block[3]], command)
        arguments = [l.split(" ", 2)[2] for l in lines
                     if l.startswith("argument ")]
        self.assertEqual(parse_like_crt(block[3])[1:], arguments)
        self.assertEqual("PATH " + block[4], lines[-2])
        marker = "DBG: PHYSICAL_PROCESSOR = '"
        record = [l[len(marker):-1] for l in log if l.startswith(marker)]
        self.assertEqual(["PHYSICAL_PROCESSOR " + record[0]], lines[-1:])

    def test_missing_installation_ends_with_7(self):
        cases = (([], NOT_INSTALLED),
                 ([(SERVER_KEY, self.win_server)], NO_VMPERL))
        for keys, line in cases:
            with self.subTest(line=line, keys=keys):
                self.set_registry(keys)
                result = self.run_enabler()
                self.assertEqual(7, result.status)
                self.assertEqual(line.replace("\n", "\r\n").encode("ascii"),
                                 self.read("en_out.txt"))
                self.assertFalse(os.path.exists(self.record))

    @e2e.also_on("win64")
    def test_registry_views(self):
        """Which view's key each build reads: the paths the log names, or
        "not installed"."""
        os.mkdir(self.path("Vm Perl 64"))
        shutil.copy(self.exe("vmw_perl"),
                    self.path("Vm Perl 64", "perl.exe"))
        perl32, perl64 = self.win_vmperl, e2e.wine_path(
            self.path("Vm Perl 64")) + "\\"
        server32, gsx32 = self.win_server, "C:\\GSX 32\\"
        server64, gsx64 = "C:\\Server 64\\", "C:\\GSX 64\\"
        in32 = [(wow64(SERVER_KEY), server32), (wow64(VMPERL_KEY), perl32)]
        in64 = [(SERVER_KEY, server64), (VMPERL_KEY, perl64)]
        # keys, what the 32-bit enabler finds, what the 64-bit one finds:
        # (VmPerl directory, server directory) or the error line the run
        # ends with.
        cases = (
            ("only the 32-bit view", in32, (perl32, server32), NOT_INSTALLED),
            ("only the 64-bit view", in64, (perl64, server64),
             (perl64, server64)),
            ("both views, other paths", in32 + in64, (perl32, server32),
             (perl64, server64)),
            ("VMware Server 32-bit, GSX Server 64-bit",
             [(wow64(SERVER_KEY), server32), (GSX_KEY, gsx64),
              (VMPERL_KEY, perl64)], (perl64, server32), (perl64, gsx64)),
            ("GSX Server 32-bit, VMware Server 64-bit",
             [(wow64(GSX_KEY), gsx32), (SERVER_KEY, server64),
              (wow64(VMPERL_KEY), perl32)], (perl32, server64), NO_VMPERL),
        )
        for name, keys, found32, found64 in cases:
            with self.subTest(name):
                self.set_registry(keys)
                result = self.run_enabler(("--dry-run", "-v"))
                found = found32 if self.lane.wow64 else found64
                log = self.read("en_out.txt").decode("utf-8")
                if isinstance(found, str):
                    self.assertEqual(7, result.status)
                    self.assertIn(found.replace("\n", "\r\n"), log)
                    continue
                self.assertEqual(0, result.status, log)
                block = log.split("\r\n")
                at = block.index("Perl paths and command line:")
                self.assertEqual(list(found), block[at + 1:at + 3])

    def test_fixture_files_read_as_the_registry_editor_reads_them(self):
        # Registered in the 32-bit view only (a UTF-16 export): found by the
        # 32-bit enabler, in directories this host lacks; unseen by the
        # 64-bit one.
        self.set_registry([], fixture="vmware_wow64.reg")
        query = e2e.run_system_tool(["reg", "query", "HKLM\\" + SERVER_KEY,
                                     "/v", "InstallPath", "/reg:32"],
                                    self.dir, self.system_prefix)
        self.assertEqual(0, query.status, "the import filled the 32-bit view")
        self.assertEqual(7, self.run_enabler().status)
        if self.lane.wow64:
            self.assertTrue(self.read("en_out.txt").decode("utf-8").endswith(
                NO_SHORT_PATH.replace("\n", "\r\n")))
        else:
            self.assertEqual(
                NOT_INSTALLED.replace("\n", "\r\n").encode("ascii"),
                self.read("en_out.txt"))
        # Registered in the 64-bit view, in directories this host lacks:
        # found, but the VmPerl directory has no short form.
        self.set_registry([], fixture="vmware_server_and_gsx.reg")
        self.assertEqual(7, self.run_enabler().status)
        self.assertEqual(NO_SHORT_PATH.replace("\n", "\r\n"),
                         self.read("en_out.txt").decode("utf-8")[
                             -len(NO_SHORT_PATH) - 1:])
        self.assertFalse(os.path.exists(self.record))


e2e.on_lanes(VMwareEnablerTest, globals())


if __name__ == "__main__":
    unittest.main()
