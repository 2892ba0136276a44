#!/usr/bin/env python3
"""Process-level figures of the enablers, each a ratio against a floor
measured in the same run, interleaved with it:

  vs:     `vs-enabler -v` on a simulated server of one running machine,
          against enabler_floor starting the same cpuid program.
  vmware: `vmware-enabler -v` with the test VmPerl installation, against
          enabler_floor starting the same cpuid program, then the same
          interpreter with the same script.
  scale:  vs-enabler on simulated servers of 10 to 10,000 running machines:
          the time per machine beyond the one-machine run, and the peak
          memory (ru_maxrss of the enabler, from wait4), whole and without
          what the simulated server's model adds (vs_model_floor loading the
          same model alone).

Times are wall-clock medians; each run is a fresh process, started and
measured by run_measured. Lines beginning
with "figure " are collected by scripts/bench."""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIXTURES = os.path.join(ROOT, "tests", "fixtures")
SYSTEM_PERL = "/usr/bin/perl"
CAP_KEY = "settings/host/resource_control/cpu/cap"
HOST_KEY = "settings/host/resource_control/cpu/host_processors"
IDENTITY_FILES = ("product_serial", "bios_vendor", "product_name",
                  "bios_version", "product_version")
IDENTITY = ("SN-0042", "Dell Inc.", "PowerEdge 2950", "A05", "Rev 1")


def figure(name, measured, floor, unit, target=None, exactly=False):
    ratio = measured / floor if floor else float("nan")
    line = "figure %s: %.4g %s vs %.4g %s = %.2fx" % (
        name, measured, unit, floor, unit, ratio)
    if target is None:
        line += " (reported)"
    else:
        ok = abs(ratio - target) < 1e-9 if exactly else ratio <= target
        line += " (target <= %.2fx) %s" % (target, "ok" if ok else "MISSED")
    print(line, flush=True)


def note(text):
    print("  note: " + text, flush=True)


RUNNER = None  # run_measured of the build


def run(argv, env, cwd):
    """Runs a program in `cwd` with nothing on its standard handles, through
    run_measured; gives the wall seconds, the peak resident size in KiB and
    the exit status."""
    out = subprocess.run([RUNNER, cwd] + argv, env=env, check=True,
                         stdout=subprocess.PIPE).stdout.split()
    return float(out[0]), int(out[1]), int(out[2])


def interleave(reps, jobs):
    """Runs each job once per round, the order turning each round; gives
    each job's list of results."""
    results = [[] for _ in jobs]
    for rep in range(reps):
        shift = rep % len(jobs)
        for i in list(range(shift, len(jobs))) + list(range(shift)):
            results[i].append(jobs[i]())
    return results


def median(results, index=0):
    return statistics.median(r[index] for r in results)


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def identity_dir(base):
    dmi = os.path.join(base, "dmi")
    os.makedirs(dmi, exist_ok=True)
    for name, value in zip(IDENTITY_FILES, IDENTITY):
        write(os.path.join(dmi, name), value + "\n")
    return dmi


def model_text(machines):
    lines = ["1.0 0 simulated Virtual Server", "(server", "Name:s=HOST-A",
             "Version:s=1.3.7871 SP1"]
    for i in range(machines):
        lines += ["(machine", "Name:s=vm%05d" % (i + 1), "State:i=5",
                  "MaxSystemCapacity:f=50", "(configuration",
                  "%s:f=25" % CAP_KEY, "%s:i=4" % HOST_KEY, ")", ")"]
    lines.append(")")
    return "\n".join(lines) + "\n"


class Setup:
    def __init__(self, bin_dir, base):
        self.bin = bin_dir
        self.base = base
        self.work = os.path.join(base, "work")
        os.makedirs(self.work, exist_ok=True)
        self.dmi = identity_dir(base)
        self.cpuid = os.path.join(bin_dir, "cpuid")
        self.floor = os.path.join(bin_dir, "enabler_floor")

    def env(self, extra):
        env = {"PATH": "/usr/local/bin:/usr/bin:/bin", "LC_ALL": "C",
               "KEP_DMI_ROOT": self.dmi}
        env.update(extra)
        return env


