"""End-to-end tests of cpuprobe: the recorded processors below
tests/fixtures/cpuid, the live probe, and each Windows lane under Wine."""

import json
import os
import unittest

import e2e_support as e2e
from e2e_support import (FIXTURES, TempDirCase, make_cpu_root, native,
                         require_programs, run, wine_path)

# Every field of the processor record, in the order of its definition.
FIELDS = [
    "vendor", "brandString", "family", "model", "stepping", "processorType",
    "brandIndex", "cpuSignature", "maxCpuidLevel", "maxCpuidExtLevel",
    "apicId", "apicIdCount", "cacheDescriptors", "L2CacheSize",
    "L2CacheLineSize", "L2CacheAssociativity", "L3CacheSize",
    "L3CacheLineSize", "L3CacheAssociativity", "HTTisSet", "featuresEcx",
    "featuresEdx", "ext1Eax", "ext1Ebx", "ext1Ecx", "ext1Edx",
    "Intel.isIntel", "Intel.maxCoresPerChip", "AMD.isAMD",
    "AMD.powerManagement", "AMD.extBrandId", "AMD.cmpLegacyIsSet",
    "AMD.maxCoresPerChip", "AMD.apicCoreBitsCount", "AMD.numOfCores",
    "numCoresPerChip", "numLogicalPerChip", "numLogicalPerCore",
    "htLogicalProcessors", "numOfCores", "htLogicalPerCore",
]
PACKAGE_NAMES = ["numberOfPhysicalPackages", "packagesByDivision",
                 "packagesUsed", "packagesSource"]
NAMES = (["result"] + FIELDS + ["descriptorCount", "numberOfProcessors"] +
         PACKAGE_NAMES)
# The fields that hold a register or bits of one: hexadecimal in the
# name=value lines, numbers in the JSON.
REGISTER_FIELDS = {
    "cpuSignature", "maxCpuidLevel", "maxCpuidExtLevel", "featuresEcx",
    "featuresEdx", "ext1Eax", "ext1Ebx", "ext1Ecx", "ext1Edx",
    "AMD.powerManagement", "AMD.extBrandId",
}


def hx(value):
    """A register value as the name=value lines write it."""
    return "0x%08x" % value


