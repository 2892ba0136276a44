"""End-to-end runs of vs-enabler against the simulated Virtual Server.

Natively the enabler reaches the simulated server behind its adapter; each
Windows lane runs under Wine through real COM, with the simulated server's
in-process COM server (vs_com_server.dll of the lane's bitness) registered for
the Virtual Server class in the suite's Wine prefix. Both read the model named by KEP_VS_MODEL
and record every parameter set in the file named by KEP_VS_PARAMETERS.

Each run copies the enabler and the stand-in cpuid program (fake_cpuid, which
writes the fixture report named by FAKE_CPUID_DOCUMENT) into a fresh directory,
because the enabler runs the cpuid program found beside its own executable.
The processor probe runs on the real processor, so its lines are expected as
cpuprobe reports this processor. The node identity comes natively from a DMI
fixture (KEP_DMI_ROOT) and under Wine from Wine's WMI, as wmic reports it.
"""

import functools
import os
import re
import shutil
import tempfile
import unittest

import e2e_support as e2e
from e2e_support import (FIXTURES, NATIVE_BIN, TempDirCase, make_cpu_root,
                         native, require_programs, run, wine_path)

VS_FIXTURES = os.path.join(FIXTURES, "vs")

SERVER = ("HOST-A", "1.3.7871 SP1")
RECORD = "2:GenuineIntel:6:0:4:2:2400:64"  # two_packages.report

# The short labels of the log lines, by parameter.
LABELS = {
    "KEP_NODE_ID": "KEP_NODE_ID",
    "KEP_HOST_PRODUCT": "KEP_HOST_PROD",
    "KEP_HOST_MANUFACTURER": "KEP_HOST_MAN",
    "KEP_HOST_VERSION": "KEP_HOST_VERS",
    "KEP_HOST_TYPE": "KEP_HOST_TYPE",
    "KEP_NODE_CAPACITY": "KEP_NODE_CAPACITY",
    "KEP_VM_ID": "KEP_VM_ID",
    "KEP_VM_CAPACITY": "KEP_VM_CAPACITY",
    "KEP_PHYSICAL_PROCESSOR": "KEP_PHYSICAL_PROCESSOR",
}

CAP_KEY = "settings/host/resource_control/cpu/cap"

# The options after which the enabler writes to standard output.
ANSWERING = {"--dry-run", "--help", "-h", "-?", "/?", "--version"}


def fixture(name):
    return os.path.join(VS_FIXTURES, name)


def number_text(value):
    """A double as OLE Automation writes it: up to 15 significant digits, no
    trailing zeros (the runs use the "C" locale's decimal point)."""
    return "%.15G" % value


def check_installed_run(case, probe, status, log, records):
    """A run of several_machines.model by the enabler in the build's bin/,
    beside the project's cpuid program, which reports this host: the record
    it logs is the one published, and its package count drives app01's
    maximum system capacity rule."""
    found = re.search(r"DBG: PHYSICAL_PROCESSOR = '([^']*)'\n", log)
    case.assertIsNotNone(found, log)
    record = found.group(1)
    packages = int(record.split(":")[0])
    case.assertGreater(packages, 0)
    case.assertIn("hostPackageCount=%d\n" % packages, log)
    case.assertIn("getInfoFromCPUID() finished with result=1\n", log)
    case.assertIn("Setting KEP_VM_CAPACITY with max_sys_cap=%f\n"
                  % (packages * 37.5), log)
    published = [line for line in records
                 if line.split("\t")[1] == "KEP_PHYSICAL_PROCESSOR"]
    case.assertEqual(["web01\tKEP_PHYSICAL_PROCESSOR\t%s\n" % record,
                      "app01\tKEP_PHYSICAL_PROCESSOR\t%s\n" % record],
                     published)
    case.assertIn("app01\tKEP_VM_CAPACITY\t%s\n" % number_text(packages * 37.5),
                  records)
    case.assertEqual(18, len(records))
    case.assertEqual(1 if probe.packages == 0 else 0, status)


class Probe:
    """What the enabler's CPUID probe makes of this processor, from cpuprobe."""

    def __init__(self, output):
        fields = dict(line.split("=", 1) for line in output.splitlines()
                      if "=" in line)
        self.result = int(fields["result"])
        self.cores = int(fields["numOfCores"])
        self.per_core = int(fields["htLogicalPerCore"])
        self.ht = int(fields["htLogicalProcessors"])
        self.processors = int(fields["numberOfProcessors"])
        # The count the enablers use: the system's, or the division.
        self.packages = int(fields["packagesUsed"])


