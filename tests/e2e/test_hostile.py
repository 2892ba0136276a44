"""Hostile inputs to both native enablers.

Everything the enablers read comes from another program or from the host: the
cpuid program's report, the DMI texts, the Virtual Server model, the registry
export file, the log file's target. Each case feeds one such input in a form
meant to break them and checks that the run ends in time (a hang is a
failure), with the status the job decides, publishing exactly what it read
and running nothing it was not asked to run.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "hostile"))
import scenario  # noqa: E402
from scenario import Scenario, model, running  # noqa: E402

import e2e_support as e2e  # noqa: E402

# Every run must end within this many seconds.
TIMEOUT = 60

# What the caller's environment holds in PHYSICAL_PROCESSOR before a run: a
# record of another host.
STALE_RECORD = "9:StaleHost:1:1:1:1:1:32"

# The line the forging cpuid program writes into the files it inherited.
FORGED_LINE = b"OK: forged by the cpuid program"

# Texts that a shell, printf or a quoting routine would act on.
NASTY_IDENTITY = {
    "product_serial": b'SN"; touch pwned-serial; echo "',
    "bios_vendor": b"%s%n%x%% $(touch pwned-vendor) `touch pwned-tick`",
    "bios_version": b"1.0 & touch pwned-amp & | touch pwned-pipe ;",
    "product_name": b"caf\xc3\xa9 \xff\xfe\x80 \x01\x07\x1b\t'quote'",
    "product_version": b"%PATH% !x! ^& > pwned-redirect < nul",
}


def need(*programs):
    """Fails the case when a native program it runs is not built."""
    e2e.require_programs(*(scenario.native(p) for p in programs))


class HostileCase(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="enabler-hostile-")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.count = 0

    def scenario(self, enabler, cpuid="cpuid"):
        self.count += 1
        return Scenario(os.path.join(self.root, "host%d" % self.count),
                        enabler, cpuid)

    def run_enabler(self, s, args=("-v",), extra_env=None, timeout=TIMEOUT,
                    **options):
        started = time.monotonic()
        result = s.run(args, extra_env=extra_env, timeout=timeout, **options)
        self.assertEqual(result.stdout, b"", "nothing on standard output")
        self.assertGreaterEqual(result.returncode, 0,
                                "killed by signal %d" % -result.returncode)
        result.seconds = time.monotonic() - started
        return result

    def assertNothingRun(self, s):
        for directory in (s.work, s.root, s.bin, os.getcwd()):
            leftovers = [n for n in os.listdir(directory)
                         if n.startswith("pwned")]
            self.assertEqual(leftovers, [], "a command ran in " + directory)


class HostileCpuidTest(HostileCase):
    """A cpuid program that floods, nests, waits, dies or meddles."""

    # mode: (record expected, log text expected)
    MODES = [
        ("forge", True, None),
        ("flood-groups", False, b"Warning! vtExecCommand failed.\n"),
        ("report", True, None),
        ("long-line", False, None),
        ("deep", False, None),
        ("stderr-first", True, None),
        ("stderr-after", True, None),
        ("stderr-forever", True, None),
        ("read-stdin", True, None),
        ("exit", False, b"Warning! cpuid returned error = -1\n"),
        ("crash", False, b"Warning! cpuid returned error = -1\n"),
    ]

    def test_vs_enabler_survives_each_cpuid(self):
        need("vs-enabler", "hostile_cpuid")
        baseline = None
        for mode, has_record, log_text in self.MODES:
            with self.subTest(mode=mode):
                s = self.scenario("vs-enabler", cpuid="hostile_cpuid")
                s.vs_model(model([running("web01")]))
                r = self.run_enabler(s, extra_env={"KEP_HOSTILE_CPUID": mode})
                log = s.log()
                self.assertIn(b"getInfoFromCPUID() finished with result=%d\n"
                              % (1 if has_record else 0), log)
                self.assertNotIn(FORGED_LINE, log)
                if log_text:
                    self.assertIn(log_text, log)
                record = s.parameter(b"KEP_PHYSICAL_PROCESSOR")
                if has_record:
                    self.assertEqual(record, scenario.REPORT_RECORD_VS)
                else:
                    self.assertIsNone(record)
                # The record plays no part in the exit status or in the
                # other parameters.
                others = [p for p in s.parameters()
                          if p[1] != b"KEP_PHYSICAL_PROCESSOR"]
                if baseline is None:
                    baseline = (r.returncode, others)
                self.assertEqual((r.returncode, others), baseline)

    def test_vmware_enabler_survives_each_cpuid(self):
        need("vmware-enabler", "hostile_cpuid")
        for mode, has_record, log_text in self.MODES:
            with self.subTest(mode=mode):
                s = self.scenario("vmware-enabler", cpuid="hostile_cpuid")
                s.vmware(server=s.server_dir(), vmperl=s.vmperl_dir())
                r = self.run_enabler(s, extra_env={
                    "KEP_HOSTILE_CPUID": mode,
                    "PHYSICAL_PROCESSOR": STALE_RECORD})
                self.assertEqual(r.returncode, 0, s.log())
                if log_text:
                    self.assertIn(log_text, s.log())
                self.assertNotIn(FORGED_LINE, s.log())
                args, path, record = s.retrieved()
                if has_record:
                    self.assertEqual(record, scenario.REPORT_RECORD_VMWARE)
                else:
                    # The caller's value never reaches the script.
                    self.assertEqual(record, b"<unset>")

    def test_flooding_report_is_read_in_bounded_memory(self):
        # 32 MiB of empty groups made a document of about 400 MiB when the
        # report was read whole.
        need("vs-enabler", "hostile_cpuid")
        s = self.scenario("vs-enabler", cpuid="hostile_cpuid")
        s.vs_model(model([running("web01")]))
        peak = s.path("peak.txt")
        measure = ("import resource, subprocess, sys; "
                   "status = subprocess.call(sys.argv[2:]); "
                   "open(sys.argv[1], 'w').write(str(resource.getrusage("
                   "resource.RUSAGE_CHILDREN).ru_maxrss)); "
                   "sys.exit(status)")
        self.run_enabler(s, extra_env={"KEP_HOSTILE_CPUID": "flood-groups",
                                       "KEP_HOSTILE_BYTES": str(32 << 20)},
                         wrapper=(sys.executable, "-c", measure, peak))
        self.assertIn(b"Warning! vtExecCommand failed.\n", s.log())
        self.assertIsNone(s.parameter(b"KEP_PHYSICAL_PROCESSOR"))
        with open(peak) as f:
            kilobytes = int(f.read())
        self.assertLess(kilobytes, 128 * 1024)

    def test_record_from_long_fields_is_cut_to_bounds(self):
        need("vs-enabler", "hostile_cpuid")
        s = self.scenario("vs-enabler", cpuid="hostile_cpuid")
        s.vs_model(model([running("web01")]))
        self.run_enabler(s, extra_env={"KEP_HOSTILE_CPUID": "long-fields"})
        # Each text of the record keeps its first 255 bytes; the numbers are
        # the report's extremes, the word width the vs-enabler default.
        self.assertEqual(s.parameter(b"KEP_PHYSICAL_PROCESSOR"),
                         b"2147483647:" + b"M" * 255 + b":" + b"F" * 255
                         + b":" + b"T" * 255
                         + b":-2147483648:2147483647:-1:64")


class HostileCpuidWindowsTest(e2e.WindowsCase):
    """The same cpuid programs as cpuid.exe beside a Windows build's
    vmware-enabler under Wine: the Windows pipes, with the enabler's end of
    the error pipe closed at the start and the child's standard input at its
    end, and the handles a child inherits."""

    suite = "hostile"
    programs = ("vmware-enabler", "hostile_cpuid", "vmw_perl")
    SERVER_KEY = "SOFTWARE\\VMware, Inc.\\VMware Server"
    VMPERL_KEY = "SOFTWARE\\VMware, Inc.\\VMware VmPerl Scripting API"

    def setUp(self):
        super().setUp()
        self.root = self.dir
        self.bin = os.path.join(self.root, "bin")
        self.work = os.path.join(self.root, "work")
        self.vmperl = os.path.join(self.root, "vmperl")
        for directory in (self.bin, self.work, self.vmperl):
            os.mkdir(directory)
        shutil.copy(self.exe("vmware-enabler"), self.bin)
        shutil.copy(self.exe("hostile_cpuid"),
                    os.path.join(self.bin, "cpuid.exe"))
        shutil.copy(self.exe("vmw_perl"),
                    os.path.join(self.vmperl, "perl.exe"))
        shutil.copy(os.path.join(e2e.FIXTURES, "vmperl", "retrieve.pl"),
                    self.work)
        lines = ["Windows Registry Editor Version 5.00", ""]
        for key, path in ((self.SERVER_KEY, self.root),
                          (self.VMPERL_KEY, self.vmperl)):
            value = (e2e.wine_path(path) + "\\").replace("\\", "\\\\")
            lines += ["[HKEY_LOCAL_MACHINE\\%s]" % key,
                      '"InstallPath"="%s"' % value, ""]
        reg = os.path.join(self.root, "vmware.reg")
        with open(reg, "w") as f:
            f.write("\r\n".join(lines))
        result = e2e.run_system_tool(["regedit", "/S", e2e.wine_path(reg)],
                                     self.root, self.system_prefix)
        self.assertEqual(0, result.status, result.stderr)

    def run_mode(self, mode):
        """Runs vmware-enabler -v with the cpuid program in `mode` and a stale
        PHYSICAL_PROCESSOR in its environment; gives the record the script
        received (None: unset) and keeps the log."""
        record = os.path.join(self.work, "record.txt")
        if os.path.exists(record):
            os.remove(record)
        env = {"VMW_TEST_RECORD": e2e.wine_path(record),
               "VMW_TEST_STATUS": None, "PHYSICAL_PROCESSOR": STALE_RECORD,
               "KEP_HOMEDIR": None, "KEP_HOSTILE_CPUID": mode}
        result = e2e.run([os.path.join(self.bin, "vmware-enabler.exe"), "-v"],
                         self.work, env=env, prefix=self.prefix,
                         timeout=TIMEOUT * 2)
        self.assertEqual(b"", result.stdout)
        self.assertEqual(0, result.status)
        with open(os.path.join(self.work, "en_out.txt"), "rb") as f:
            self.log = f.read()
        with open(record, "rb") as f:
            for line in f.read().decode("utf-8").split("\n"):
                if line.startswith("PHYSICAL_PROCESSOR="):
                    return line[len("PHYSICAL_PROCESSOR="):]
        return None

    @e2e.every_lane
    def test_vmware_enabler_survives_each_cpuid(self):
        for mode, has_record, _ in HostileCpuidTest.MODES:
            with self.subTest(mode=mode):
                record = self.run_mode(mode)
                if has_record:
                    self.assertEqual(
                        record, scenario.REPORT_RECORD_VMWARE.decode())
                else:
                    # The caller's value never reaches the script.
                    self.assertIsNone(record)
                self.assertNotIn(FORGED_LINE, self.log)

    def test_lingering_cpuid_does_not_hold_the_callers_pipe(self):
        # The caller reads the enabler's output to its end, as the inventory
        # product does; a cpuid.exe that inherited the enabler's standard
        # output would keep it waiting for 60 s. (Under Wine every process
        # also keeps the Unix standard error of the process that started it,
        # whatever its Windows handles are, so only standard output tells.)
        env = {"VMW_TEST_RECORD": None, "VMW_TEST_STATUS": None,
               "KEP_HOMEDIR": None, "KEP_HOSTILE_CPUID": "linger",
               "KEP_HOSTILE_SECONDS": "60"}
        env = {k: v for k, v in self.prefix.env(env).items() if v is not None}
        started = time.monotonic()
        process = subprocess.Popen(
            [self.prefix.wine, os.path.join(self.bin, "vmware-enabler.exe"),
             "-v"],
            cwd=self.work, env=env, stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.addCleanup(process.kill)
        output, _ = process.communicate(timeout=TIMEOUT * 2)
        self.assertEqual(b"", output)
        self.assertEqual(0, process.returncode)
        self.assertLess(time.monotonic() - started, 30)


e2e.on_lanes(HostileCpuidWindowsTest, globals())


class HostileIdentityTest(HostileCase):
    """DMI texts with quotes, percent signs, ampersands, control characters
    and bytes that are not ASCII reach the parameters and the script's
    arguments unchanged, and run nothing."""

    def test_vs_enabler_publishes_identity_unchanged(self):
        need("vs-enabler", "cpuid")
        s = self.scenario("vs-enabler")
        s.dmi(NASTY_IDENTITY)
        s.vs_model(model([running("web01")]))
        r = self.run_enabler(s)
        expected = {
            b"KEP_NODE_ID": NASTY_IDENTITY["product_serial"],
            b"KEP_HOST_MANUFACTURER": NASTY_IDENTITY["bios_vendor"],
            b"KEP_HOST_VERSION": NASTY_IDENTITY["bios_version"],
            b"KEP_HOST_PRODUCT": NASTY_IDENTITY["product_name"],
            b"KEP_HOST_TYPE": NASTY_IDENTITY["product_version"],
        }
        for name, value in expected.items():
            self.assertEqual(s.parameter(name, b"web01"), value, name)
        log = s.log()
        # Percent signs are written as they are, never taken as formats.
        self.assertIn(b"OK: Parameter KEP_HOST_MAN set with value '"
                      + NASTY_IDENTITY["bios_vendor"] + b"'\n", log)
        self.assertNotEqual(r.returncode, 5, log)
        self.assertNothingRun(s)

    def test_vmware_enabler_passes_identity_unchanged(self):
        need("vmware-enabler", "cpuid")
        s = self.scenario("vmware-enabler")
        identity = dict(NASTY_IDENTITY)
        identity["product_serial"] += b" back\\slash"
        s.dmi(identity)
        s.vmware(server=s.server_dir(), vmperl=s.vmperl_dir())
        r = self.run_enabler(s)
        self.assertEqual(r.returncode, 0, s.log())
        args, path, record = s.retrieved()
        expected = [identity["product_serial"].replace(b"\\", b"/"),
                    identity["bios_vendor"], identity["product_name"],
                    identity["bios_version"], identity["product_version"]]
        self.assertEqual(args[:5], expected)
        self.assertEqual(args[-1], b"-v")
        self.assertIn(b"OK: Manufact:  " + identity["bios_vendor"] + b"\n",
                      s.log())
        self.assertNothingRun(s)


class HostileVirtualServerTest(HostileCase):
    """Virtual Server models far beyond any real server."""

    def test_ten_thousand_running_machines(self):
        need("vs-enabler", "cpuid")
        s = self.scenario("vs-enabler")
        machines = [running("vm%05d" % i) for i in range(10000)]
        s.vs_model(model(machines))
        r = self.run_enabler(s, args=())
        names = {}
        for machine, name, value in s.parameters():
            names[machine] = names.get(machine, 0) + 1
        self.assertEqual(len(names), 10000)
        self.assertEqual(set(names.values()), {9})
        self.assertEqual(s.parameter(b"KEP_VM_ID", b"vm09999"), b"vm09999")
        self.assertIn(r.returncode, (0, 1))

    def test_model_line_of_a_megabyte(self):
        need("vs-enabler", "cpuid")
        s = self.scenario("vs-enabler")
        name = "n" * (1 << 20)
        s.vs_model(model([running("first"), running(name), running("last")]))
        r = self.run_enabler(s)
        # The model's reader ends at a line longer than its buffer, leaving
        # the server group open: a model without a server. (A name of a
        # megabyte from Virtual Server itself is a unit test of the worker.)
        self.assertEqual(r.returncode, 6)
        self.assertIn(b"ERROR: Microsoft Virtual Server not installed!\n",
                      s.log())
        self.assertEqual(s.parameters(), [])


class HostileRegistryTest(HostileCase):
    """InstallPath values at the edge of the 1024-byte buffer."""

    def test_server_path_lengths(self):
        need("vmware-enabler", "cpuid")
        message = b"ERROR: VMware server version not recognized\n"
        for length, found in ((1023, True), (1024, False), (1025, False)):
            with self.subTest(length=length):
                s = self.scenario("vmware-enabler")
                server = "C:\\" + "s" * (length - 3)
                self.assertEqual(len(server), length)
                s.vmware(server=server, vmperl=s.vmperl_dir())
                r = self.run_enabler(s)
                if found:
                    # The whole path reaches the script's PATH.
                    self.assertEqual(r.returncode, 0, s.log())
                    self.assertIn(b":C:/" + b"s" * (length - 3) + b":",
                                  s.retrieved()[1])
                else:
                    self.assertEqual(r.returncode, 7)
                    self.assertIn(message, s.log())
                    self.assertIsNone(s.retrieved())

    def test_vmperl_path_lengths(self):
        need("vmware-enabler", "cpuid")
        message = b"ERROR: VmPerl Scripting API not installed\n"
        for length, found in ((1023, True), (1024, False), (1025, False)):
            with self.subTest(length=length):
                s = self.scenario("vmware-enabler")
                vmperl = long_directory(s.path("perl"), length)
                s.vmware(server=s.server_dir(), vmperl=vmperl)
                r = self.run_enabler(s)
                if found:
                    # A directory of 1023 characters holds the interpreter
                    # that runs the script.
                    self.assertEqual(r.returncode, 0, s.log())
                    self.assertIsNotNone(s.retrieved())
                else:
                    self.assertEqual(r.returncode, 7)
                    self.assertIn(message, s.log())


def long_directory(base, length):
    """A directory below `base` whose path, with the separator behind it,
    is `length` characters long, holding the machine's perl."""
    path = base
    while len(path) + 1 < length:
        room = length - len(path) - 2
        path = os.path.join(path, "d" * min(200, room) if room > 0 else "")
        if room <= 0:
            break
    path = path.rstrip("/")
    # Pad the last component to the exact length.
    path += "e" * (length - 1 - len(path))
    os.makedirs(path)
    os.symlink(shutil.which("perl") or "/usr/bin/perl",
               os.path.join(path, "perl"))
    result = path + "/"
    assert len(result) == length, (len(result), length)
    return result