# Key lines of each recorded processor, from the probe's rules applied to the
# registers in the file.
EXPECTED = {
    "intel_core2_duo_e6600.txt": {
        "result": "0", "vendor": "GenuineIntel",
        "brandString": "Intel(R) Core(TM)2 CPU          6600  @ 2.40GHz",
        "family": "6", "model": "15", "stepping": "6",
        "cpuSignature": hx(0x6F6), "maxCpuidLevel": hx(10),
        "maxCpuidExtLevel": hx(0x80000008), "apicIdCount": "2",
        "cacheDescriptors": "05b0b100005657f0000000002cb43049",
        "descriptorCount": "16", "L2CacheSize": "4096",
        "L2CacheLineSize": "64", "L2CacheAssociativity": "16",
        "L3CacheSize": "-1", "HTTisSet": "1", "featuresEdx": hx(0xBFEBFBFF),
        "Intel.isIntel": "1", "Intel.maxCoresPerChip": "2", "AMD.isAMD": "0",
        "numCoresPerChip": "2", "numLogicalPerChip": "2",
        "numLogicalPerCore": "1", "htLogicalProcessors": "2",
        "numOfCores": "2", "htLogicalPerCore": "1",
    },
    "intel_pentium4_ht_northwood.txt": {
        "result": "0", "brandString": "Intel(R) Pentium(R) 4 CPU 3.00GHz",
        "family": "15", "model": "2", "stepping": "9", "brandIndex": "9",
        "maxCpuidLevel": hx(2), "maxCpuidExtLevel": hx(0x80000004),
        "cacheDescriptors": "665b50000000000000000000007b7040",
        "descriptorCount": "16", "L2CacheSize": "512",
        "L2CacheAssociativity": "8", "Intel.maxCoresPerChip": "0",
        "numCoresPerChip": "1", "numLogicalPerChip": "2",
        "numLogicalPerCore": "2", "htLogicalProcessors": "2",
        "numOfCores": "1", "htLogicalPerCore": "2",
    },
    "amd_opteron_275_family15.txt": {
        "result": "0", "vendor": "AuthenticAMD",
        "brandString": "Dual Core AMD Opteron(tm) Processor 275",
        "family": "15", "model": "33", "cpuSignature": hx(0x20F12),
        "cacheDescriptors": "", "descriptorCount": "0",
        "L2CacheSize": "1024", "L2CacheLineSize": "64",
        "L2CacheAssociativity": "16", "AMD.isAMD": "1",
        "AMD.powerManagement": hx(63), "AMD.cmpLegacyIsSet": "1",
        "AMD.maxCoresPerChip": "2", "AMD.apicCoreBitsCount": "0",
        "AMD.numOfCores": "2", "numCoresPerChip": "2",
        "numLogicalPerChip": "2", "numLogicalPerCore": "1",
        "htLogicalProcessors": "2", "numOfCores": "2",
        "htLogicalPerCore": "1",
    },
    "amd_opteron_2356_family10h.txt": {
        "result": "0", "family": "16", "model": "2", "stepping": "3",
        "descriptorCount": "0", "L2CacheSize": "512",
        "L2CacheAssociativity": "16", "AMD.powerManagement": hx(0x1F9),
        "AMD.maxCoresPerChip": "4", "AMD.apicCoreBitsCount": "2",
        "AMD.numOfCores": "4", "numCoresPerChip": "1",
        "numLogicalPerChip": "1", "numLogicalPerCore": "1",
        "htLogicalProcessors": "4", "numOfCores": "4",
        "htLogicalPerCore": "1",
    },
    "amd_duron_spitfire_630.txt": {
        "result": "0", "brandString": "AMD Duron(tm) Processor",
        "family": "6", "model": "3", "cpuSignature": hx(0x630),
        "maxCpuidExtLevel": hx(0x80000006), "L2CacheSize": "64",
        "L2CacheLineSize": "64", "L2CacheAssociativity": "16",
        "HTTisSet": "0", "AMD.numOfCores": "0", "htLogicalProcessors": "1",
        "numOfCores": "1", "htLogicalPerCore": "1",
    },
    "intel_xeon_nehalem_ep_106a2.txt": {
        "result": "0", "vendor": "GenuineIntel",
        "brandString": "Genuine Intel(R) CPU           @ 0000 @ 2.67GHz",
        "family": "6", "model": "10", "stepping": "2",
        "cpuSignature": hx(0x106A2), "maxCpuidLevel": hx(11),
        "apicIdCount": "16", "HTTisSet": "1", "descriptorCount": "16",
        "L2CacheSize": "256", "L2CacheAssociativity": "8",
        "L3CacheSize": "-1", "Intel.maxCoresPerChip": "8",
        "numCoresPerChip": "8", "numLogicalPerChip": "16",
        "numLogicalPerCore": "2", "htLogicalProcessors": "16",
        "numOfCores": "8", "htLogicalPerCore": "2",
    },
    # Control bytes and lines of their own in the texts, escaped.
    "forged_processor_texts.txt": {
        "result": "0", "vendor": "Ev\\nresult=1\\\\",
        "brandString": "Evil\\r\\t\\x01\\xe9\\nnumberOfPhysicalPackages=64",
    },
    "amd_epyc_vm_recorded.txt": {
        "result": "0", "vendor": "AuthenticAMD", "brandString": "AMD EPYC",
        "family": "25", "model": "17", "apicId": "1", "L2CacheSize": "1024",
        "L2CacheAssociativity": "8", "AMD.maxCoresPerChip": "128",
        "AMD.numOfCores": "2", "htLogicalProcessors": "2",
        "numOfCores": "2", "htLogicalPerCore": "1",
    },
    "amd_epyc_vm_cache_leaves.txt": {
        "result": "0", "family": "25", "model": "1", "stepping": "1",
        "cpuSignature": hx(0x00A00F11), "maxCpuidExtLevel": hx(0x80000022),
        "ext1Ecx": hx(0x004003F3), "L2CacheSize": "512",
        "L2CacheAssociativity": "8", "L3CacheSize": "-1",
        "htLogicalProcessors": "2", "numOfCores": "2",
    },
}


