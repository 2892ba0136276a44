"""End-to-end checks of the host facts: the cpuid program's report of this
host, natively and on the Windows lanes under Wine, as the enablers' reader
sees it through vtdump, and the node identity that Wine's WMI gives."""

import unittest
import xml.etree.ElementTree as ElementTree

import e2e_support as e2e
from e2e_support import (TempDirCase, WindowsCase, native, require_programs,
                         run, wine_path)

# cpuid.exe and unit_tests.exe are no programs of the release: its lane would
# repeat win32's.
LANES = (e2e.WIN32, e2e.WIN64)


def parse_report(text):
    """The status line and the values of a cpuid report, keyed by the dotted
    path of their group below the top-level group and their name
    ("Processor.Features/LM"). A small reading of the text form, enough for
    the report this program writes."""
    lines = text.decode("ascii").split("\n")
    status = lines[0]
    values = {}
    groups = []
    for line in lines[1:]:
        if not line:
            continue
        if line.startswith("("):
            groups.append(line[1:])
        elif line.startswith(")"):
            groups.pop()
        else:
            name, rest = line.split(":", 1)
            letter, value = rest.split("=", 1)
            path = ".".join(groups[1:])
            values[path + "/" + name] = int(value) if letter == "i" else value
    return status, values


def online_cpus():
    count = 0
    with open("/sys/devices/system/cpu/online") as f:
        for part in f.read().strip().split(","):
            first, _, last = part.partition("-")
            count += int(last or first) - int(first) + 1
    return count


def cpuinfo(field):
    with open("/proc/cpuinfo") as f:
        for line in f:
            name, _, value = line.partition(":")
            if name.strip() == field:
                return value.strip()
    return None


class CpuidOptionCases:
    """The cpuid program answers help and version, and ignores any other
    argument, as a program that the enablers start without arguments may."""

    def test_help_version_and_other_arguments(self):
        plain = self.cpuid([]).stdout
        for args, shows in ((["--help"], b"vtdump"), (["-?"], b"vtdump"),
                            (["--version"], b"cpuid release "),
                            (["-v", "anything"], None)):
            with self.subTest(args=args):
                result = self.cpuid(args)
                self.assertEqual((0, b""), (result.status, result.stderr))
                if shows is None:
                    self.assertEqual(parse_report(plain)[0],
                                     parse_report(result.stdout)[0])
                else:
                    self.assertIn(shows, result.stdout)
                    self.assertNotIn(b"ActivePackageCount", result.stdout)


class NativeCpuidTest(CpuidOptionCases, TempDirCase):

    def cpuid(self, args):
        return run([native("cpuid")] + args, cwd=self.dir)

    def report(self):
        result = run([native("cpuid")], cwd=self.dir)
        self.assertEqual(0, result.status)
        self.assertEqual(b"", result.stderr)
        return result

    def test_report_describes_this_host(self):
        status, values = parse_report(self.report().stdout)
        self.assertTrue(status.startswith("1.0 0 "), status)
        packages = values["/ActivePackageCount"]
        self.assertGreaterEqual(packages, 1)
        self.assertEqual(online_cpus(),
                         packages * values["Processor/ActiveProcCount"])
        self.assertGreaterEqual(values["Processor/ActiveProcCount"],
                                values["Processor/ActiveCoreCount"])
        self.assertEqual(cpuinfo("vendor_id"), values["Processor/Manufacturer"])
        self.assertEqual(cpuinfo("cpu family"), values["Processor/Family"])
        flags = cpuinfo("flags").split()
        self.assertEqual(1 if "lm" in flags else 0,
                         values["Processor.Features/LM"])
        self.assertGreater(values["Processor/CpuClockMHz"], 0)
        self.assertGreaterEqual(values["Processor.CPUID/CorePerPackageCount"], 1)
        self.assertGreaterEqual(values["Processor.CPUID/HtPerCoreCount"], 1)

    def test_reader_finds_the_root_and_the_values(self):
        report = self.report().stdout
        _, values = parse_report(report)
        dump = run([native("vtdump")], cwd=self.dir, stdin=report)
        self.assertEqual(0, dump.status)
        lines = dump.stdout.decode("ascii").splitlines()
        self.assertEqual("status 0 1 0", lines[0])
        self.assertIn("root yes", lines)
        self.assertIn("group 0 cpuid", lines)
        self.assertIn("value 1 ActivePackageCount i %d"
                      % values["/ActivePackageCount"], lines)
        self.assertIn("value 2 Manufacturer s %s"
                      % values["Processor/Manufacturer"], lines)
        self.assertIn("value 3 LM i %d" % values["Processor.Features/LM"],
                      lines)


