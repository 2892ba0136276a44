"""Hosts in a temporary directory for full native runs of the enablers.

A scenario is one directory that holds a copy of an enabler with a cpuid
program beside it (the enabler looks for cpuid in its own directory), the
substitutes that stand in for the host (a DMI directory, a Virtual Server
model, a registry export file, a VmPerl directory with its perl and
retrieve.pl) and the working directory the enabler runs in.
"""

import os
import shutil
import stat
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                ".."))
from built_programs import native  # noqa: E402

# The identity of an ordinary host, one text per DMI file.
PLAIN_IDENTITY = {
    "product_serial": b"SN-0001",
    "bios_vendor": b"Phoenix",
    "bios_version": b"1.2.3",
    "product_name": b"Model 9",
    "product_version": b"Rev A",
}

# The records the hostile cpuid program's well-formed report gives: the two
# forms take cores and logical processors per core from different values.
REPORT_RECORD_VS = b"2:GenuineIntel:6:0:4:2:2400:64"
REPORT_RECORD_VMWARE = b"2:GenuineIntel:6:0:6:1:2400:64"

# A retrieve.pl that records what it received: its arguments separated by NUL
# bytes, then PATH and PHYSICAL_PROCESSOR, each on a line of its own after a
# NUL byte; when KEP_RETRIEVE_SIGNALS names a file, its blocked and ignored
# signals (the SigBlk and SigIgn lines of /proc/self/status) go there. It ends
# with the status named by KEP_RETRIEVE_STATUS.
RETRIEVE_PL = r"""
binmode(STDOUT);
if ($ENV{KEP_RETRIEVE_SIGNALS} && open(my $status, '<', '/proc/self/status')) {
    open(my $s, '>', $ENV{KEP_RETRIEVE_SIGNALS}) or die "cannot write signals";
    print $s grep { /^Sig(Blk|Ign):/ } <$status>;
    close($s);
}
my $out = $ENV{KEP_RETRIEVE_RECORD} || 'retrieve.out';
open(my $f, '>', $out) or die "cannot write $out";
binmode($f);
print $f join("\0", @ARGV);
print $f "\0\0PATH=" . ($ENV{PATH} // '<unset>');
print $f "\0PHYSICAL_PROCESSOR=" . ($ENV{PHYSICAL_PROCESSOR} // '<unset>');
close($f);
exit($ENV{KEP_RETRIEVE_STATUS} // 0);
"""


def program_available(name):
    return os.access(native(name), os.X_OK)