def fixture(name):
    return os.path.join(FIXTURES, "cpuid", name)


def fixture_names():
    return sorted(n for n in os.listdir(os.path.join(FIXTURES, "cpuid"))
                  if n.endswith(".txt"))


def parse_output(testcase, stdout):
    """The name=value lines of a cpuprobe run, checked for names and order."""
    text = stdout.decode("latin-1").replace("\r\n", "\n")
    testcase.assertTrue(text.endswith("\n"), text)
    pairs = [line.split("=", 1) for line in text[:-1].split("\n")]
    testcase.assertEqual(NAMES, [p[0] for p in pairs])
    return dict(pairs)


def kernel_processor(cpu):
    """cpu family, model and stepping of logical processor `cpu` in
    /proc/cpuinfo; None where the file or the fields are missing."""
    try:
        with open("/proc/cpuinfo") as f:
            blocks = f.read().split("\n\n")
    except OSError:
        return None
    for block in blocks:
        fields = dict((k.strip(), v.strip()) for k, _, v in
                      (line.partition(":") for line in block.splitlines()))
        if fields.get("processor") == str(cpu):
            try:
                return tuple(int(fields[k]) for k in
                             ("cpu family", "model", "stepping"))
            except (KeyError, ValueError):
                return None
    return None


def kernel_caches(cpu):
    """The caches of logical processor `cpu` below /sys/devices/system/cpu as
    (level, type, size in KB, ways, line size), sorted; None where the
    kernel shows none."""
    root = "/sys/devices/system/cpu/cpu%d/cache" % cpu
    try:
        names = sorted(n for n in os.listdir(root) if n.startswith("index"))
    except OSError:
        return None
    caches = []
    for name in names:
        def attribute(what):
            with open(os.path.join(root, name, what)) as f:
                return f.read().strip()
        try:
            size = attribute("size")
            caches.append((int(attribute("level")), attribute("type").lower(),
                           int(size[:-1]) if size.endswith("K") else -1,
                           int(attribute("ways_of_associativity")),
                           int(attribute("coherency_line_size"))))
        except (OSError, ValueError):
            return None
    return sorted(caches) or None


def capacity_line(stdout, program):
    """The value a --summary says `program` would publish."""
    for line in stdout.decode("latin-1").splitlines():
        if line.startswith(program + ":"):
            return int(line.split(":")[1].split()[-1])
    raise AssertionError("no %s line in %r" % (program, stdout))