class CpuidTest(CpuidOptionCases, WindowsCase):
    programs = ("cpuid", "vtdump")

    def setUp(self):
        super().setUp()
        require_programs(native("cpuid"))

    def cpuid(self, args):
        return run([self.exe("cpuid")] + args, cwd=self.dir,
                   prefix=self.prefix)

    @e2e.every_lane
    def test_report_matches_the_native_one(self):
        windows = run([self.exe("cpuid")], cwd=self.dir, prefix=self.prefix)
        self.assertEqual(0, windows.status)
        self.assertNotIn(b"\r", windows.stdout)
        linux = run([native("cpuid")], cwd=self.dir)
        win_status, win_values = parse_report(windows.stdout)
        _, linux_values = parse_report(linux.stdout)
        self.assertTrue(win_status.startswith("1.0 0 "), win_status)
        # The same processors seen through Windows' interfaces under Wine;
        # the clock may come from another source, but must be known.
        self.assertGreater(win_values.pop("Processor/CpuClockMHz"), 0)
        linux_values.pop("Processor/CpuClockMHz")
        self.assertEqual(linux_values, win_values)

    def test_reader_finds_the_root(self):
        report = run([self.exe("cpuid")], cwd=self.dir,
                     prefix=self.prefix).stdout
        dump = run([self.exe("vtdump")], cwd=self.dir, prefix=self.prefix,
                   stdin=report)
        self.assertEqual(0, dump.status)
        lines = dump.stdout.decode("ascii").splitlines()
        self.assertEqual("status 0 1 0", lines[0])
        self.assertIn("root yes", lines)


class NodeIdentityTest(WindowsCase):
    programs = ("unit_tests",)

    def wmic(self, *query):
        """The value wmic reports for one property, without the blanks that
        pad its column."""
        result = run(["wmic"] + list(query), cwd=self.dir,
                     prefix=self.prefix)
        self.assertEqual(0, result.status, result.stderr)
        text = result.stdout.decode("utf-16")
        lines = [line.rstrip() for line in text.splitlines()]
        self.assertGreaterEqual(len(lines), 2, text)
        return lines[1]

    def identity(self):
        """The five fields as getNodeIdentity read them in the unit test."""
        report = self.path("identity.xml")
        result = run([self.exe("unit_tests"),
                      "--gtest_filter=NodeIdentityWmiTest.AllFiveFieldsArePresent",
                      "--gtest_output=xml:" + wine_path(report)],
                     cwd=self.dir, prefix=self.prefix)
        self.assertEqual(0, result.status, result.stdout)
        fields = {}
        for case in ElementTree.parse(report).iter("testcase"):
            fields.update({k: v for k, v in case.attrib.items()})
            for prop in case.iter("property"):
                fields[prop.get("name")] = prop.get("value")
        return fields

    @e2e.every_lane
    def test_fields_match_what_wmic_reports(self):
        fields = self.identity()
        expected = {
            "nodeId": self.wmic("bios", "get", "SerialNumber"),
            "manufacturer": self.wmic("bios", "get", "Manufacturer"),
            "version": self.wmic("bios", "get", "Version"),
            "product": self.wmic("path", "Win32_ComputerSystemProduct", "get",
                                 "Name"),
            "type": self.wmic("path", "Win32_ComputerSystemProduct", "get",
                              "Version"),
        }
        for name, value in expected.items():
            with self.subTest(field=name):
                self.assertIn(name, fields)
                self.assertEqual(value, fields[name].rstrip())


e2e.on_lanes(CpuidTest, globals(), LANES)
e2e.on_lanes(NodeIdentityTest, globals(), LANES)


if __name__ == "__main__":
    unittest.main()