class Scenario:
    """One host in `root`: bin/ holds the enabler and its cpuid program,
    work/ is the working directory, the substitutes lie beside them."""

    def __init__(self, root, enabler, cpuid="cpuid"):
        self.root = root
        self.bin = os.path.join(root, "bin")
        self.work = os.path.join(root, "work")
        os.makedirs(self.bin, exist_ok=True)
        os.makedirs(self.work, exist_ok=True)
        self.enabler = os.path.join(self.bin, enabler)
        shutil.copy2(native(enabler), self.enabler)
        if cpuid is not None:
            shutil.copy2(native(cpuid), os.path.join(self.bin, "cpuid"))
        self.env = {"KEP_HOMEDIR": None, "KEP_VS_MODEL": None,
                    "KEP_VS_PARAMETERS": None, "KEP_REGISTRY_FILE": None}
        self.dmi(PLAIN_IDENTITY)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    # --- Substitutes --------------------------------------------------------

    def dmi(self, fields, name="dmi"):
        """A DMI directory with one file per field (bytes, written as they
        are, plus the line feed the kernel puts behind them)."""
        directory = self.path(name)
        shutil.rmtree(directory, ignore_errors=True)
        os.makedirs(directory)
        for field, value in fields.items():
            with open(os.path.join(directory, field), "wb") as f:
                f.write(value + b"\n")
        self.env["KEP_DMI_ROOT"] = directory
        return directory

    def vs_model(self, text, name="server.model"):
        """A Virtual Server model (bytes or str) and the parameter record."""
        model = self.path(name)
        with open(model, "wb") as f:
            f.write(text if isinstance(text, bytes) else text.encode())
        self.env["KEP_VS_MODEL"] = model
        self.env["KEP_VS_PARAMETERS"] = self.path("parameters.txt")
        return model

    def parameters(self):
        """The recorded parameter lines as (machine, name, value) triples."""
        path = self.env.get("KEP_VS_PARAMETERS")
        if not path or not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            data = f.read()
        triples = []
        for line in data.split(b"\n")[:-1]:
            machine, name, value = line.split(b"\t", 2)
            triples.append((machine, name, value))
        return triples

    def parameter(self, name, machine=None):
        """The value set last for `name` (on `machine`), or None."""
        found = None
        for m, n, v in self.parameters():
            if n == name and (machine is None or m == machine):
                found = v
        return found

    def vmware(self, server=None, vmperl=None, script_status=0, wow64=False):
        """A registry export file naming `server` and `vmperl` (None leaves a
        key out), a VmPerl directory at `vmperl` when that is a path of this
        scenario, and retrieve.pl in the working directory."""
        lines = ["Windows Registry Editor Version 5.00", ""]
        base = "HKEY_LOCAL_MACHINE\\SOFTWARE\\%sVMware, Inc.\\" % (
            "Wow6432Node\\" if wow64 else "")
        for key, value in (("VMware Server", server),
                           ("VMware VmPerl Scripting API", vmperl)):
            if value is None:
                continue
            escaped = value.replace("\\", "\\\\").replace('"', '\\"')
            lines += ["[%s%s]" % (base, key),
                      '"InstallPath"="%s"' % escaped, ""]
        reg = self.path("vmware.reg")
        with open(reg, "w") as f:
            f.write("\n".join(lines))
        self.env["KEP_REGISTRY_FILE"] = reg
        with open(os.path.join(self.work, "retrieve.pl"), "w") as f:
            f.write(RETRIEVE_PL)
        self.env["KEP_RETRIEVE_STATUS"] = str(script_status)
        self.env["KEP_RETRIEVE_RECORD"] = self.path("retrieve.out")
        return reg

    def vmperl_dir(self, name="vmperl"):
        """A VmPerl directory whose perl is the machine's; its path ends with
        the separator, as the registry stores it."""
        directory = self.path(name)
        os.makedirs(directory, exist_ok=True)
        perl = os.path.join(directory, "perl")
        if not os.path.exists(perl):
            os.symlink(shutil.which("perl") or "/usr/bin/perl", perl)
        return directory + "/"

    def server_dir(self, name="server"):
        directory = self.path(name)
        os.makedirs(directory, exist_ok=True)
        return directory + "/"

    def retrieved(self):
        """What retrieve.pl recorded: (arguments, PATH, PHYSICAL_PROCESSOR),
        or None when it did not run."""
        path = self.path("retrieve.out")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            data = f.read()
        args, rest = data.split(b"\0\0PATH=", 1)
        path_value, record = rest.split(b"\0PHYSICAL_PROCESSOR=", 1)
        return (args.split(b"\0") if args else []), path_value, record

    # --- Running ------------------------------------------------------------

    def full_env(self, extra=None):
        env = dict(os.environ)
        env.update(self.env)
        if extra:
            env.update(extra)
        return {k: v for k, v in env.items() if v is not None}

    def run(self, args=(), extra_env=None, timeout=60, wrapper=(),
            stderr=subprocess.PIPE, preexec_fn=None):
        """Runs the enabler in the working directory; a run that outlasts
        `timeout` raises subprocess.TimeoutExpired, so a hang is a failure.
        `stderr` and `preexec_fn` go to subprocess.run as they are (a
        descriptor the enabler's standard error is made of; what the child
        changes about itself before the enabler starts)."""
        argv = list(wrapper) + [self.enabler] + list(args)
        return subprocess.run(argv, cwd=self.work,
                              env=self.full_env(extra_env),
                              stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=stderr,
                              timeout=timeout, preexec_fn=preexec_fn)

    def start(self, args=(), extra_env=None):
        """Starts the enabler in the working directory without waiting."""
        return subprocess.Popen([self.enabler] + list(args), cwd=self.work,
                                env=self.full_env(extra_env),
                                stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def log(self):
        path = os.path.join(self.work, "en_out.txt")
        if not os.path.exists(path):
            return b""
        with open(path, "rb") as f:
            return f.read()


def make_executable(path):
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP
             | stat.S_IXOTH)


def model(machines, server_fail=None):
    """Model text of a server with the given machines: each a dict with
    name, state, and optionally cap, host_processors, max_sys_cap, fail."""
    lines = ["1.0 0 simulated Virtual Server", "(server", "Name:s=HOST-A",
             "Version:s=1.3.7871 SP1"]
    if server_fail:
        lines.append("Fail:s=" + server_fail)
    for m in machines:
        lines += ["(machine", "Name:s=" + m["name"],
                  "State:i=%d" % m.get("state", 5)]
        if "max_sys_cap" in m:
            lines.append("MaxSystemCapacity:f=%s" % m["max_sys_cap"])
        if m.get("fail"):
            lines.append("Fail:s=" + m["fail"])
        lines.append("(configuration")
        if "cap" in m:
            lines.append("settings/host/resource_control/cpu/cap:f=%s"
                         % m["cap"])
        if "host_processors" in m:
            lines.append(
                "settings/host/resource_control/cpu/host_processors:i=%d"
                % m["host_processors"])
        lines += [")", ")"]
    lines.append(")")
    return "\n".join(lines) + "\n"


def running(name, **extra):
    """A running machine whose capacity comes from its cap (25 % of 4)."""
    m = {"name": name, "state": 5, "cap": 25, "host_processors": 4,
         "max_sys_cap": 50}
    m.update(extra)
    return m