class Expected:
    """The log and the records of one run, built step by step as the worker
    writes them, and the status its failures leave."""

    def __init__(self, runner):
        self.runner = runner
        self.log = "Log file opened\n"
        self.records = []
        self.status = 0

    def fail(self, status):
        self.status = status

    def server(self):
        self.log += "\n%s version %s\n" % SERVER

    def host(self, packages=2):
        """The once-per-run reads: the cpuid report and hostPackageCount."""
        exe, cpuid = self.runner.own_paths()
        self.log += "getInfoFromCPUID() started.\n"
        self.log += "DBG: path to enabler executable: '%s'\n" % exe
        self.log += "DBG: path to cpuid executable: '%s'\n" % cpuid
        self.log += ("DBG: cpuid numPackages         = %d\n"
                     "DBG: cpuid corePerPackageCount = 4\n"
                     "DBG: cpuid logicalProcPerCore  = 2\n"
                     "DBG: cpuid manufacturer = 'GenuineIntel'\n"
                     "DBG: cpuid family       = '6'\n"
                     "DBG: cpuid type         = '0'\n"
                     "DBG: cpuid bits         = 64\n" % packages)
        if packages > 0:
            self.log += "DBG: PHYSICAL_PROCESSOR = '%s'\n" % RECORD
        self.log += "getInfoFromCPUID() finished with result=%d\n" % (
            1 if packages > 0 else 0)
        self.log += "hostPackageCount=%d\n" % (packages if packages > 0 else -1)

    def machine(self, name, state):
        self.log += "\n>> %s: %s\n" % (name, state)
        if state != "Running":
            self.log += "OK: Exiting\n"

    def settings(self, cap=None, cpus=None, syscap=None):
        """The three capacity reads; None for one that fails."""
        if cap is None:
            self.log += "ERROR: failure retrieving max vm capacity\n"
            self.fail(3)
        else:
            self.log += "max_vm_cap=%f\n" % cap
        if cpus is None:
            self.log += "ERROR: failure retrieving host cpu count\n"
        else:
            self.log += "host_cpu_count=%d\n" % cpus
        if syscap is None:
            self.log += "ERROR: failure retrieving max system capacity\n"
        else:
            self.log += "max_sys_cap=%f\n" % syscap

    def parameter(self, machine, name, value, shown=None, failing=()):
        label = LABELS[name]
        if name in failing or "SetParameter" in failing:
            self.log += "ERROR: Failure during %s set\n" % label
            self.fail(5)
            return
        self.log += "OK: Parameter %s set with value '%s'\n" % (
            label, value if shown is None else shown)
        self.records.append("%s\t%s\t%s\n" % (machine, name, value))

    def parameters(self, machine, capacity=None, record=True, failing=()):
        """Everything a running machine gets. `capacity` is None, or the rule
        ("max_vm_cap" or "max_sys_cap") and the capacity."""
        identity = self.runner.identity
        for name, field in (("KEP_NODE_ID", "nodeId"),
                            ("KEP_HOST_PRODUCT", "product"),
                            ("KEP_HOST_MANUFACTURER", "manufacturer"),
                            ("KEP_HOST_VERSION", "version")):
            self.parameter(machine, name, identity[field], failing=failing)
        self.parameter(machine, "KEP_HOST_TYPE", identity["type"] or "-",
                       failing=failing)
        probe = self.runner.probe
        if probe.result:
            self.log += "ERROR: Failure during KEP_NODE_CAPACITY set\n"
            self.fail(5)
        self.log += "cores %d\nht per core %d\nht processors %d\n" % (
            probe.cores, probe.per_core, probe.ht)
        self.log += "numOfProcessors=%d\nnumOfPhysicalPackages=%d\n" % (
            probe.processors, probe.packages)
        if probe.packages == 0:
            self.fail(1)
        self.parameter(machine, "KEP_NODE_CAPACITY",
                       str(probe.packages & 0xFF), str(probe.packages),
                       failing=failing)
        self.parameter(machine, "KEP_VM_ID", machine, failing=failing)
        if capacity is not None:
            rule, value = capacity
            self.log += "Setting KEP_VM_CAPACITY with %s=%f\n" % (rule, value)
            self.parameter(machine, "KEP_VM_CAPACITY", number_text(value),
                           failing=failing)
        if record:
            self.parameter(machine, "KEP_PHYSICAL_PROCESSOR", RECORD,
                           failing=failing)

    def text(self):
        if self.status:
            end = "\nERROR: Return code %d\n" % self.status
        else:
            end = "\nOK: Return code 0\n"
        return self.log + end + "\nClosing log file\n"