class OptionCases:
    """--summary, --json, help and version, each once; a subclass says how
    cpuprobe runs and how a fixture is named for it."""

    def test_summary_and_json_tell_what_each_enabler_publishes(self):
        nehalem = self.fixture_arg("intel_xeon_nehalem_ep_106a2.txt")
        no_cpuid = self.fixture_arg("no_cpuid_host.txt", "no-cpuid\n")
        # Arguments; the count the enablers take, where it comes from, and
        # the node capacity of vs-enabler and vmware-enabler.
        cases = [
            ([nehalem, "--processors", "16", "--packages", "2"],
             (2, "system", 2, 2)),
            ([nehalem, "--processors", "16"], (1, "division", 1, 1)),
            ([nehalem, "--processors", "8"], (0, "division", 0, 1)),
            ([nehalem, "--processors", "16", "--packages", "300"],
             (300, "system", 300 & 0xFF, 300)),
            ([no_cpuid, "--processors", "4", "--packages", "2"],
             (4, "division", 4, 0)),
        ]
        for args, (used, source, vs, vmware) in cases:
            with self.subTest(args=args[1:]):
                fields = self.cpuprobe(["--replay"] + args)
                summary = self.cpuprobe(["--summary", "--replay"] + args)
                data = self.cpuprobe(["--json", "--replay"] + args)
                for result in (fields, summary, data):
                    self.assertEqual((0, b""), (result.status, result.stderr))
                self.assertEqual(vs, capacity_line(summary.stdout,
                                                   "vs-enabler"))
                self.assertEqual(vmware, capacity_line(summary.stdout,
                                                       "vmware-enabler"))
                # The JSON holds every field of the default output, with the
                # same values, and the capacities.
                parsed = json.loads(data.stdout.decode("utf-8"))
                want = parse_output(self, fields.stdout)
                self.assertEqual(NAMES + ["nodeCapacity", "processor",
                                          "caches"], list(parsed))
                self.assertEqual(want, {
                    name: hx(parsed[name]) if name in REGISTER_FIELDS
                    else str(parsed[name]) for name in NAMES})
                self.assertEqual((used, source), (parsed["packagesUsed"],
                                                  parsed["packagesSource"]))
                self.assertEqual((vs, vmware), (
                    parsed["nodeCapacity"]["vs-enabler"]["value"],
                    parsed["nodeCapacity"]["vmware-enabler"]["value"]))

    def test_help_version_and_refused_combinations(self):
        for args, status, shows in ((["--help"], 0, b"--summary"),
                                    (["-?"], 0, b"--json"),
                                    (["--version"], 0, b"cpuprobe release "),
                                    (["--summary", "--json"], 2, b""),
                                    (["--record", "--json"], 2, b"")):
            with self.subTest(args=args):
                result = self.cpuprobe(args)
                self.assertEqual(status, result.status)
                self.assertIn(shows, result.stdout)
                self.assertEqual(b"" if status == 0 else b"usage: cpuprobe",
                                 result.stderr[:len(b"usage: cpuprobe")])


