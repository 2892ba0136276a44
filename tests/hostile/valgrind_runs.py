#!/usr/bin/env python3
"""Full native runs of both enablers under valgrind's memcheck.

Each run is a whole enabler process on a host made of substitutes (see
scenario.py): a success and several failure paths of each enabler. A run
passes when it ends with the status the job decides, memcheck reports no
error (no invalid access, no use of undefined memory), nothing is definitely
or indirectly lost, and no descriptor beyond the standard three is open at
exit. Usage: valgrind_runs.py [NAME-FILTER]
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenario  # noqa: E402
from scenario import Scenario, model, running  # noqa: E402

VALGRIND_ERROR = 99


def vs_success(s):
    s.vs_model(model([running("web01"),
                      {"name": "db01", "state": 2, "cap": 10,
                       "host_processors": 2}]))
    # 1 where this host's processors count 0 packages by CPUID.
    return ["-v"], (0, 1)


def vs_not_installed(s):
    return ["-v"], 6


def vs_no_machine_list(s):
    s.vs_model(model([running("web01")], server_fail="get_VirtualMachines"))
    return ["-v"], 7


def vs_set_fails(s):
    s.vs_model(model([running("web01", fail="SetParameter:KEP_VM_ID")]))
    return ["-v"], 5


def vs_no_cpuid(s):
    os.remove(os.path.join(s.bin, "cpuid"))
    s.vs_model(model([running("web01", cap=0, host_processors=0)]))
    return ["-v"], None


def vs_no_machines(s):
    s.vs_model(model([]))
    return ["-v"], 0


def vs_usage(s):
    return ["-x"], 1


def vmware_success(s):
    s.vmware(server=s.server_dir(), vmperl=s.vmperl_dir())
    return ["-v", "-version"], 0


def vmware_quiet(s):
    s.vmware(server=s.server_dir(), vmperl=s.vmperl_dir())
    return [], 0


def vmware_not_installed(s):
    return ["-v"], 7


def vmware_no_vmperl(s):
    s.vmware(server=s.server_dir(), vmperl=None)
    return ["-v"], 7


def vmware_vmperl_gone(s):
    s.vmware(server=s.server_dir(), vmperl=s.path("no-such-dir") + "/")
    return ["-v"], 7


def vmware_script_fails(s):
    s.vmware(server=s.server_dir(), vmperl=s.vmperl_dir(), script_status=3)
    return ["-v"], 5


def vmware_no_identity(s):
    s.dmi({"product_serial": b"SN-1"})
    s.vmware(server=s.server_dir(), vmperl=s.vmperl_dir())
    return ["-v"], 2


def vmware_usage(s):
    return ["-v", "-v"], 7


RUNS = [
    ("vs-enabler", vs_success),
    ("vs-enabler", vs_not_installed),
    ("vs-enabler", vs_no_machine_list),
    ("vs-enabler", vs_set_fails),
    ("vs-enabler", vs_no_cpuid),
    ("vs-enabler", vs_no_machines),
    ("vs-enabler", vs_usage),
    ("vmware-enabler", vmware_success),
    ("vmware-enabler", vmware_quiet),
    ("vmware-enabler", vmware_not_installed),
    ("vmware-enabler", vmware_no_vmperl),
    ("vmware-enabler", vmware_vmperl_gone),
    ("vmware-enabler", vmware_script_fails),
    ("vmware-enabler", vmware_no_identity),
    ("vmware-enabler", vmware_usage),
]


def check_report(report, log_path):
    """The memcheck findings of one report, as a list of texts."""
    problems = []
    m = re.search(r"ERROR SUMMARY: (\d+) errors", report)
    if not m:
        problems.append("no error summary")
    elif m.group(1) != "0":
        problems.append("memcheck errors: " + m.group(1))
    for kind in ("definitely", "indirectly"):
        m = re.search(kind + r" lost: ([\d,]+) bytes", report)
        if m and m.group(1) != "0":
            problems.append("%s lost: %s bytes" % (kind, m.group(1)))
    m = re.search(r"FILE DESCRIPTORS: (\d+) open", report)
    if not m:
        problems.append("no descriptor report")
    for fd, what in re.findall(
            r"Open (?:file descriptor|AF_\w+ socket) (\d+):[ \t]*(.*)", report):
        if int(fd) <= 2 or what.strip() == log_path:
            continue
        problems.append("descriptor %s open at exit: %s"
                        % (fd, what.strip() or "a pipe"))
    return problems


def reports(directory):
    """The memcheck reports of one run by process: the enabler's own, and
    those of children that valgrind followed from fork to a failed exec."""
    found = {}
    for name in os.listdir(directory):
        m = re.match(r"valgrind\.(\d+)\.log$", name)
        if m:
            path = os.path.join(directory, name)
            with open(path, errors="replace") as f:
                found[path] = f.read()
    return found


def run_one(program, build, root):
    s = Scenario(root, program)
    args, expected = build(s)
    logs = os.path.join(root, "valgrind")
    os.makedirs(logs)
    wrapper = ["valgrind", "--tool=memcheck", "--error-exitcode=%d"
               % VALGRIND_ERROR, "--leak-check=full",
               "--show-leak-kinds=definite,indirect",
               "--errors-for-leak-kinds=definite,indirect",
               "--track-fds=yes", "--trace-children=no",
               "--log-file=" + os.path.join(logs, "valgrind.%p.log")]
    started = time.monotonic()
    result = s.run(args, wrapper=wrapper, timeout=300)
    seconds = time.monotonic() - started
    problems = []
    report = ""
    own = "Parent PID: %d\n" % os.getpid()
    for path, text in sorted(reports(logs).items()):
        if own in text:
            report = text
            problems += check_report(text, path)
        elif re.search(r"ERROR SUMMARY: [1-9]", text):
            # A child between fork and exec (which valgrind follows until
            # the exec): its leaks and descriptors are copies of the
            # parent's, its errors are not.
            report += text
            problems.append("memcheck errors in a child")
    if not report:
        problems.append("no report of the enabler")
    allowed = expected if isinstance(expected, tuple) else (expected,)
    if result.returncode == VALGRIND_ERROR:
        problems.append("valgrind reported errors")
    elif expected is not None and result.returncode not in allowed:
        problems.append("exit status %d, expected %s"
                        % (result.returncode, expected))
    if result.stdout:
        problems.append("output on standard output: %r" % result.stdout[:200])
    return problems, report, seconds


def main():
    name_filter = sys.argv[1] if len(sys.argv) > 1 else ""
    if shutil.which("valgrind") is None:
        print("valgrind is not installed")
        return 1
    failures = 0
    count = 0
    for program, build in RUNS:
        name = "%s %s" % (program, build.__name__)
        if name_filter not in name:
            continue
        if not scenario.program_available(program):
            print("FAIL %s: %s is not built" % (name, program))
            failures += 1
            continue
        count += 1
        root = tempfile.mkdtemp(prefix="enabler-valgrind-")
        try:
            problems, report, seconds = run_one(program, build, root)
        finally:
            shutil.rmtree(root, ignore_errors=True)
        if problems:
            failures += 1
            print("FAIL %s (%.1f s): %s" % (name, seconds, "; ".join(problems)))
            print(report)
        else:
            print("ok   %s (%.1f s)" % (name, seconds))
    print("valgrind: %d runs, %d failed" % (count, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