class Runner:
    """Runs vs-enabler copied into a case's directory beside fake_cpuid."""

    def __init__(self, case):
        self.case = case

    def model(self, name, fail_server="", fail_machine=""):
        """A fixture model, with the fail lists of one_running_one_failing put
        in; written into the case's directory."""
        with open(fixture(name), encoding="utf-8") as f:
            text = f.read()
        text = text.replace("FAIL_SERVER", fail_server)
        text = text.replace("FAIL_MACHINE", fail_machine)
        path = self.case.path("model.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def records(self):
        path = self.case.path("records.txt")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:
            return f.readlines()


class NativeRunner(Runner):
    """`env` is added to the environment of cpuprobe and of the enabler."""

    def __init__(self, case, dmi="dmi_full", env=None):
        super().__init__(case)
        self.dmi = fixture(dmi)
        self.env = env or {}
        self.identity = {}
        for field, name in (("nodeId", "product_serial"),
                            ("manufacturer", "bios_vendor"),
                            ("version", "bios_version"),
                            ("product", "product_name"),
                            ("type", "product_version")):
            with open(os.path.join(self.dmi, name), encoding="utf-8") as f:
                text = f.read()
            self.identity[field] = text[:-1] if text.endswith("\n") else text
        self.probe = Probe(run([native("cpuprobe")], cwd=case.dir,
                               env=self.env).stdout.decode("ascii"))
        shutil.copy(native("vs-enabler"), case.path("vs-enabler"))
        shutil.copy(native("fake_cpuid"), case.path("cpuid"))

    def own_paths(self):
        return self.case.path("vs-enabler"), self.case.path("cpuid")

    def run(self, model, report="two_packages.report", args=("-v",)):
        env = {
            "KEP_VS_MODEL": model,
            "KEP_VS_PARAMETERS": self.case.path("records.txt"),
            "FAKE_CPUID_DOCUMENT": fixture(report),
            "KEP_DMI_ROOT": self.dmi,
            "KEP_HOMEDIR": None,
        }
        env.update(self.env)
        result = run([self.case.path("vs-enabler")] + list(args),
                     cwd=self.case.dir, env=env)
        self.stdout, self.stderr = result.stdout, result.stderr
        if not set(args) & ANSWERING:
            self.case.assertEqual(b"", result.stdout)
        log = ""
        if os.path.exists(self.case.path("en_out.txt")):
            log = self.case.read("en_out.txt").decode("utf-8")
        return result.status, log


def expected_several_machines(runner):
    """What a run of several_machines.model gives: each capacity rule, a saved
    machine and a state out of range."""
    expected = Expected(runner)
    expected.server()
    expected.host()
    expected.machine("web01", "Running")
    expected.settings(25, 4, 50)
    expected.parameters("web01", ("max_vm_cap", 100.0))
    expected.machine("db01", "Saved")
    expected.settings(12.5, 2, 80)
    expected.machine("app01", "Running")
    expected.settings(0, 4, 37.5)
    expected.parameters("app01", ("max_sys_cap", 75.0))
    expected.machine("old01", "Invalid")  # state 42
    expected.settings(10, None, None)
    return expected


def expected_other_value_types(runner):
    """What a run of other_value_types.model gives: values of other types are
    converted first."""
    expected = Expected(runner)
    expected.server()
    expected.host()
    expected.machine("web01", "Running")
    expected.settings(25, 4, 50)  # "25", 4.5 rounded to even, integer 50
    expected.parameters("web01", ("max_vm_cap", 100.0))
    expected.machine("app01", "Running")
    expected.settings(None, 2, 37.5)  # "none" is no number; 2.5 gives 2
    expected.parameters("app01", ("max_sys_cap", 75.0))
    return expected


def check_dry_run(case):
    """A dry run of one_running_one_failing whose bad01 refuses every
    parameter: the walk of a real run without its failures, each parameter on
    standard output (as the record would hold it) and in the log as one that
    would be set, and nothing recorded."""
    runner = case.runner
    expected = expected_failure_run(runner, "", "")
    model = runner.model("one_running_one_failing.model", "", "SetParameter")
    status, log = runner.run(model, args=("--dry-run", "-v"))
    text = expected.text().replace("Log file opened\n", "Log file opened\n"
                                   "Dry run: no parameter is set\n", 1)
    text = re.sub(r"^OK: Parameter (\S+) set with", r"Dry run: Parameter \1 "
                  r"would be set with", text, flags=re.M)
    case.assertEqual(text, log)
    case.assertEqual("".join(expected.records),
                     runner.stdout.decode("utf-8"))
    case.assertFalse(os.path.exists(case.path("records.txt")))
    case.assertEqual(expected.status, status)


class NativeTest(TempDirCase):

    def setUp(self):
        super().setUp()
        require_programs(*(native(name) for name in
                           ("vs-enabler", "fake_cpuid", "cpuprobe")))
        self.runner = NativeRunner(self)

    def check(self, expected, model, report="two_packages.report"):
        status, log = self.runner.run(model, report)
        self.assertEqual(expected.text(), log)
        self.assertEqual(expected.records, self.runner.records())
        self.assertEqual(expected.status, status)

    def test_no_machines(self):
        expected = Expected(self.runner)
        expected.server()
        expected.log += "ERROR: >> No virtual machines configured for this server\n"
        self.check(expected, fixture("no_machines.model"))

    def test_several_machines_every_rule_and_state(self):
        self.check(expected_several_machines(self.runner),
                   fixture("several_machines.model"))

    def test_saved_machine_with_unreadable_cap_sets_status_3(self):
        expected = Expected(self.runner)
        expected.server()
        expected.host()
        expected.machine("db01", "Saved")
        expected.settings(None, 2, 80)
        self.check(expected, fixture("saved_without_cap.model"))

    def test_running_machine_without_capacity_settings(self):
        expected = Expected(self.runner)
        expected.server()
        expected.host()
        expected.machine("bare01", "Running")
        expected.settings(None, None, None)
        expected.parameters("bare01")
        self.check(expected, fixture("no_capacity_settings.model"))

    def test_empty_product_type_is_sent_as_dash(self):
        self.runner = NativeRunner(self, dmi="dmi_no_type")
        self.assertEqual("", self.runner.identity["type"])
        expected = Expected(self.runner)
        expected.server()
        expected.host()
        expected.machine("bare01", "Running")
        expected.settings(None, None, None)
        expected.parameters("bare01")
        self.assertIn("OK: Parameter KEP_HOST_TYPE set with value '-'\n",
                      expected.log)
        self.check(expected, fixture("no_capacity_settings.model"))

    def test_other_value_types_are_converted(self):
        self.check(expected_other_value_types(self.runner),
                   fixture("other_value_types.model"))

    def test_node_capacity_is_the_systems_package_count(self):
        root = make_cpu_root(self.path("cpu"), 2)
        self.runner = NativeRunner(self, env={"KEP_CPU_ROOT": root})
        self.assertEqual(2, self.runner.probe.packages)
        expected = expected_several_machines(self.runner)
        self.assertIn("numOfPhysicalPackages=2\n", expected.log)
        self.check(expected, fixture("several_machines.model"))

    def test_without_cpuid_count_system_rule_uses_probe_count(self):
        expected = Expected(self.runner)
        expected.server()
        expected.host(packages=0)
        expected.machine("app01", "Running")
        expected.settings(0, None, 37.5)
        packages = self.runner.probe.packages
        capacity = ("max_sys_cap", packages * 37.5) if packages >= 1 else None
        expected.parameters("app01", capacity, record=False)
        self.check(expected, fixture("system_capacity_only.model"),
                   report="no_packages.report")

    def test_last_failure_decides_the_status(self):
        for model, status in (("set_failure_then_unreadable_cap.model", 3),
                              ("unreadable_cap_then_set_failure.model", 5)):
            with self.subTest(model=model):
                status_now, log = self.runner.run(fixture(model))
                self.assertIn("ERROR: Failure during KEP_VM_ID set\n", log)
                self.assertIn("ERROR: failure retrieving max vm capacity\n",
                              log)
                self.assertEqual(status, status_now)

    def test_not_installed(self):
        blank = self.path("blank.model")
        with open(blank, "w") as f:
            f.write("1.0 0 model\n(server\nName:s=A\n\n)\n")
        for why, model, said in (
                ("unset", None, ""),
                ("unreadable", self.path("missing.model"),
                 "the model cannot be read: "),
                ("blank line", blank, "%s:4: a blank line" % blank)):
            with self.subTest(why=why):
                status, log = self.runner.run(model)
                self.assertEqual(
                    "Log file opened\n"
                    "ERROR: Microsoft Virtual Server not installed!\n"
                    "\nERROR: Return code 6\n\nClosing log file\n", log)
                self.assertEqual(6, status)
                self.assertEqual([], self.runner.records())
                # The simulated server says why, on standard error only.
                prefix = b"simulated Virtual Server: " if said else b""
                self.assertTrue(self.runner.stderr.startswith(
                    prefix + said.encode()), self.runner.stderr)
                # The enabler adds the connection's own code.
                self.assertRegex(self.runner.stderr,
                                 rb"(^|\n)vs-enabler: Virtual Server: "
                                 rb"connecting failed with 0x8[0-9A-F]{7}")

    def test_every_failure_point(self):
        for fail_server, fail_machine in FAILURE_POINTS:
            with self.subTest(server=fail_server, machine=fail_machine):
                expected = expected_failure_run(self.runner, fail_server,
                                                fail_machine)
                if os.path.exists(self.path("records.txt")):
                    os.remove(self.path("records.txt"))
                model = self.runner.model("one_running_one_failing.model",
                                          fail_server, fail_machine)
                self.check(expected, model)

    def test_dry_run_names_the_machine_call_that_stops_the_walk(self):
        # The log has no line for these; the dry run says which call failed,
        # a real run does not.
        for call in ("get_Item", "get_Name", "get_State",
                     "get_CapacityObject", "get_GuestParameterObject"):
            with self.subTest(call=call):
                model = self.runner.model("one_running_one_failing.model",
                                          "", call)
                said = re.compile(
                    rb"(^|\n)vs-enabler: Virtual Server: machine 2: %s "
                    rb"failed with 0x8[0-9A-F]{7}[^\n]*; the walk stops "
                    rb"here\n" % call.encode())
                self.runner.run(model, args=("--dry-run",))
                self.assertRegex(self.runner.stderr, said)
                self.runner.run(model)
                self.assertNotRegex(self.runner.stderr, said)

    @e2e.every_lane
    def test_installed_beside_the_project_cpuid_program(self):
        env = {
            "KEP_VS_MODEL": fixture("several_machines.model"),
            "KEP_VS_PARAMETERS": self.path("records.txt"),
            "KEP_DMI_ROOT": fixture("dmi_full"),
            "KEP_HOMEDIR": None,
        }
        result = run([native("vs-enabler"), "-v"], cwd=self.dir, env=env)
        log = self.read("en_out.txt").decode("utf-8")
        self.assertIn("DBG: path to cpuid executable: '%s'\n"
                      % os.path.join(NATIVE_BIN, "cpuid"), log)
        check_installed_run(self, self.runner.probe, result.status, log,
                            self.runner.records())

    def test_dry_run_sets_nothing(self):
        check_dry_run(self)

    def test_help_and_version_do_not_do_the_job(self):
        for args, shows in ((["--help"], b"en_out.txt"), (["/?"], b"--dry-run"),
                            (["--version"], b" release ")):
            with self.subTest(args=args):
                status, log = self.runner.run(
                    fixture("several_machines.model"), args=args)
                self.assertEqual((0, ""), (status, log))
                self.assertIn(shows, self.runner.stdout)
                self.assertFalse(os.path.exists(self.path("records.txt")))

    def test_without_log_only_the_status_reports(self):
        model = self.runner.model("one_running_one_failing.model", "",
                                  "SetParameter:KEP_HOST_TYPE")
        status, log = self.runner.run(model, args=())
        self.assertEqual("", log)
        self.assertFalse(os.path.exists(self.path("en_out.txt")))
        self.assertEqual(5, status)
        self.assertEqual(26, len(self.runner.records()))


# Each failure point of the simulated server, in one_running_one_failing:
# web01 runs normally, bad01 carries the machine's fail list, last01 follows.
FAILURE_POINTS = [
    ("connect", ""),
    ("get_Name", ""),
    ("get_Version", ""),
    ("get_VirtualMachines", ""),
    ("get_Count", ""),
    ("", "get_Item"),
    ("", "get_Name"),
    ("", "get_State"),
    ("", "get_CapacityObject"),
    ("", "get_GuestParameterObject"),
    ("", "SetParameter"),
    ("", "SetParameter:KEP_HOST_MANUFACTURER"),
    ("", "SetParameter:KEP_VM_CAPACITY"),
]


def expected_failure_run(runner, fail_server, fail_machine):
    """What a run of one_running_one_failing with these fail lists gives."""
    expected = Expected(runner)
    if fail_server == "connect":
        expected.log += "ERROR: Microsoft Virtual Server not installed!\n"
        expected.fail(6)
        return expected
    if fail_server in ("get_Name", "get_Version"):
        expected.log += "ERROR: Error in %s\n" % fail_server
        expected.fail(6)
        return expected
    expected.server()
    if fail_server in ("get_VirtualMachines", "get_Count"):
        expected.fail(7)
        return expected
    expected.host()
    expected.machine("web01", "Running")
    expected.settings(25, 4, 50)
    expected.parameters("web01", ("max_vm_cap", 100.0))
    # The walk stops silently where bad01 or its objects cannot be had.
    if fail_machine in ("get_Item", "get_Name", "get_State"):
        return expected
    expected.machine("bad01", "Running")
    if fail_machine in ("get_CapacityObject", "get_GuestParameterObject"):
        return expected
    expected.settings(25, 4, 50)
    failing = (fail_machine.split(":", 1)[-1],)
    expected.parameters("bad01", ("max_vm_cap", 100.0), failing=failing)
    expected.machine("last01", "Running")
    expected.settings(10, 1, None)
    expected.parameters("last01", ("max_vm_cap", 10.0))
    return expected


class WineRunner(Runner):
    """Runs a Windows lane's vs-enabler.exe under Wine in the suite's
    prefix."""

    def __init__(self, case, identity, probe):
        super().__init__(case)
        self.identity = identity
        self.probe = probe
        shutil.copy(case.exe("vs-enabler"), case.path("vs-enabler.exe"))
        shutil.copy(case.exe("fake_cpuid"), case.path("cpuid.exe"))

    def own_paths(self):
        return (wine_path(self.case.path("vs-enabler.exe")),
                wine_path(self.case.path("cpuid.exe")))

    def run(self, model, report="two_packages.report", args=("-v",)):
        env = {
            "KEP_VS_MODEL": wine_path(model) if model else None,
            "KEP_VS_PARAMETERS": wine_path(self.case.path("records.txt")),
            "FAKE_CPUID_DOCUMENT": wine_path(fixture(report)),
            "KEP_HOMEDIR": None,
        }
        result = run([self.case.path("vs-enabler.exe")] + list(args),
                     cwd=self.case.dir, env=env, prefix=self.case.prefix)
        self.stdout = result.stdout.replace(b"\r\n", b"\n")
        self.stderr = result.stderr.replace(b"\r\n", b"\n")
        if not set(args) & ANSWERING:
            self.case.assertEqual(b"", result.stdout)
        raw = self.case.read("en_out.txt")
        # The log is a text-mode file: every line ends with CR LF.
        self.case.assertEqual(raw.count(b"\n"), raw.count(b"\r\n"))
        return result.status, raw.replace(b"\r\n", b"\n").decode("utf-8")


def wmic(cwd, prefix, *query):
    """The value wmic reports for one property, without its column's padding."""
    result = e2e.run_system_tool(["wmic"] + list(query), cwd, prefix)
    if result.status != 0:
        raise AssertionError("wmic %s: %r" % (" ".join(query), result.stderr))
    lines = [line.rstrip() for line in
             result.stdout.decode("utf-16").splitlines()]
    return lines[1]


def register_server(case, cwd, register=True):
    """Registers, or unregisters, the lane's COM server with the lane's own
    regsvr32, in the view of its bitness."""
    argv = ["regsvr32", "/s"] + ([] if register else ["/u"])
    result = e2e.run_system_tool(
        argv + [wine_path(os.path.join(case.lane.bin_dir,
                                       "vs_com_server.dll"))],
        cwd, case.prefix)
    if result.status != 0:
        raise AssertionError("regsvr32 %s: %r" % (argv, result.stderr))


class VsEnablerTest(e2e.WindowsCase):
    suite = "vs"
    programs = ("vs-enabler", "fake_cpuid", "cpuprobe")

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # Each Wine start costs; the registration, Wine's node identity and
        # the probe's view of the processor are the same for every case.
        if not cls.ready:
            return  # setUp skips or fails each case
        require_programs(os.path.join(cls.lane.bin_dir, "vs_com_server.dll"))
        cwd = tempfile.mkdtemp(prefix="enabler-e2e-")
        try:
            register_server(cls, cwd)
            query = functools.partial(wmic, cwd, cls.prefix)
            cls.identity = {
                "nodeId": query("bios", "get", "SerialNumber"),
                "manufacturer": query("bios", "get", "Manufacturer"),
                "version": query("bios", "get", "Version"),
                "product": query("path", "Win32_ComputerSystemProduct",
                                 "get", "Name"),
                "type": query("path", "Win32_ComputerSystemProduct",
                              "get", "Version"),
            }
            cls.probe = Probe(run([cls.exe("cpuprobe")], cwd=cwd,
                                  prefix=cls.prefix).stdout.decode("ascii"))
        finally:
            shutil.rmtree(cwd, True)

    def setUp(self):
        super().setUp()
        self.runner = WineRunner(self, self.identity, self.probe)

    def check(self, expected, model, report="two_packages.report"):
        status, log = self.runner.run(model, report)
        self.assertEqual(expected.text(), log)
        self.assertEqual(expected.records, self.runner.records())
        self.assertEqual(expected.status, status)

    @e2e.every_lane
    def test_several_machines_through_com(self):
        self.check(expected_several_machines(self.runner),
                   fixture("several_machines.model"))

    def test_other_value_types_through_variant_conversion(self):
        self.check(expected_other_value_types(self.runner),
                   fixture("other_value_types.model"))

    def test_not_installed(self):
        not_installed = ("Log file opened\n"
                         "ERROR: Microsoft Virtual Server not installed!\n"
                         "\nERROR: Return code 6\n\nClosing log file\n")
        # The class registered, but no model: the server refuses to exist.
        status, log = self.runner.run(None)
        self.assertEqual((6, not_installed), (status, log))
        # A model with a blank line: the server, inside the enabler, says
        # where on standard error.
        blank = self.path("blank.model")
        with open(blank, "w") as f:
            f.write("1.0 0 model\n(server\nName:s=A\n\n)\n")
        status, log = self.runner.run(blank)
        self.assertEqual((6, not_installed), (status, log))
        self.assertIn(b"simulated Virtual Server: %s:4: a blank line"
                      % wine_path(blank).encode(), self.runner.stderr)
        # The class not registered at all.
        register_server(self, self.dir, register=False)
        try:
            status, log = self.runner.run(fixture("several_machines.model"))
        finally:
            register_server(self, self.dir)
        self.assertEqual((6, not_installed), (status, log))
        self.assertEqual([], self.runner.records())
        self.assertIn(b"vs-enabler: Virtual Server: connecting failed with "
                      b"0x80040154", self.runner.stderr)
        self.assertIn(b": Virtual Server is not installed\n",
                      self.runner.stderr)

    @e2e.every_lane
    def test_installed_beside_the_project_cpuid_program(self):
        env = {
            "KEP_VS_MODEL": wine_path(fixture("several_machines.model")),
            "KEP_VS_PARAMETERS": wine_path(self.path("records.txt")),
            "KEP_HOMEDIR": None,
        }
        result = run([self.exe("vs-enabler"), "-v"], cwd=self.dir, env=env,
                     prefix=self.prefix)
        log = self.read("en_out.txt").decode("utf-8").replace("\r\n", "\n")
        self.assertIn("DBG: path to cpuid executable: '%s'\n"
                      % wine_path(self.exe("cpuid")), log)
        check_installed_run(self, self.probe, result.status, log,
                            self.runner.records())

    def test_dry_run_through_com_sets_nothing(self):
        check_dry_run(self)

    def test_failure_points_through_com(self):
        for fail_server, fail_machine in (("connect", ""),
                                          ("get_Version", ""),
                                          ("get_Count", ""),
                                          ("", "get_State"),
                                          ("", "get_GuestParameterObject"),
                                          ("", "SetParameter:KEP_VM_ID")):
            with self.subTest(server=fail_server, machine=fail_machine):
                if os.path.exists(self.path("records.txt")):
                    os.remove(self.path("records.txt"))
                expected = expected_failure_run(self.runner, fail_server,
                                                fail_machine)
                model = self.runner.model("one_running_one_failing.model",
                                          fail_server, fail_machine)
                self.check(expected, model)


e2e.on_lanes(VsEnablerTest, globals())


if __name__ == "__main__":
    unittest.main()