class NativeCpuProbeTest(OptionCases, TempDirCase):

    def cpuprobe(self, args):
        return run([native("cpuprobe")] + args, cwd=self.dir)

    def fixture_arg(self, name, text=None):
        if text is None:
            return fixture(name)
        with open(self.path(name), "w") as f:
            f.write(text)
        return self.path(name)

    def probe(self, *args):
        return run([native("cpuprobe")] + list(args), cwd=self.dir)

    def test_summary_and_json_show_the_vendors_numbering_and_every_cache(self):
        # The numbering and the cache list are the scanner's, the same on
        # every build: the Windows lanes need not repeat them.
        # The record keeps its own family and model (Nehalem's model 10,
        # Opteron 275's model 33 as the probe extends it); the summary and
        # the JSON number them as the vendors do. The Opteron's leaf
        # 0x80000006 codes 16 ways as 8; the recorded EPYC's codes its L3's
        # ways as 9, "see leaf 0x8000001D", which is no number of ways.
        cases = [
            ("intel_xeon_nehalem_ep_106a2.txt", (6, 26, 2), [
                "signature:           0x000106a2",
                "highest leaves:      0x0000000b, 0x80000008",
                "caches:              4, from leaf 4",
                "  L1 data:           32 KB, 8-way, 64-byte lines, shared by"
                " up to 2 logical processors",
                "  L1 instruction:    32 KB, 4-way, 64-byte lines, shared by"
                " up to 2 logical processors",
                "  L2 unified:        256 KB, 8-way, 64-byte lines, shared by"
                " up to 2 logical processors",
                "  L3 unified:        8 MB, 16-way, 64-byte lines, shared by"
                " up to 16 logical processors"]),
            ("amd_opteron_275_family15.txt", (15, 33, 2), [
                "caches:              3, from leaves 0x80000005 and "
                "0x80000006",
                "  L1 data:           64 KB, 2-way, 64-byte lines",
                "  L2 unified:        1 MB, 16-way, 64-byte lines"]),
            ("amd_epyc_vm_recorded.txt", (25, 17, 1), [
                "  L2 unified:        1 MB, 8-way, 64-byte lines",
                "  L3 unified:        320 MB, ways not reported, 64-byte "
                "lines"]),
            ("amd_epyc_vm_cache_leaves.txt", (25, 1, 1), [
                "caches:              4, from leaf 0x8000001D",
                "  L3 unified:        32 MB, 16-way, 64-byte lines, shared by"
                " 2 logical processors"]),
            ("intel_pentium4_ht_northwood.txt", (15, 2, 9), [
                "caches:              1, from leaf 2 and leaf 0x80000006",
                "  L2 unified:        512 KB, 8-way, 64-byte lines"]),
            ("forged_processor_texts.txt", (0, 0, 0), [
                "caches:              none reported"]),
        ]
        for name, (family, model, stepping), lines in cases:
            with self.subTest(fixture=name):
                summary = self.cpuprobe(["--summary", "--replay",
                                         self.fixture_arg(name)])
                self.assertEqual((0, b""), (summary.status, summary.stderr))
                got = summary.stdout.decode("latin-1").splitlines()
                self.assertIn("family/model/step:   %d / %d / %d"
                              % (family, model, stepping), got)
                for line in lines:
                    self.assertIn(line, got)
                data = json.loads(self.cpuprobe(
                    ["--json", "--replay", self.fixture_arg(name)])
                    .stdout.decode("utf-8"))
                self.assertEqual({"family": family, "model": model,
                                  "stepping": stepping}, data["processor"])
                caches = [line for line in got if line.startswith("  L")]
                self.assertEqual(len(caches), len(data["caches"]["levels"]))
        no_cpuid = self.cpuprobe(["--json", "--replay", self.fixture_arg(
            "no_cpuid_host.txt", "no-cpuid\n")])
        data = json.loads(no_cpuid.stdout.decode("utf-8"))
        self.assertIsNone(data["processor"])
        self.assertEqual({"source": "", "levels": []}, data["caches"])

    def test_fixtures_give_their_figures(self):
        self.assertEqual(sorted(EXPECTED), fixture_names())
        for name, want in sorted(EXPECTED.items()):
            with self.subTest(fixture=name):
                result = self.probe("--replay", fixture(name))
                self.assertEqual(0, result.status, result.stderr)
                self.assertEqual(b"", result.stderr)
                got = parse_output(self, result.stdout)
                self.assertEqual("1", got["numberOfProcessors"])
                self.assertEqual("0", got["numberOfPhysicalPackages"])
                self.assertEqual("division", got["packagesSource"])
                for key, value in want.items():
                    self.assertEqual(value, got[key], key)

    def test_processors_option_sets_the_count(self):
        result = self.probe("--replay", fixture("intel_core2_duo_e6600.txt"),
                            "--processors", "8")
        self.assertEqual(0, result.status)
        self.assertEqual("8", parse_output(self, result.stdout)
                         ["numberOfProcessors"])

    def test_package_counts_of_replayed_hosts(self):
        nehalem = fixture("intel_xeon_nehalem_ep_106a2.txt")
        with open(self.path("486.txt"), "w") as f:
            f.write("no-cpuid\n")
        # Options; then the system's count, the division, the count used
        # and where it came from.
        cases = [
            ([nehalem, "--processors", "8", "--packages", "1"],
             ("1", "0", "1", "system")),
            ([nehalem, "--processors", "16", "--packages", "2"],
             ("2", "1", "2", "system")),
            ([nehalem, "--processors", "16"], ("0", "1", "1", "division")),
            ([nehalem, "--processors", "8", "--packages", "0"],
             ("0", "0", "0", "division")),
            ([self.path("486.txt"), "--processors", "4", "--packages", "2"],
             ("2", "4", "4", "division")),
        ]
        for args, want in cases:
            with self.subTest(args=args[1:]):
                result = self.probe("--replay", *args)
                self.assertEqual(0, result.status, result.stderr)
                got = parse_output(self, result.stdout)
                self.assertEqual(want, tuple(got[n] for n in PACKAGE_NAMES))

    def test_replay_file_counts_unless_options_override(self):
        with open(fixture("intel_xeon_nehalem_ep_106a2.txt")) as f:
            readings = f.read()
        with open(self.path("host.txt"), "w") as f:
            f.write("processors 16\npackages 2\n" + readings)
        for args, want in (([], ("16", "2", "2")),
                           (["--processors", "8"], ("8", "2", "2")),
                           (["--packages", "0"], ("16", "0", "1"))):
            with self.subTest(args=args):
                result = self.probe("--replay", self.path("host.txt"), *args)
                self.assertEqual(0, result.status, result.stderr)
                got = parse_output(self, result.stdout)
                self.assertEqual(want, (got["numberOfProcessors"],
                                        got["numberOfPhysicalPackages"],
                                        got["packagesUsed"]))

    def test_live_probe_takes_the_systems_count(self):
        for packages, want in ((2, ("2", "2", "system")),
                               (0, ("0", None, "division"))):
            with self.subTest(packages=packages):
                root = self.path("cpu%d" % packages)
                if packages:
                    make_cpu_root(root, packages)
                else:
                    os.mkdir(root)
                result = run([native("cpuprobe")], cwd=self.dir,
                             env={"KEP_CPU_ROOT": root})
                self.assertEqual(0, result.status, result.stderr)
                got = parse_output(self, result.stdout)
                self.assertEqual(want[0], got["numberOfPhysicalPackages"])
                self.assertEqual(want[1] or got["packagesByDivision"],
                                 got["packagesUsed"])
                self.assertEqual(want[2], got["packagesSource"])

    def test_processor_without_cpuid(self):
        with open(self.path("486.txt"), "w") as f:
            f.write("# an i486\nno-cpuid\n")
        result = self.probe("--replay", self.path("486.txt"))
        self.assertEqual(0, result.status)
        got = parse_output(self, result.stdout)
        self.assertEqual("1", got["result"])
        self.assertEqual("-1", got["family"])
        self.assertEqual("1", got["htLogicalProcessors"])
        self.assertEqual("1", got["numOfCores"])
        self.assertEqual("0", got["htLogicalPerCore"])
        self.assertEqual("0", got["descriptorCount"])

    def test_live_probe_invariants(self):
        result = self.probe()
        self.assertEqual(0, result.status, result.stderr)
        got = parse_output(self, result.stdout)
        self.assertEqual("0", got["result"])
        self.assertEqual(12, len(got["vendor"]))
        self.assertGreaterEqual(int(got["numberOfProcessors"]), 1)
        self.assertGreaterEqual(int(got["numberOfPhysicalPackages"]), 1)
        self.assertEqual(got["numberOfPhysicalPackages"], got["packagesUsed"])
        self.assertEqual("system", got["packagesSource"])
        self.assertGreaterEqual(int(got["numOfCores"]), 1)
        self.assertGreaterEqual(int(got["numCoresPerChip"]), 1)
        self.assertEqual(int(got["htLogicalProcessors"])
                         // int(got["numOfCores"]),
                         int(got["htLogicalPerCore"]))
        self.assertEqual(2 * int(got["descriptorCount"]),
                         len(got["cacheDescriptors"]))

    def test_live_probe_agrees_with_the_kernel(self):
        """The kernel reads the same CPUID (a hypervisor's, on a virtual
        machine), so /proc/cpuinfo and the cache folders below
        /sys/devices/system/cpu must agree with what cpuprobe shows."""
        allowed = os.sched_getaffinity(0)
        cpu = min(allowed)
        processor, caches = kernel_processor(cpu), kernel_caches(cpu)
        if processor is None and caches is None:
            self.skipTest("no /proc/cpuinfo or cache folders on this system")
        # On one logical processor: hybrid processors differ by core.
        os.sched_setaffinity(0, {cpu})
        self.addCleanup(os.sched_setaffinity, 0, allowed)
        result = self.probe("--json")
        self.assertEqual(0, result.status, result.stderr)
        data = json.loads(result.stdout.decode("utf-8"))
        if processor is not None:
            shown = data["processor"]
            self.assertEqual(processor, (shown["family"], shown["model"],
                                         shown["stepping"]))
        if caches is not None:
            ours = sorted((c["level"], c["type"], c["sizeBytes"] // 1024,
                           c["ways"], c["lineSize"])
                          for c in data["caches"]["levels"])
            self.assertEqual(caches, ours, data["caches"]["source"])

    def test_recording_replays_to_the_live_record(self):
        live = self.probe()
        recorded = self.probe("--record")
        self.assertEqual(0, recorded.status, recorded.stderr)
        self.assertTrue(recorded.stdout.startswith(b"# "))
        with open(self.path("this.txt"), "wb") as f:
            f.write(recorded.stdout)
        want = parse_output(self, live.stdout)
        del want["apicId"]
        # The recording holds the cache leaves the summary reads as well.
        self.assertEqual(
            self.probe("--summary").stdout,
            self.probe("--summary", "--replay", self.path("this.txt")).stdout)
        # On another machine too: one whose system counts three packages.
        other = make_cpu_root(self.path("other"), 3)
        for env in ({}, {"KEP_CPU_ROOT": other}):
            with self.subTest(env=env):
                replayed = run([native("cpuprobe"), "--replay",
                                self.path("this.txt")], cwd=self.dir, env=env)
                self.assertEqual(0, replayed.status, replayed.stderr)
                got = parse_output(self, replayed.stdout)
                # The APIC ID belongs to whichever processor ran each probe.
                del got["apicId"]
                self.assertEqual(want, got)

    def test_unreadable_or_malformed_replay_file_gives_2(self):
        with open(self.path("bad.txt"), "w") as f:
            f.write("00000000: 0000000D-756E6547\n")
        cases = [("missing", self.path("none.txt"),
                  "cpuprobe: cannot read %s: No such file or directory "
                  "(error 2)" % self.path("none.txt")),
                 ("malformed", self.path("bad.txt"), "line 1:"),
                 ("directory", self.dir, "")]
        for why, path, text in cases:
            with self.subTest(why):
                result = self.probe("--replay", path)
                self.assertEqual(2, result.status)
                self.assertEqual(b"", result.stdout)
                lines = result.stderr.decode().splitlines()
                self.assertEqual(1, len(lines), result.stderr)
                self.assertIn(text, lines[0])

    def test_control_bytes_in_processor_texts_are_escaped(self):
        # The name=value lines are checked with the fixtures' figures; the
        # summary too prints the brand on its one line.
        summary = self.probe("--summary", "--replay",
                             fixture("forged_processor_texts.txt"))
        self.assertIn(b"\nbrand:               Evil\\r\\t\\x01\\xe9\\n"
                      b"numberOfPhysicalPackages=64\n", summary.stdout)

    def test_usage_errors_give_2(self):
        for args in (["--replay"], ["--processors", "2"], ["--packages", "1"],
                     ["--bogus"],
                     ["--replay", fixture(fixture_names()[0]),
                      "--packages", "-1"],
                     ["--record", "--replay", fixture(fixture_names()[0])],
                     ["--replay", fixture(fixture_names()[0]),
                      "--processors", "0"]):
            with self.subTest(args=args):
                result = self.probe(*args)
                self.assertEqual(2, result.status)
                self.assertEqual(b"", result.stdout)
                self.assertIn(b"usage: cpuprobe", result.stderr)