class HostileEnvironmentTest(HostileCase):
    """What the environment names: DMI files, a registry file, a model or a
    replay file that are pipes or devices, a parameter record that cannot be
    written, a PATH too long to extend, a home directory of odd text."""

    def dmi_with_traps(self, s):
        directory = s.dmi(scenario.PLAIN_IDENTITY)
        serial = os.path.join(directory, "product_serial")
        os.remove(serial)
        os.mkfifo(serial)
        version = os.path.join(directory, "bios_version")
        os.remove(version)
        os.symlink("/dev/zero", version)

    def test_dmi_pipe_and_device_are_absent_fields(self):
        need("vs-enabler", "vmware-enabler", "cpuid")
        s = self.scenario("vs-enabler")
        self.dmi_with_traps(s)
        s.vs_model(model([running("web01")]))
        self.run_enabler(s)
        self.assertEqual(s.parameter(b"KEP_NODE_ID"), b"")
        self.assertEqual(s.parameter(b"KEP_HOST_VERSION"), b"")
        self.assertEqual(s.parameter(b"KEP_HOST_MANUFACTURER"), b"Phoenix")

        s = self.scenario("vmware-enabler")
        self.dmi_with_traps(s)
        s.vmware(server=s.server_dir(), vmperl=s.vmperl_dir())
        r = self.run_enabler(s)
        self.assertEqual(r.returncode, 0, s.log())
        args = s.retrieved()[0]
        self.assertEqual(args[:5], [b"", b"Phoenix", b"Model 9", b"-",
                                    b"Rev A"])

    def test_parameter_record_that_cannot_be_written(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full")
        need("vs-enabler", "cpuid")
        s = self.scenario("vs-enabler")
        s.vs_model(model([running("web01")]))
        s.env["KEP_VS_PARAMETERS"] = "/dev/full"
        r = self.run_enabler(s)
        self.assertEqual(r.returncode, 5)
        self.assertIn(b"ERROR: Failure during KEP_NODE_ID set\n", s.log())
        self.assertIn(b"ERROR: Failure during KEP_PHYSICAL_PROCESSOR set\n",
                      s.log())

    def special_files(self, s):
        """A named pipe without writer or reader, and a device that never
        ends: what a native stand-in file may turn out to be."""
        fifo = s.path("fifo")
        os.mkfifo(fifo)
        return [fifo, "/dev/zero"]

    def test_stand_in_files_that_are_no_regular_files_are_absent(self):
        # Each was read without bound or waited for: /dev/zero ended the run
        # with bad_alloc, a named pipe held it for ever.
        need("vs-enabler", "vmware-enabler", "cpuid")
        s = self.scenario("vmware-enabler")
        s.vmware(server=s.server_dir(), vmperl=s.vmperl_dir())
        for special in self.special_files(s):
            with self.subTest(registry=special):
                s.env["KEP_REGISTRY_FILE"] = special
                r = self.run_enabler(s, timeout=20)
                self.assertEqual(r.returncode, 7)
                self.assertIn(b"ERROR: VMWare not installed\n", s.log())

        s = self.scenario("vs-enabler")
        for special in self.special_files(s):
            with self.subTest(model=special):
                s.env["KEP_VS_MODEL"] = special
                r = self.run_enabler(s, timeout=20)
                self.assertEqual(r.returncode, 6)
                self.assertIn(b"ERROR: Microsoft Virtual Server not "
                              b"installed!\n", s.log())

    def test_parameter_record_that_is_a_named_pipe_fails_at_once(self):
        need("vs-enabler", "cpuid")
        s = self.scenario("vs-enabler")
        s.vs_model(model([running("web01")]))
        fifo = s.path("record-fifo")
        os.mkfifo(fifo)
        s.env["KEP_VS_PARAMETERS"] = fifo
        r = self.run_enabler(s, timeout=20)
        # As a record that cannot be written: every set fails.
        self.assertEqual(r.returncode, 5)
        self.assertIn(b"ERROR: Failure during KEP_NODE_ID set\n", s.log())

    def test_replay_file_that_is_no_regular_file(self):
        need("cpuprobe")
        s = self.scenario("vs-enabler")
        for special in self.special_files(s):
            with self.subTest(replay=special):
                r = subprocess.run([scenario.native("cpuprobe"), "--replay",
                                    special], stdin=subprocess.DEVNULL,
                                   capture_output=True, timeout=20)
                self.assertEqual(r.returncode, 2)
                self.assertEqual(r.stdout, b"")
                self.assertIn(b"cannot read " + special.encode(), r.stderr)

    def test_path_too_long_to_extend(self):
        need("vmware-enabler", "cpuid")
        s = self.scenario("vmware-enabler")
        s.vmware(server=s.server_dir(), vmperl=s.vmperl_dir())
        r = self.run_enabler(s, extra_env={"PATH": "/x" * 20000})
        self.assertEqual(r.returncode, 7)
        self.assertIn(b"ERROR: Could not set VMPerl path in PATH environment "
                      b"variable\n", s.log())
        self.assertIsNone(s.retrieved())

    def test_home_directory_of_odd_text(self):
        need("vs-enabler", "hostile_cpuid")
        for home in ('" ; touch pwned-home ; "', "x" * 100000, ""):
            with self.subTest(home=home[:20]):
                s = self.scenario("vs-enabler", cpuid="hostile_cpuid")
                s.vs_model(model([running("web01")]))
                s.env["KEP_HOMEDIR"] = home
                self.run_enabler(s)
                # The cpuid program beside the enabler is named by its full
                # path, which the home directory does not change.
                self.assertEqual(s.parameter(b"KEP_PHYSICAL_PROCESSOR"),
                                 scenario.REPORT_RECORD_VS)
                self.assertNothingRun(s)


class HostileLogTest(HostileCase):
    """What lies at en_out.txt: a link, a named pipe, another run's log. Each
    means "no log": the run ends with the status it has without -v and leaves
    the thing as it was."""

    SETUPS = [
        ("vs-enabler", lambda s: s.vs_model(model([running("web01")]))),
        ("vs-enabler", lambda s: None),
        ("vmware-enabler", lambda s: s.vmware(server=s.server_dir(),
                                              vmperl=s.vmperl_dir())),
        ("vmware-enabler", lambda s: s.vmware(server=s.server_dir(),
                                              vmperl=s.vmperl_dir(),
                                              script_status=6)),
        ("vmware-enabler", lambda s: None),
    ]

    def each_setup(self, trap, timeout=TIMEOUT):
        """Runs every setup with -v after `trap(scenario, log path)` and
        checks its status against the same run without -v."""
        need("vs-enabler", "vmware-enabler", "cpuid")
        for enabler, setup in self.SETUPS:
            with self.subTest(enabler=enabler):
                quiet = self.scenario(enabler)
                setup(quiet)
                expected = self.run_enabler(quiet, args=()).returncode
                s = self.scenario(enabler)
                setup(s)
                trap(s, os.path.join(s.work, "en_out.txt"))
                r = self.run_enabler(s, args=("-v",), timeout=timeout)
                self.assertEqual(r.returncode, expected)

    def test_link_is_never_followed(self):
        def trap(s, log):
            # As root, following the link would empty any file and write the
            # log, host data included, into it.
            victim = s.path("victim")
            with open(victim, "wb") as f:
                f.write(b"another program's file\n")
            os.symlink(victim, log)
            self.addCleanup(self.assertVictimKept, victim, log)
        self.each_setup(trap)

    def assertVictimKept(self, victim, log):
        with open(victim, "rb") as f:
            self.assertEqual(f.read(), b"another program's file\n")
        self.assertTrue(os.path.islink(log))

    def test_link_to_a_device_is_no_log(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full")
        self.each_setup(lambda s, log: os.symlink("/dev/full", log))

    def test_named_pipe_is_not_waited_for(self):
        # Opening a named pipe without reader for writing waits for ever.
        self.each_setup(lambda s, log: os.mkfifo(log), timeout=20)

    def test_overlapping_runs_keep_the_first_runs_log(self):
        need("vs-enabler", "hostile_cpuid")
        # The first run waits for its cpuid program while it holds the log;
        # the second, in the same folder, ends meanwhile.
        first = self.scenario("vs-enabler", cpuid="hostile_cpuid")
        first.vs_model(model([running("first-run")]))
        second = self.scenario("vs-enabler", cpuid="hostile_cpuid")
        second.vs_model(model([running("second-run-" + "x" * 2000)]))
        second.work = first.work
        quiet = self.scenario("vs-enabler", cpuid="hostile_cpuid")
        quiet.vs_model(model([running("second-run-" + "x" * 2000)]))
        expected = self.run_enabler(quiet, args=()).returncode

        process = first.start(("-v",), extra_env={
            "KEP_HOSTILE_CPUID": "late", "KEP_HOSTILE_SECONDS": "3"})
        self.addCleanup(process.kill)
        deadline = time.monotonic() + 20
        while b"path to cpuid executable" not in first.log():
            self.assertLess(time.monotonic(), deadline, "first run not begun")
            time.sleep(0.05)
        r = self.run_enabler(second, args=("-v",))
        self.assertEqual(r.returncode, expected)
        process.communicate(timeout=TIMEOUT)

        log = first.log()
        self.assertNotIn(b"\0", log)
        self.assertNotIn(b"second-run", log)
        self.assertTrue(log.startswith(b"Log file opened\n"), log[:200])
        self.assertTrue(log.endswith(b"\nClosing log file\n"), log[-200:])
        self.assertEqual(first.parameter(b"KEP_VM_ID"), b"first-run")


class HostileCallerTest(HostileCase):
    """What the caller leaves to the enabler's process: signals ignored or
    blocked, a closed standard error, a standard error without reader."""

    def vmware_scenario(self, script_status=0):
        s = self.scenario("vmware-enabler")
        s.vmware(server=s.server_dir(), vmperl=s.vmperl_dir(),
                 script_status=script_status)
        return s

    def test_ignored_child_signal_keeps_the_scripts_status(self):
        # With SIGCHLD ignored the system reaps the script before the
        # enabler can learn its status.
        need("vmware-enabler", "cpuid")
        for status in (0, 6):
            with self.subTest(status=status):
                s = self.vmware_scenario(status)
                r = self.run_enabler(s, preexec_fn=lambda: signal.signal(
                    signal.SIGCHLD, signal.SIG_IGN))
                self.assertEqual(r.returncode, status, s.log())

    def test_script_starts_with_no_signal_blocked_or_ignored(self):
        need("vmware-enabler", "cpuid")
        s = self.vmware_scenario()

        def meddle():
            signal.signal(signal.SIGHUP, signal.SIG_IGN)
            signal.signal(signal.SIGINT, signal.SIG_IGN)
            signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGUSR1})
        signals = s.path("signals.txt")
        r = self.run_enabler(s, extra_env={"KEP_RETRIEVE_SIGNALS": signals},
                             preexec_fn=meddle)
        self.assertEqual(r.returncode, 0, s.log())
        with open(signals) as f:
            sets = dict(line.split(":\t") for line in f.read().splitlines())
        self.assertEqual(int(sets["SigBlk"], 16), 0)
        # Neither the caller's ignored signals nor the enabler's own SIGPIPE
        # (perl ignores SIGFPE by itself).
        ignored = int(sets["SigIgn"], 16)
        for number in (signal.SIGHUP, signal.SIGINT, signal.SIGPIPE):
            self.assertFalse(ignored & (1 << (number - 1)), number)

    def test_standard_error_without_reader(self):
        # The banner and the usage line go to standard error; a pipe whose
        # reader is gone must not end the enabler half-way.
        need("vs-enabler", "vmware-enabler", "cpuid")
        cases = [
            ("vs-enabler", ("-version",), None),
            ("vs-enabler", ("-x",), 1),
            ("vmware-enabler", ("-v", "-version"), None),
            ("vmware-enabler", ("-x",), 7),
        ]
        for enabler, args, usage in cases:
            with self.subTest(enabler=enabler, args=args):
                if enabler == "vs-enabler":
                    s = self.scenario(enabler)
                    s.vs_model(model([running("web01")]))
                else:
                    s = self.vmware_scenario()
                expected = usage
                if expected is None:
                    expected = self.run_enabler(s, args=()).returncode
                reader, writer = os.pipe()
                os.close(reader)
                try:
                    r = self.run_enabler(s, args=args, stderr=writer)
                finally:
                    os.close(writer)
                self.assertEqual(r.returncode, expected)
                if enabler == "vmware-enabler" and usage is None:
                    self.assertTrue(s.log().endswith(b"\n\n"), s.log())

    def test_closed_standard_error_is_not_the_log(self):
        # vmware-enabler opens its log before it writes the banner: with
        # descriptor 2 closed the log took its number, and the banner.
        need("vmware-enabler", "cpuid")
        s = self.vmware_scenario()
        r = self.run_enabler(s, args=("-v", "-version"),
                             preexec_fn=lambda: os.close(2))
        self.assertEqual(r.returncode, 0)
        self.assertNotIn(b"KEP Enabler", s.log())
        self.assertIn(b"Perl paths and command line:\n", s.log())


if __name__ == "__main__":
    unittest.main()