class VsRun:
    """vs-enabler -v on a simulated server of `machines` running machines;
    each run starts with an empty record of the parameters set."""

    def __init__(self, setup, machines):
        self.setup = setup
        self.machines = machines
        self.model = os.path.join(setup.base, "server_%d.model" % machines)
        write(self.model, model_text(machines))
        self.record = os.path.join(setup.base, "record_%d.txt" % machines)
        self.argv = [os.path.join(setup.bin, "vs-enabler"), "-v"]
        self.environment = setup.env({"KEP_VS_MODEL": self.model,
                                      "KEP_VS_PARAMETERS": self.record})
        self.status = None

    def __call__(self):
        open(self.record, "w").close()
        result = run(self.argv, self.environment, self.setup.work)
        self.check(result[2])
        return result

    def check(self, status):
        if self.status is None:
            self.status = status
            with open(self.record) as f:
                lines = sum(1 for _ in f)
            # Nine parameters a machine, eight without the processor record.
            if lines < 8 * self.machines:
                sys.exit("vs-enabler set %d parameters on %d machines "
                         "(status %d); see %s/en_out.txt"
                         % (lines, self.machines, status, self.setup.work))
            note("vs-enabler, %d machines: status %d, %d parameters set"
                 % (self.machines, status, lines))
        elif status != self.status:
            sys.exit("vs-enabler ended with %d, earlier with %d"
                     % (status, self.status))


def vs_figure(setup, reps):
    enabler = VsRun(setup, 1)
    floor_argv = [setup.floor, setup.cpuid]
    env = setup.env({})
    results = interleave(reps, [
        enabler, lambda: run(floor_argv, env, setup.work)])
    figure("vs_enabler.run", median(results[0]) * 1e3,
           median(results[1]) * 1e3, "ms", 1.2)


def vmware_setup(setup):
    vmperl = os.path.join(setup.base, "Vm Perl") + "/"
    server = os.path.join(setup.base, "VMware Server") + "/"
    os.makedirs(vmperl, exist_ok=True)
    os.makedirs(server, exist_ok=True)
    perl = vmperl + "perl"
    write(perl, '#!/bin/sh\nexec %s "$@"\n' % SYSTEM_PERL)
    os.chmod(perl, 0o755)
    shutil.copy(os.path.join(FIXTURES, "vmperl", "retrieve.pl"),
                os.path.join(setup.work, "retrieve.pl"))
    registry = os.path.join(setup.base, "registry.reg")
    keys = (("SOFTWARE\\VMware, Inc.\\VMware Server", server),
            ("SOFTWARE\\VMware, Inc.\\VMware VmPerl Scripting API", vmperl))
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, path in keys:
        lines += ["[HKEY_LOCAL_MACHINE\\%s]" % key,
                  '"InstallPath"="%s"' % path.replace("\\", "\\\\"), ""]
    write(registry, "\r\n".join(lines) + "\r\n")
    return vmperl, registry


def vmware_figure(setup, reps):
    vmperl, registry = vmware_setup(setup)
    record = os.path.join(setup.base, "retrieve_record.txt")
    env = setup.env({"KEP_REGISTRY_FILE": registry,
                     "VMW_TEST_RECORD": record})
    enabler_argv = [os.path.join(setup.bin, "vmware-enabler"), "-v"]
    lib = vmperl + "perl5/site_perl/5.005"
    floor_argv = [setup.floor, setup.cpuid, vmperl + "perl", "-I" + lib,
                  "-I" + lib + "/MSWin32-x86", "retrieve.pl"] + list(
                      IDENTITY) + ["1", "-v"]

    def enabler():
        result = run(enabler_argv, env, setup.work)
        if result[2] != 0 or not os.path.exists(record):
            sys.exit("vmware-enabler ended with %d; see %s/en_out.txt"
                     % (result[2], setup.work))
        os.unlink(record)
        return result

    results = interleave(reps, [enabler,
                                lambda: run(floor_argv, env, setup.work)])
    figure("vmware_enabler.run", median(results[0]) * 1e3,
           median(results[1]) * 1e3, "ms", 1.2)