class CpuProbeTest(OptionCases, e2e.WindowsCase):
    programs = ("cpuprobe",)

    def cpuprobe(self, args):
        result = run([self.exe("cpuprobe")] + args, cwd=self.dir,
                     prefix=self.prefix)
        result.stdout = result.stdout.replace(b"\r\n", b"\n")
        return result

    def fixture_arg(self, name, text=None):
        if text is None:
            return wine_path(fixture(name))
        with open(self.path(name), "w") as f:
            f.write(text)
        return wine_path(self.path(name))

    def setUp(self):
        super().setUp()
        require_programs(native("cpuprobe"))

    def probe_both(self, *args):
        """Native and Wine results for the same arguments; file arguments
        are given to Wine in its Z: form."""
        wine_args = [wine_path(a) if os.path.isabs(a) else a for a in args]
        ours = run([native("cpuprobe")] + list(args), cwd=self.dir)
        theirs = run([self.exe("cpuprobe")] + wine_args, cwd=self.dir,
                     prefix=self.prefix)
        return ours, theirs

    @e2e.every_lane
    def test_replays_match_the_native_output(self):
        for name in fixture_names():
            with self.subTest(fixture=name):
                ours, theirs = self.probe_both("--replay", fixture(name),
                                               "--processors", "3")
                self.assertEqual(0, ours.status)
                self.assertEqual(0, theirs.status, theirs.stderr)
                self.assertEqual(ours.stdout,
                                 theirs.stdout.replace(b"\r\n", b"\n"))

    def test_missing_replay_file_gives_2(self):
        ours, theirs = self.probe_both("--replay", self.path("none.txt"))
        self.assertEqual(2, ours.status)
        self.assertEqual(2, theirs.status)
        self.assertEqual(b"", theirs.stdout)
        # The reason follows the path: the system's text and its code, which
        # is 2 for a missing file both as errno and as GetLastError().
        for result in (ours, theirs):
            self.assertIn(b"cannot read ", result.stderr)
            self.assertIn(b"none.txt: ", result.stderr)
            self.assertIn(b" (error 2)", result.stderr)

    @e2e.every_lane
    def test_live_probe_under_wine(self):
        result = run([self.exe("cpuprobe")], cwd=self.dir, prefix=self.prefix)
        self.assertEqual(0, result.status, result.stderr)
        got = parse_output(self, result.stdout)
        self.assertEqual("0", got["result"])
        self.assertGreaterEqual(int(got["numberOfProcessors"]), 1)
        self.assertGreaterEqual(int(got["numOfCores"]), 1)
        self.assertGreaterEqual(int(got["numberOfPhysicalPackages"]), 1)
        self.assertEqual(got["numberOfPhysicalPackages"], got["packagesUsed"])
        self.assertEqual("system", got["packagesSource"])
        native_got = parse_output(
            self, run([native("cpuprobe")], cwd=self.dir).stdout)
        for key in ("vendor", "brandString", "family", "model",
                    "numOfCores", "htLogicalProcessors"):
            self.assertEqual(native_got[key], got[key], key)

    def test_recording_under_wine_replays_natively(self):
        live = run([self.exe("cpuprobe")], cwd=self.dir, prefix=self.prefix)
        recorded = run([self.exe("cpuprobe"), "--record"], cwd=self.dir,
                       prefix=self.prefix)
        self.assertEqual(0, recorded.status, recorded.stderr)
        with open(self.path("wine.txt"), "wb") as f:
            f.write(recorded.stdout)
        replayed = run([native("cpuprobe"), "--replay", self.path("wine.txt")],
                       cwd=self.dir,
                       env={"KEP_CPU_ROOT": make_cpu_root(self.path("cpu"), 4)})
        self.assertEqual(0, replayed.status, replayed.stderr)
        want = parse_output(self, live.stdout)
        got = parse_output(self, replayed.stdout)
        for key in ["numberOfProcessors"] + PACKAGE_NAMES:
            self.assertEqual(want[key], got[key], key)


e2e.on_lanes(CpuProbeTest, globals())


if __name__ == "__main__":
    unittest.main()
