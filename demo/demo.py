#!/usr/bin/env python3
"""The enablers at work on a demo host. Run through scripts/demo, which builds
the programs first.

    demo.py [--windows] [--reset]

The demo host lives below build/demo: a DMI directory (the node identity), a
simulated Virtual Server, a registry export file with a VMware Server and a
VmPerl installation, and retrieve.pl. It is laid out from demo/host on the
first run and kept afterwards, so a person can change it and run again;
--reset lays it out afresh. Both enablers run on it with "-v -version", and
the demo shows for each the command, the exit status and its meaning, the log
and what reached the virtual machines or the script.

With --windows the win64 programs run under wine64 instead, in a Wine prefix
below build/demo/windows: the registry file imported with regedit, the
simulated server's COM server registered with regsvr32, the node identity
from Wine's WMI and, as VmPerl's perl.exe, the tests' stand-in, which records
what it received instead of running retrieve.pl.

It first says what the host stages (the machines whose Fail lists make
vs-enabler end with a failure on purpose). A log is shown whole the first
time the demo shows it on this host and by its telling lines afterwards
(--full-logs shows it whole again).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import textwrap
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests"))
from built_programs import (WIN64_BIN, WINE, WinePrefix,  # noqa: E402
                            native, win64, wine_path)

TEMPLATES = os.path.join(ROOT, "demo", "host")
DEMO = os.path.join(ROOT, "build", "demo")
WINDOWS = os.path.join(DEMO, "windows")
PREFIX = WinePrefix(os.path.join(WINDOWS, "wineprefix"))
MARKER = os.path.join(DEMO, ".demo-host")
# Present once the demo has shown its logs whole on this host, natively and
# under wine64.
LOGS_SHOWN = {False: os.path.join(DEMO, ".logs-shown"),
              True: os.path.join(WINDOWS, ".logs-shown")}

VMWARE_DIR = os.path.join(DEMO, "Program Files", "VMware")
SERVER_DIR = os.path.join(VMWARE_DIR, "VMware Server")
VMPERL_DIR = os.path.join(VMWARE_DIR, "VMware VmPerl Scripting API")

# What each exit status tells the caller.
VS_STATUS = {
    0: "no failure recorded",
    1: "command line not accepted, or a running machine counted 0 processor "
       "packages",
    3: "a machine's cpu cap could not be read from its configuration",
    5: "a parameter could not be set on a running machine, or the processor "
       "probe failed",
    6: "Virtual Server could not be reached, or its name or version could "
       "not be read",
    7: "the list of virtual machines or its count could not be read",
}
VMWARE_STATUS = {
    0: "retrieve.pl ended with 0: the hand-over succeeded",
    2: "the node identity could not be read",
    5: "retrieve.pl ended with 5 or another status than 0, 6 and 7, or could "
       "not be started",
    6: "retrieve.pl ended with 6",
    7: "command line not accepted; VMware Server, its version or the VmPerl "
       "Scripting API not found; the VmPerl directory unusable or PATH not "
       "set; or retrieve.pl ended with 7",
}

LAST_FAILURE = "(each failure overwrites the status: the last one decides)"

HOST_PARAMETERS = ("KEP_NODE_ID", "KEP_HOST_PRODUCT", "KEP_HOST_MANUFACTURER",
                   "KEP_HOST_VERSION", "KEP_HOST_TYPE", "KEP_NODE_CAPACITY",
                   "KEP_PHYSICAL_PROCESSOR")
SCRIPT_ARGUMENTS = ("node id (BIOS serial number)", "manufacturer", "product",
                    "version", "type", "capacity (physical processor packages)",
                    "log flag")


# ---------------------------------------------------------------- the screen

class Screen:
    """Headings, labelled fields and framed file contents, aligned."""

    LABEL = 15

    def __init__(self):
        self.color = (sys.stdout.isatty() and os.environ.get("TERM") != "dumb"
                      and "NO_COLOR" not in os.environ)

    def paint(self, text, code):
        return "\033[%sm%s\033[0m" % (code, text) if self.color else text

    def title(self, text):
        print()
        print(self.paint("=" * 78, "1"))
        print(self.paint(text, "1"))
        print(self.paint("=" * 78, "1"))

    def heading(self, text):
        print()
        print(self.paint(text, "1"))

    def field(self, label, *lines):
        """A label and its value; further lines align under the first."""
        lines = lines or ("",)
        print("  %-*s %s" % (self.LABEL, label, lines[0]))
        for line in lines[1:]:
            print("  %-*s %s" % (self.LABEL, "", line))

    def status(self, label, status, meanings):
        meaning = meanings.get(status, "not a status of this program")
        text = "%d   %s" % (status, meaning)
        print("  %-*s %s" % (self.LABEL, label,
                             self.paint(text, "32" if status == 0 else "31")))

    def framed(self, lines):
        """File contents, each line behind a bar."""
        for line in lines:
            if line.startswith("ERROR") or line.startswith("Warning!"):
                line = self.paint(line, "31")
            print("    | " + line)

    def table(self, header, rows, indent=4):
        """Columns as wide as their widest cell; the last one unpadded."""
        widths = [max(len(row[i]) for row in [header] + rows)
                  for i in range(len(header) - 1)]

        def line(cells):
            text = "".join(cell.ljust(width + 2)
                           for cell, width in zip(cells, widths))
            return (" " * indent + text + cells[-1]).rstrip()

        print(self.paint(line(header), "1"))
        for row in rows:
            print(line(row))

    def say(self, text=""):
        print(text)


SCREEN = Screen()
# Whether logs are shown whole; main decides.
WHOLE_LOGS = True


def shown(path):
    """A path as the person reads it: relative to the repository when it
    lies in it."""
    if not os.path.abspath(path).startswith(ROOT + os.sep):
        return path
    relative = os.path.relpath(path, ROOT)
    return relative + ("/" if os.path.isdir(path) else "")


def quoted(value):
    return "'%s'" % value


def number(text):
    """A %f number of the log without its trailing zeros: 25.000000 is 25."""
    try:
        value = float(text)
    except ValueError:
        return text
    return ("%f" % value).rstrip("0").rstrip(".")


def read_text(path):
    """A file's text with CR LF line ends read as LF; None when missing."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    return data.replace(b"\r\n", b"\n").decode("utf-8", "replace")