class ModelFloor:
    """vs_model_floor on the model of a VsRun: the simulated server's own
    memory for that model."""

    def __init__(self, setup, vs_run):
        self.setup = setup
        self.argv = [os.path.join(setup.bin, "vs_model_floor")]
        self.environment = setup.env({"KEP_VS_MODEL": vs_run.model})

    def __call__(self):
        result = run(self.argv, self.environment, self.setup.work)
        if result[2] != 0:
            sys.exit("vs_model_floor could not load its model")
        return result


def scale_figure(setup, sizes, reps):
    """Rounds of runs of every size, small sizes several times a round; the
    one-machine run is the fixed cost that the per-machine figures leave
    out."""
    counts = [1] + sizes
    runs = {n: VsRun(setup, n) for n in counts}
    floors = {n: ModelFloor(setup, runs[n]) for n in counts}
    jobs = []
    for n in counts:
        weight = max(1, min(5, 1000 // n))
        jobs += [("run", n)] * weight + [("floor", n)]
    results = {job: [] for job in set(jobs)}
    for rep in range(reps):
        shift = (rep * 7) % len(jobs)
        for job in jobs[shift:] + jobs[:shift]:
            kind, n = job
            results[job].append((runs if kind == "run" else floors)[n]())
    base = median(results[("run", 1)])
    per_machine, rss, own = {}, {}, {}
    model_base = median(results[("floor", 1)], 1)
    for n in sizes:
        total = median(results[("run", n)])
        per_machine[n] = (total - base) / (n - 1)
        rss[n] = median(results[("run", n)], 1)
        model = median(results[("floor", n)], 1)
        own[n] = rss[n] - (model - model_base)
        note("vs-enabler, %d machines: %.1f ms, %.1f us per machine beyond "
             "the one-machine run; peak %.1f MiB, of which the simulated "
             "server's model adds %.1f MiB"
             % (n, total * 1e3, per_machine[n] * 1e6, rss[n] / 1024,
                (model - model_base) / 1024))
    small, mid, large = sizes[0], sizes[len(sizes) // 2 - 1], sizes[-1]
    for n in sizes[1:]:
        if n != mid:
            figure("vs_scale.per_machine_%d_vs_%d" % (n, mid),
                   per_machine[n] * 1e6, per_machine[mid] * 1e6, "us",
                   1.2 if n == large else None)
    figure("vs_scale.peak_memory_%d_vs_%d" % (large, small),
           rss[large] / 1024, rss[small] / 1024, "MiB", 1.5)
    figure("vs_scale.peak_memory_without_model_%d_vs_%d" % (large, small),
           own[large] / 1024, own[small] / 1024, "MiB", 1.5)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True,
                        help="the release build's bin folder")
    parser.add_argument("--reps", type=int, default=21)
    parser.add_argument("--scale-reps", type=int, default=5)
    parser.add_argument("--sizes", default="10,100,1000,10000")
    parser.add_argument("--only", choices=("vs", "vmware", "scale"))
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    global RUNNER
    RUNNER = os.path.join(os.path.abspath(args.bin), "run_measured")
    with tempfile.TemporaryDirectory(prefix="enabler-bench-") as base:
        setup = Setup(os.path.abspath(args.bin), base)
        missing = [p for p in ("vs-enabler", "vmware-enabler")
                   if not os.path.exists(os.path.join(setup.bin, p))]
        for program in missing:
            note("%s is not built; its figures are left out" % program)
        if args.only in (None, "vs") and "vs-enabler" not in missing:
            vs_figure(setup, args.reps)
        if args.only in (None, "vmware") and "vmware-enabler" not in missing:
            vmware_figure(setup, args.reps)
        if args.only in (None, "scale") and "vs-enabler" not in missing:
            scale_figure(setup, sizes, args.scale_reps)


if __name__ == "__main__":
    main()
