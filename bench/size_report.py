#!/usr/bin/env python3
"""Sizes of the Windows programs: each program's file size and loaded image
against two floors built with the same options (a program that does nothing,
and one that uses the parts of the C++ runtime the enablers use), the DLLs
each imports, and where the image's bytes come from. For that, the program's
own link is run again with a linker map, whose input sections are summed by
the archive they came from."""

import argparse
import glob
import os
import re
import shlex
import subprocess
import sys
import tempfile

OBJDUMP = "i686-w64-mingw32-objdump"
STRIP = "i686-w64-mingw32-strip"
# Output sections that are part of the loaded image.
IMAGE_SECTIONS = (".text", ".data", ".rdata", ".eh_frame", ".bss", ".tls",
                  ".CRT", ".idata", ".rsrc", ".reloc", ".pdata", ".xdata")


def figure(name, measured, floor, unit):
    print("figure %s: %.4g %s vs %.4g %s = %.2fx (reported)"
          % (name, measured, unit, floor, unit, measured / floor), flush=True)


def note(text):
    print("  note: " + text, flush=True)


def image_size(exe):
    """Bytes of the sections that are loaded, from the section headers."""
    out = subprocess.run([OBJDUMP, "-h", exe], capture_output=True, text=True,
                         check=True).stdout
    total = 0
    lines = out.splitlines()
    for i, line in enumerate(lines):
        fields = line.split()
        if len(fields) >= 7 and fields[0].isdigit():
            flags = lines[i + 1] if i + 1 < len(lines) else ""
            if "ALLOC" in flags:
                total += int(fields[2], 16)
    return total


def stripped_size(exe):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "stripped.exe")
        subprocess.run([STRIP, "-o", out, exe], check=True)
        return os.path.getsize(out)


def imports(exe):
    out = subprocess.run([OBJDUMP, "-p", exe], capture_output=True, text=True,
                         check=True).stdout
    return sorted({m.group(1).lower()
                   for m in re.finditer(r"DLL Name: (\S+)", out)})


def origin(path):
    """Who an input of the link belongs to."""
    if path == "dll stuff":  # the linker's own part of the import tables
        return "import libraries (kernel32, ...)"
    base = os.path.basename(path.split("(")[0])
    if "libstdc++" in base or "libsupc++" in base:
        return "C++ runtime (libstdc++)"
    if base.startswith("libgcc"):
        return "compiler runtime (libgcc)"
    if "winpthread" in base or base == "libpthread.a":
        return "winpthread"
    if (base.startswith(("libmingw", "libmsvcr", "libmoldname", "crt"))
            or base in ("dllcrt2.o", "crt2.o")):
        return "MinGW C runtime"
    if base.endswith(".a") and "/lib/" in path and "/build/" not in path:
        return "import libraries (kernel32, ...)"
    return "the project's own code"


def link_map(build, target):
    """Runs the target's link again, writing a map; gives the map's text."""
    found = glob.glob(os.path.join(build, "**", "CMakeFiles", target + ".dir",
                                   "link.txt"), recursive=True)
    if not found:
        return None
    link_dir = os.path.dirname(os.path.dirname(os.path.dirname(found[0])))
    with open(found[0]) as f:
        command = [l for l in f.read().splitlines() if " -o " in l][-1]
    words = shlex.split(command)
    with tempfile.TemporaryDirectory() as tmp:
        exe = os.path.join(tmp, target + ".exe")
        mapfile = os.path.join(tmp, target + ".map")
        out = []
        skip = False
        for word in words:
            if skip:
                skip = False
                out.append(exe)
                continue
            if word == "-o":
                skip = True
            if word.startswith("-Wl,--out-implib"):
                continue
            out.append(word)
        out.append("-Wl,-Map=" + mapfile)
        subprocess.run(out, cwd=link_dir, check=True)
        with open(mapfile, errors="replace") as f:
            return f.read()


def sizes_by_origin(map_text):
    """Bytes of the loaded sections, by origin, and by input member."""
    by_origin, by_member = {}, {}
    section = None
    pending = None
    entry = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
    for line in map_text.splitlines():
        if re.match(r"^\.\S+", line):
            section = line.split()[0]
            pending = None
            continue
        m = entry.match(line)
        if not m:
            # A long input section name stands alone; its figures follow.
            stripped = line.strip()
            pending = stripped if re.match(r"^\.\S+$", stripped) else None
            continue
        name = m.group(1) or pending
        pending = None
        if section not in IMAGE_SECTIONS or not name:
            continue
        size = int(m.group(3), 16)
        path = m.group(4).strip()
        by_origin[origin(path)] = by_origin.get(origin(path), 0) + size
        member = (origin(path), os.path.basename(path))
        by_member[member] = by_member.get(member, 0) + size
    return by_origin, by_member


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the win32 build")
    parser.add_argument("--floors", required=True,
                        help="the build of bench/size_floor")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    floor_c = os.path.join(args.floors, "floor_c.exe")
    floor_cxx = os.path.join(args.floors, "floor_cxx.exe")
    note("floors: nothing %d bytes (image %d), C++ runtime %d bytes "
         "(image %d, stripped file %d)"
         % (os.path.getsize(floor_c), image_size(floor_c),
            os.path.getsize(floor_cxx), image_size(floor_cxx),
            stripped_size(floor_cxx)))
    for program in args.programs:
        exe = os.path.join(args.build, "bin", program + ".exe")
        if not os.path.exists(exe):
            note("%s.exe is not built; left out" % program)
            continue
        size = os.path.getsize(exe)
        note("%s.exe: %d bytes, image %d bytes, stripped file %d bytes; "
             "imports %s" % (program, size, image_size(exe),
                             stripped_size(exe), " ".join(imports(exe))))
        figure("size.%s_image_vs_cxx_floor" % program, image_size(exe) / 1024,
               image_size(floor_cxx) / 1024, "KiB")
        map_text = link_map(args.build, program)
        if not map_text:
            continue
        by_origin, by_member = sizes_by_origin(map_text)
        total = sum(by_origin.values())
        for name, part in sorted(by_origin.items(), key=lambda e: -e[1]):
            note("  %-34s %7.1f KiB  %4.1f%%"
                 % (name, part / 1024, 100.0 * part / total))
        top = sorted(by_member.items(), key=lambda e: -e[1])
        note("  largest inputs: " + ", ".join(
            "%s %.1f KiB" % (m[1], s / 1024) for m, s in top[:8]))
        own = [(m[1], s) for m, s in top if m[0] == "the project's own code"]
        note("  the project's inputs: " + ", ".join(
            "%s %.1f KiB" % (m, s / 1024) for m, s in own))


if __name__ == "__main__":
    sys.exit(main())