# ---------------------------------------------------------------- the host

def escape_reg(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def lay_out_host(reset):
    """Lays out the demo host from demo/host unless it is there; gives true
    when it did."""
    if reset and os.path.isdir(DEMO):
        for name in os.listdir(DEMO):
            path = os.path.join(DEMO, name)
            if name in ("windows", "build.log"):
                continue
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            else:
                os.remove(path)
        # The Wine prefix is kept (it takes a while to make), its run folders
        # and the registry made from the host are not.
        for name in ("vs-enabler", "vmware-enabler", "registry.reg"):
            path = os.path.join(WINDOWS, name)
            if os.path.isdir(path):
                shutil.rmtree(path)
            elif os.path.exists(path):
                os.remove(path)
    if os.path.exists(MARKER):
        return False
    for folder, _, files in os.walk(TEMPLATES):
        target = os.path.join(DEMO, os.path.relpath(folder, TEMPLATES))
        os.makedirs(target, exist_ok=True)
        for name in files:
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                text = f.read()
            if name.endswith(".in"):
                name = name[:-3]
                text = text.replace("@HOST@", escape_reg(DEMO))
            with open(os.path.join(target, name), "w", encoding="utf-8") as f:
                f.write(text)
    os.makedirs(SERVER_DIR, exist_ok=True)
    os.makedirs(VMPERL_DIR, exist_ok=True)
    os.makedirs(os.path.join(DEMO, "vs-enabler"), exist_ok=True)
    perl = os.path.join(VMPERL_DIR, "perl")
    with open(perl, "w") as f:
        f.write("#!/bin/sh\n"
                "# VmPerl's interpreter on the demo host: this machine's Perl.\n"
                'exec %s "$@"\n' % (shutil.which("perl") or "/usr/bin/perl"))
    os.chmod(perl, 0o755)
    with open(MARKER, "w") as f:
        f.write("laid out by scripts/demo from demo/host; "
                "scripts/demo --reset lays it out afresh\n")
    return True


def environment(extra):
    """This process's environment without the variables the enablers read,
    and then `extra`."""
    env = {name: value for name, value in os.environ.items()
           if not name.startswith(("KEP_", "VMW_TEST_", "WINE"))
           and name != "PHYSICAL_PROCESSOR"}
    env.update(extra)
    return env


class Run:
    """One run of a program: status, standard output and error, seconds."""

    def __init__(self, argv, cwd, env):
        started = time.monotonic()
        proc = subprocess.run(argv, cwd=cwd, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=300)
        self.seconds = time.monotonic() - started
        self.status = proc.returncode
        self.stdout = proc.stdout.replace(b"\r\n", b"\n").decode(
            "utf-8", "replace")
        self.stderr = proc.stderr.replace(b"\r\n", b"\n").decode(
            "utf-8", "replace")


# ---------------------------------------------------------------- the story

def show_start(program, summary, cwd, env_lines, command, cpuid):
    SCREEN.title("%s: %s" % (program, summary))
    SCREEN.field("Runs in", shown(cwd))
    SCREEN.field("Environment", *env_lines)
    SCREEN.field("cpuid program", "%s  (beside the enabler; reports this "
                 "machine's processors)" % shown(cpuid))
    SCREEN.field("Command", command)


def show_outputs(run, meanings, note=None):
    lines = run.stderr.splitlines()
    SCREEN.field("Standard error", *(lines or ["(nothing)"]))
    if run.stdout:
        SCREEN.field("Standard output", "(the enabler writes none; what the "
                     "script printed follows below)")
    else:
        SCREEN.field("Standard output", "(nothing: the enabler writes none)")
    SCREEN.status("Exit status", run.status, meanings)
    if note:
        SCREEN.field("", note)


# The vs-enabler log lines that set the exit status, with the status.
STATUS_LINES = ((re.compile(r"ERROR: Microsoft Virtual Server not installed!$|"
                            r"ERROR: Error in get_(Name|Version)$"), 6),
                (re.compile(r"ERROR: failure retrieving max vm capacity$"), 3),
                (re.compile(r"ERROR: Failure during \S+ set$"), 5),
                (re.compile(r"numOfPhysicalPackages=0$"), 1))


def deciding_line(lines, status):
    """The last log line that set `status`, with its machine."""
    machine, found = None, None
    for line in lines:
        named = re.match(r">> (.*): ", line)
        if named:
            machine = named.group(1)
        for pattern, value in STATUS_LINES:
            if value == status and pattern.match(line):
                found = ("%s: %s" % (machine, line)) if machine else line
    return found


# The lines a short log keeps: where each machine starts, what failed or
# warned, how the capacity was chosen and how the run ended.
TELLING = re.compile(r">> |ERROR|Warning!|Setting KEP_VM_CAPACITY|"
                     r"OK: Node capacity|OK: Return code|Dry run|"
                     r"getInfoFromCPUID\(\) finished|hostPackageCount=")
# A log this long is shown whole only once.
LONG_LOG = 30


def short_log(lines):
    """The telling lines of a log, and the Perl block that ends a complete
    vmware-enabler log; each run of other lines becomes one "..." line."""
    kept, skipped = [], 0
    perl_block = (lines.index("Perl paths and command line:")
                  if "Perl paths and command line:" in lines else len(lines))
    for at, line in enumerate(lines):
        if TELLING.match(line) or at >= perl_block:
            if skipped:
                kept.append("... (%d line%s)" % (skipped,
                                                  "" if skipped == 1 else "s"))
                skipped = 0
            kept.append(line)
        else:
            skipped += 1
    if skipped:
        kept.append("... (%d line%s)" % (skipped, "" if skipped == 1 else "s"))
    return kept


def show_log(path, whole=True):
    text = read_text(path)
    if text is None:
        SCREEN.heading("Log file %s: not written" % shown(path))
        return []
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if whole or len(lines) <= LONG_LOG:
        SCREEN.heading("Log file %s (%d lines)" % (shown(path), len(lines)))
        SCREEN.framed(lines)
    else:
        SCREEN.heading("Log file %s (%d lines; its telling lines below, the "
                       "whole file with --full-logs)" % (shown(path),
                                                         len(lines)))
        SCREEN.framed(short_log(lines))
    return lines


def machines_in_log(lines):
    """The host's lines before the first machine and, per machine of the
    walk, its name, state and lines."""
    prelude, machines = [], []
    for line in lines:
        found = re.match(r">> (.*): (.*)$", line)
        if found:
            machines.append({"name": found.group(1), "state": found.group(2),
                             "lines": []})
        elif machines:
            machines[-1]["lines"].append(line)
        else:
            prelude.append(line)
    return prelude, machines


def labelled(lines, label):
    """The value of the last line "label=value", or None."""
    value = None
    for line in lines:
        if line.startswith(label + "="):
            value = line[len(label) + 1:]
    return value


def capacity_note(machine, prelude):
    lines = machine["lines"]
    rule = [l for l in lines if l.startswith("Setting KEP_VM_CAPACITY with ")]
    if not rule:
        return "no capacity rule applies"
    if "max_vm_cap=" in rule[0]:
        cpus = labelled(lines, "host_cpu_count") or "?"
        return "cpu cap %s x %s host processor%s" % (
            number(labelled(lines, "max_vm_cap") or "?"), cpus,
            "" if cpus == "1" else "s")
    packages = labelled(prelude, "hostPackageCount")
    if packages is None or int(packages) < 1:
        packages = labelled(lines, "numOfPhysicalPackages") or "?"
    return "maximum system capacity %s x %s host package%s" % (
        number(labelled(lines, "max_sys_cap") or "?"), packages,
        "" if packages == "1" else "s")


def read_records(path):
    """machine -> {parameter: value} from the simulated server's record, in
    the order set, and the leak lines it holds."""
    published, leaks = {}, []
    text = read_text(path) or ""
    for line in text.split("\n"):
        if not line:
            continue
        fields = line.split("\t")
        if fields[0] == "!leaked":
            leaks.append(line.replace("\t", " "))
        elif len(fields) == 3:
            published.setdefault(fields[0], {})[fields[1]] = fields[2]
    return published, leaks


def show_parameters(log_lines, records_path):
    published, leaks = read_records(records_path)
    prelude, machines = machines_in_log(log_lines)
    SCREEN.heading("Parameters published, as the simulated Virtual Server "
                   "recorded them (%s)" % shown(records_path))
    if not machines:
        SCREEN.say("    No machine was visited: see the log above.")
        return
    running = [m for m in machines if m["state"] == "Running"]

    SCREEN.say("    The host's facts, on every running machine "
               "(values in quotes, as set):")
    rows = []
    for name in HOST_PARAMETERS:
        values = []
        for machine in running:
            value = published.get(machine["name"], {}).get(name)
            if value is not None and value not in values:
                values.append(value)
        if not values:
            cell = "(not set)"
        elif len(values) == 1:
            cell = quoted(values[0])
        else:
            cell = " / ".join(quoted(v) for v in values)
        rows.append(["", name, cell])
    SCREEN.table(["", "parameter", "value"], rows, indent=2)

    SCREEN.say()
    SCREEN.say("    Each machine, in the order Virtual Server lists them:")
    rows = []
    for machine in machines:
        mine = published.get(machine["name"], {})
        errors = [l for l in machine["lines"] if l.startswith("ERROR:")]
        if machine["state"] != "Running":
            notes = ["not running: nothing is published"]
        else:
            notes = []
            if not any("KEP_VM_CAPACITY" in e for e in errors):
                notes.append(capacity_note(machine, prelude))
            notes += errors
        rows.append(["", machine["name"], machine["state"],
                     mine.get("KEP_VM_ID", "-"),
                     mine.get("KEP_VM_CAPACITY", "-"), notes[0]])
        rows += [["", "", "", "", "", note] for note in notes[1:]]
    SCREEN.table(["", "machine", "state", "KEP_VM_ID", "KEP_VM_CAPACITY",
                  "notes"], rows, indent=2)
    for leak in leaks:
        SCREEN.say("    The simulated server reports objects never released: "
                   + leak)


def show_received(title, arguments, variables, status_note):
    """What the script (or the interpreter stand-in) received."""
    SCREEN.heading(title)
    first = len(arguments) - len(SCRIPT_ARGUMENTS)
    rows = []
    for i, text in enumerate(arguments):
        meaning = ""
        if i - first >= 0:
            meaning = SCRIPT_ARGUMENTS[i - first]
        elif text.startswith("-I"):
            meaning = "library folder for perl"
        elif text.endswith("retrieve.pl"):
            meaning = "the script"
        rows.append(["", str(i + 1), meaning, quoted(text)])
    SCREEN.table(["", "#", "argument", "text"], rows, indent=2)
    SCREEN.say("    and in its environment:")
    rows = [["", name, quoted(value) if value is not None else "(not set)"]
            for name, value in variables]
    SCREEN.table(["", "variable", "value"], rows, indent=2)
    if status_note:
        SCREEN.say("    " + status_note)


# ---------------------------------------------------------------- staging

# The statuses that a staged failure gives vs-enabler, by operation.
SERVER_FAILS = {"connect": 6, "get_Name": 6, "get_Version": 6,
                "get_VirtualMachines": 7, "get_Count": 7}


def read_model(path):
    """The server's fail list and, per machine of the model, its name,
    state and fail list: a light reading of the model's lines, enough to say
    what it stages (the enabler's reader decides what it means)."""
    server_fails, machines, depth, machine_depth = [], [], 0, None
    for line in (read_text(path) or "").split("\n"):
        line = line.strip()
        if line.startswith("("):
            depth += 1
            if line == "(machine":
                machine_depth = depth
                machines.append({"name": "?", "state": 0, "fails": []})
        elif line.startswith(")"):
            if depth == machine_depth:
                machine_depth = None
            depth -= 1
        elif line.startswith("Fail:s="):
            fails = line[len("Fail:s="):].split()
            if depth == machine_depth:
                machines[-1]["fails"] = fails
            elif depth == 1:
                server_fails = fails
        elif depth == machine_depth and line.startswith("Name:s="):
            machines[-1]["name"] = line[len("Name:s="):]
        elif depth == machine_depth and line.startswith("State:i="):
            try:
                machines[-1]["state"] = int(line[len("State:i="):])
            except ValueError:
                pass
    return server_fails, machines


def show_staging(windows):
    """What the demo host stages and so which statuses to expect, before any
    run shows one."""
    model = os.path.join(DEMO, "virtual-server.model")
    server_fails, machines = read_model(model)
    running = [m for m in machines if m["state"] == 5]
    said = ["Virtual Server (%s): %d machines, %d of them running; "
            "vs-enabler publishes on the running ones only."
            % (shown(model), len(machines), len(running))]
    expected = 0
    lines = (read_text(model) or "").split("\n")
    blank = [n for n, line in enumerate(lines[:-1], 1) if not line.strip()]
    if blank:
        expected = 6
        said.append("Line %d of the model is blank, which the reader refuses: "
                    "vs-enabler will find no Virtual Server (status 6), and "
                    "the simulated server names the line on standard error."
                    % blank[0])
    for operation in server_fails:
        if operation in SERVER_FAILS and not expected:
            expected = SERVER_FAILS[operation]
            said.append("The server is made to fail %s: on purpose, "
                        "vs-enabler ends with status %d." % (operation,
                                                             expected))
    for machine in machines:
        if not machine["fails"]:
            continue
        text = "%s is made to fail %s" % (machine["name"],
                                          " ".join(machine["fails"]))
        refused = any(f.startswith("SetParameter") for f in machine["fails"])
        if refused and machine["state"] == 5 and not expected:
            expected = 5
            text += (": on purpose, vs-enabler ends with status 5 (a "
                     "parameter could not be set); the run goes on, every "
                     "other parameter is set, and the log names the failure")
        said.append(text + ".")
    if not server_fails and not any(m["fails"] for m in machines):
        said.append("No failure is staged: vs-enabler should end with 0.")
    status = os.environ.get("DEMO_RETRIEVE_STATUS", "0")
    said.append("VMware Server and VmPerl are registered; %s ends with %s "
                "(DEMO_RETRIEVE_STATUS), so vmware-enabler ends with %s."
                % ("VmPerl's perl.exe" if windows else "retrieve.pl", status,
                   status if status in ("0", "6", "7") else "5"))
    said.append("Each enabler runs as the inventory product starts it, with "
                "-v (the log file en_out.txt) and -version (the banner on "
                "standard error).")
    if windows:
        said.append("Under wine64 the programs are the win64 builds of "
                    "vs-enabler, vmware-enabler and the cpuid stand-in. "
                    "Virtual Server is the simulated server's COM DLL, "
                    "registered in the prefix; the node identity is Wine's "
                    "WMI (not the dmi folder); VmPerl's perl.exe is the tests' "
                    "stand-in, which records its arguments and environment "
                    "and does not run retrieve.pl.")
    SCREEN.heading("What the demo host stages")
    for text in said:
        SCREEN.say(textwrap.fill(text, 78, initial_indent="  - ",
                                 subsequent_indent="    ",
                                 break_on_hyphens=False))


# ---------------------------------------------------------------- native

def run_vs_native():
    cwd = os.path.join(DEMO, "vs-enabler")
    os.makedirs(cwd, exist_ok=True)
    records = os.path.join(cwd, "parameters.txt")
    for name in ("en_out.txt", "parameters.txt"):
        if os.path.exists(os.path.join(cwd, name)):
            os.remove(os.path.join(cwd, name))
    variables = [("KEP_DMI_ROOT", os.path.join(DEMO, "dmi"),
                  "the node identity"),
                 ("KEP_VS_MODEL", os.path.join(DEMO, "virtual-server.model"),
                  "the simulated Virtual Server"),
                 ("KEP_VS_PARAMETERS", records,
                  "where it records the parameters set")]
    program = native("vs-enabler")
    show_start("vs-enabler", "Virtual Server parameters on every running "
               "machine", cwd, env_lines(variables),
               "%s -v -version" % shown(program), native("cpuid"))
    run = Run([program, "-v", "-version"], cwd,
              environment({name: value for name, value, _ in variables}))
    show_vs_result(run, os.path.join(cwd, "en_out.txt"), records)


def show_vs_result(run, log, records):
    """Status, the line that decided it, the log and the parameters."""
    show_outputs(run, VS_STATUS, LAST_FAILURE)
    text = read_text(log) or ""
    decided = deciding_line(text.split("\n"), run.status)
    if decided:
        SCREEN.field("Decided by", decided)
    if run.status == 6 and "simulated Virtual Server:" in run.stderr:
        SCREEN.field("", "the simulated server refused its model: standard "
                     "error above names the file and line")
    lines = show_log(log, WHOLE_LOGS)
    show_parameters(lines, records)


def env_lines(variables):
    """NAME=value lines with their notes aligned; paths of this machine are
    shown relative to the repository."""
    texts = ["%s=%s" % (name, shown(value) if value.startswith(ROOT + "/")
                         else value)
             for name, value, _ in variables]
    width = max(len(text) for text in texts)
    return [("%-*s  (%s)" % (width, text, note) if note else text)
            for text, (_, _, note) in zip(texts, variables)]


def run_vmware_native():
    cwd = os.path.join(DEMO, "vmware-enabler")
    os.makedirs(cwd, exist_ok=True)
    log = os.path.join(cwd, "en_out.txt")
    if os.path.exists(log):
        os.remove(log)
    variables = [("KEP_DMI_ROOT", os.path.join(DEMO, "dmi"),
                  "the node identity"),
                 ("KEP_REGISTRY_FILE", os.path.join(DEMO, "registry.reg"),
                  "the registry")]
    path = "/usr/local/bin:/usr/bin:/bin"
    variables.append(("PATH", path, "a short one, so the new PATH reads well"))
    status = os.environ.get("DEMO_RETRIEVE_STATUS")
    if status is not None:
        variables.append(("DEMO_RETRIEVE_STATUS", status,
                          "retrieve.pl's exit status"))
    program = native("vmware-enabler")
    lines = env_lines(variables)
    show_start("vmware-enabler", "the host's facts handed to VmPerl's "
               "retrieve.pl", cwd, lines, "%s -v -version" % shown(program),
               native("cpuid"))
    env = environment({name: value for name, value, _ in variables})
    run = Run([program, "-v", "-version"], cwd, env)
    show_outputs(run, VMWARE_STATUS)
    show_log(log, WHOLE_LOGS)
    if run.stdout:
        SCREEN.heading("What retrieve.pl printed (%s)"
                       % shown(os.path.join(cwd, "retrieve.pl")))
        SCREEN.framed(run.stdout.rstrip("\n").split("\n"))
    else:
        SCREEN.heading("retrieve.pl did not run: see the exit status and "
                       "the log above.")


# ---------------------------------------------------------------- windows

def wine(argv, cwd, extra=None):
    return Run([WINE] + argv, cwd, PREFIX.env(extra, base=environment({})))


def windows_registry():
    """The host's registry file with every path moved to Wine's drive Z:."""
    text = read_text(os.path.join(DEMO, "registry.reg"))
    if text is None:
        return "Windows Registry Editor Version 5.00\n"

    def move(found):
        path = found.group(1).replace('\\"', '"').replace("\\\\", "\\")
        return '="%s"' % escape_reg(wine_path(path) +
                                    ("\\" if path.endswith("/") else ""))

    return re.sub(r'="(/(?:[^"\\]|\\.)*)"', move, text)


def prepare_wine():
    """The prefix, the registry imported afresh, the COM server registered,
    the interpreter stand-in in the VmPerl folder."""
    os.makedirs(WINDOWS, exist_ok=True)
    if not PREFIX.made():
        SCREEN.say("Making the Wine prefix %s (first run only, about a "
                   "minute) ..." % shown(PREFIX.path))
        PREFIX.ensure()
    steps = []
    clear = os.path.join(WINDOWS, "clear.reg")
    with open(clear, "w", newline="\r\n") as f:
        f.write("Windows Registry Editor Version 5.00\n\n"
                "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.]\n")
    registry = os.path.join(WINDOWS, "registry.reg")
    with open(registry, "w", newline="\r\n", encoding="utf-8") as f:
        f.write(windows_registry())
    for reg in (clear, registry):
        run = wine(["regedit", "/S", wine_path(reg)], WINDOWS)
        if run.status != 0:
            steps.append("regedit %s failed (%d)" % (shown(reg), run.status))
    os.remove(clear)
    com_server = os.path.join(WIN64_BIN, "vs_com_server.dll")
    run = wine(["regsvr32", "/s", wine_path(com_server)], WINDOWS)
    if run.status != 0:
        steps.append("regsvr32 failed (%d)" % run.status)
    os.makedirs(VMPERL_DIR, exist_ok=True)
    shutil.copy(win64("vmw_perl"),
                os.path.join(VMPERL_DIR, "perl.exe"))
    SCREEN.say("Wine prefix %s:" % shown(PREFIX.path))
    SCREEN.say("  the host's registry imported from %s," % shown(registry))
    SCREEN.say("  the simulated server's COM server registered, the tests' "
               "perl.exe put into VmPerl's folder.")
    return registry, steps


def run_vs_windows():
    cwd = os.path.join(WINDOWS, "vs-enabler")
    os.makedirs(cwd, exist_ok=True)
    records = os.path.join(cwd, "parameters.txt")
    for name in ("en_out.txt", "parameters.txt"):
        if os.path.exists(os.path.join(cwd, name)):
            os.remove(os.path.join(cwd, name))
    model = os.path.join(DEMO, "virtual-server.model")
    program = win64("vs-enabler")
    show_start("vs-enabler.exe under wine64", "Virtual Server parameters "
               "on every running machine", cwd,
               env_lines([("WINEPREFIX", PREFIX.path, "the Wine prefix"),
                          ("KEP_VS_MODEL", wine_path(model),
                           "the simulated Virtual Server"),
                          ("KEP_VS_PARAMETERS", wine_path(records),
                           "where it records the parameters set")]) +
               ["(Virtual Server's COM class: the simulated server's "
                "vs_com_server.dll,",
                " registered with regsvr32; the node identity: Wine's WMI)"],
               "wine64 %s -v -version" % shown(program),
               win64("cpuid"))
    run = wine([program, "-v", "-version"], cwd,
               {"KEP_VS_MODEL": wine_path(model),
                "KEP_VS_PARAMETERS": wine_path(records)})
    show_vs_result(run, os.path.join(cwd, "en_out.txt"), records)


def run_vmware_windows(registry):
    cwd = os.path.join(WINDOWS, "vmware-enabler")
    os.makedirs(cwd, exist_ok=True)
    shutil.copy(os.path.join(DEMO, "vmware-enabler", "retrieve.pl"), cwd)
    received = os.path.join(cwd, "perl-received.txt")
    for path in (os.path.join(cwd, "en_out.txt"), received):
        if os.path.exists(path):
            os.remove(path)
    program = win64("vmware-enabler")
    extra = {"VMW_TEST_RECORD": wine_path(received)}
    variables = [("WINEPREFIX", PREFIX.path, "the Wine prefix"),
                 ("VMW_TEST_RECORD", wine_path(received),
                  "where perl.exe records what it received")]
    status = os.environ.get("DEMO_RETRIEVE_STATUS")
    if status is not None:
        extra["VMW_TEST_STATUS"] = status
        variables.append(("VMW_TEST_STATUS", status, "perl.exe's exit status"))
    lines = env_lines(variables) + [
        "(the registry: %s, imported with regedit;" % shown(registry),
        " the node identity: Wine's WMI)"]
    show_start("vmware-enabler.exe under wine64", "the host's facts handed "
               "to VmPerl's retrieve.pl", cwd, lines,
               "wine64 %s -v -version" % shown(program),
               win64("cpuid"))
    run = wine([program, "-v", "-version"], cwd, extra)
    show_outputs(run, VMWARE_STATUS)
    show_log(os.path.join(cwd, "en_out.txt"), WHOLE_LOGS)
    text = read_text(received)
    if text is None:
        SCREEN.heading("perl.exe did not run: see the exit status and the log "
                       "above.")
        return
    arguments, variables = [], []
    for line in text.split("\n"):
        if line.startswith("arg:"):
            arguments.append(line[4:])
        elif "=" in line:
            variables.append(tuple(line.split("=", 1)))
        elif line.endswith(" unset"):
            variables.append((line[:-6], None))
    show_received("What perl.exe received (the tests' stand-in for VmPerl's "
                  "interpreter records it in %s instead of running "
                  "retrieve.pl)" % shown(received), arguments, variables,
                  "It ends with status %s." % (status or "0"))


# ---------------------------------------------------------------- the end

def show_files(windows, fresh):
    SCREEN.title("Where the files are")
    command = "scripts/demo" + (" --windows" if windows else "")
    SCREEN.say("The demo host (%s from demo/host) is kept between runs:"
               % ("laid out now" if fresh else "laid out by an earlier run"))
    SCREEN.say("change it and run %s again; %s --reset lays it out afresh."
               % (command, command))
    rows = [
        [shown(os.path.join(DEMO, "dmi")), "the node identity, one file a "
         "field (KEP_DMI_ROOT)" + ("; native runs only" if windows else "")],
        ["", "product_serial, bios_vendor, product_name, bios_version, "
         "product_version"],
        [shown(os.path.join(DEMO, "virtual-server.model")), "Virtual Server "
         "and its machines (KEP_VS_MODEL)"],
        [shown(os.path.join(DEMO, "registry.reg")), "the registry: VMware "
         "Server and VmPerl (KEP_REGISTRY_FILE)"],
        [shown(VMWARE_DIR), "the two installations; VmPerl's perl.exe is "
         "the tests' stand-in, which records what it received"
         if windows else "the two installations; VmPerl's perl runs this "
         "machine's Perl"],
        [shown(os.path.join(DEMO, "vmware-enabler", "retrieve.pl")),
         "the script vmware-enabler names; under wine64 copied beside it, "
         "but the stand-in perl.exe does not run it" if windows else
         "the script vmware-enabler runs"],
    ]
    SCREEN.table(["file", "what it is"], rows, indent=2)
    SCREEN.say()
    base = WINDOWS if windows else DEMO
    SCREEN.say("Written by each run:")
    rows = [[shown(os.path.join(base, "vs-enabler", "en_out.txt")),
             "vs-enabler's log"],
            [shown(os.path.join(base, "vs-enabler", "parameters.txt")),
             "the parameters set, one line each: machine, name, value"],
            [shown(os.path.join(base, "vmware-enabler", "en_out.txt")),
             "vmware-enabler's log"]]
    if windows:
        rows.append([shown(os.path.join(base, "vmware-enabler",
                                        "perl-received.txt")),
                     "what perl.exe received"])
        rows.append([shown(os.path.join(base, "registry.reg")),
                     "the registry file as imported into the Wine prefix"])
    SCREEN.table(["file", "what it is"], rows, indent=2)
    SCREEN.say()
    SCREEN.say("Things to try:")
    tries = [
        "set db01's State to 5 in virtual-server.model: it gets parameters too",
        "remove mail01's Fail line: vs-enabler ends with 0",
        "DEMO_RETRIEVE_STATUS=6 %s: vmware-enabler passes 6 on "
        "(3 would become 5)" % command,
        "delete the VmPerl key from registry.reg: vmware-enabler ends with 7",
        "leave a blank line in virtual-server.model: vs-enabler ends with 6 "
        "(not installed), and the simulated server names the file and line "
        "on standard error",
        "run vs-enabler or vmware-enabler with --dry-run in its folder above "
        "and the same environment: it shows what it would hand over and "
        "hands over nothing",
    ]
    if not windows:
        tries.append("delete dmi/bios_vendor: vmware-enabler "
                     "ends with 2, vs-enabler publishes empty identity "
                     "values")
    for text in tries:
        SCREEN.say("  - " + text)
    SCREEN.say("docs/admin-guide.md explains every status and log line; "
               "docs/architecture.md the code.")


def main(argv):
    parser = argparse.ArgumentParser(prog="scripts/demo",
                                     description=__doc__.split("\n")[0])
    parser.add_argument("--windows", action="store_true",
                        help="run the win64 programs under wine64")
    parser.add_argument("--reset", action="store_true",
                        help="lay out the demo host afresh")
    parser.add_argument("--full-logs", action="store_true",
                        help="show every log whole, not only the first time")
    args = parser.parse_args(argv)

    global WHOLE_LOGS
    fresh = lay_out_host(args.reset)
    WHOLE_LOGS = args.full_logs or not os.path.exists(LOGS_SHOWN[args.windows])
    SCREEN.say("Demo host: %s (%s)" % (
        shown(DEMO), "laid out now from demo/host" if fresh else
        "kept from an earlier run; --reset lays it out afresh"))
    show_staging(args.windows)
    if args.windows:
        registry, problems = prepare_wine()
        for problem in problems:
            SCREEN.say("Warning: " + problem)
        run_vs_windows()
        run_vmware_windows(registry)
    else:
        run_vs_native()
        run_vmware_native()
    with open(LOGS_SHOWN[args.windows], "w") as f:
        f.write("the demo showed its logs whole once; later runs show their "
                "telling lines\n")
    show_files(args.windows, fresh)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except BrokenPipeError:
        # The reader went away (scripts/demo | head): nothing more to say.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        sys.exit(1)
