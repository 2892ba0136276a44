#!/usr/bin/env python3
"""Checks Windows programs of the build: each must be a PE file for the
expected machine, a console program, free of MinGW runtime DLL imports, stamped
with no link time, and carry a version resource naming the file.

    check_pe.py --machine i386|x86-64 FILE...

Prints one line per file and ends with 0 when every file passes, 1 otherwise.
Pure Python: it reads the headers itself and runs no outside tool.
"""

import argparse
import fnmatch
import os
import struct
import sys

MACHINES = {"i386": 0x014C, "x86-64": 0x8664}
CONSOLE_SUBSYSTEM = 3
RT_VERSION = 16
# Runtime DLLs of MinGW that a static link must not need.
FORBIDDEN_IMPORTS = ["libstdc++-6.dll", "libgcc_s*.dll", "libwinpthread-1.dll"]

DIR_EXPORT, DIR_IMPORT, DIR_RESOURCE, DIR_DEBUG = 0, 1, 2, 6


class PeError(Exception):
    pass


class PeFile:
    """The headers, sections and directories of one PE file."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ" or len(data) < 0x40:
            raise PeError("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        coff = pe + 4
        (self.machine, sections, self.timestamp, _, _, optional_size,
         _) = struct.unpack_from("<HHIIIHH", data, coff)
        opt = coff + 20
        magic = self.u16(opt)
        if magic == 0x10B:
            dirs_at = opt + 96
        elif magic == 0x20B:
            dirs_at = opt + 112
        else:
            raise PeError("unknown optional header magic 0x%x" % magic)
        self.subsystem = self.u16(opt + 68)
        count = self.u32(dirs_at - 4)
        self.dirs = [struct.unpack_from("<II", data, dirs_at + 8 * i)
                     for i in range(min(count, 16))]
        self.sections = []
        at = opt + optional_size
        for i in range(sections):
            _, vsize, vaddr, rawsize, rawptr = struct.unpack_from(
                "<8sIIII", data, at + 40 * i)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr, rawsize))

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        """File offset of a relative virtual address."""
        for vaddr, size, rawptr, rawsize in self.sections:
            if vaddr <= rva < vaddr + size and rva - vaddr < rawsize:
                return rawptr + rva - vaddr
        raise PeError("address 0x%x lies in no section" % rva)

    def directory(self, index):
        """(file offset, size) of a data directory, or None when absent."""
        if index >= len(self.dirs) or self.dirs[index][0] == 0:
            return None
        rva, size = self.dirs[index]
        return self.offset(rva), size

    def c_string(self, offset):
        end = self.data.index(b"\0", offset)
        return self.data[offset:end].decode("latin-1")

    def imports(self):
        """Names of the DLLs the import directory lists."""
        found = self.directory(DIR_IMPORT)
        if found is None:
            return []
        at, _ = found
        names = []
        while True:
            entry = struct.unpack_from("<IIIII", self.data, at)
            if entry == (0, 0, 0, 0, 0):
                return names
            names.append(self.c_string(self.offset(entry[3])))
            at += 20

    def timestamps(self):
        """(where, value) of every time stamp field that the headers hold."""
        stamps = [("COFF header", self.timestamp)]
        found = self.directory(DIR_EXPORT)
        if found is not None:
            stamps.append(("export directory", self.u32(found[0] + 4)))
        found = self.directory(DIR_DEBUG)
        if found is not None:
            at, size = found
            for i in range(size // 28):
                stamps.append(("debug directory %d" % i,
                               self.u32(at + 28 * i + 4)))
        found = self.directory(DIR_RESOURCE)
        if found is not None:
            for where, value in self.resource_stamps(found[0], found[0], 0):
                stamps.append((where, value))
        return stamps

    def resource_entries(self, base, table):
        """(id or name offset, is_directory, offset) of a resource table."""
        named, ids = struct.unpack_from("<HH", self.data, table + 12)
        entries = []
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data,
                                              table + 16 + 8 * i)
            entries.append((name, bool(target & 0x80000000),
                            base + (target & 0x7FFFFFFF)))
        return entries

    def resource_stamps(self, base, table, depth):
        if depth > 3:
            raise PeError("resource tree deeper than three levels")
        yield ("resource directory level %d" % depth, self.u32(table + 4))
        for _, is_dir, target in self.resource_entries(base, table):
            if is_dir:
                yield from self.resource_stamps(base, target, depth + 1)

    def version_info(self):
        """The bytes of the first RT_VERSION resource, or None."""
        found = self.directory(DIR_RESOURCE)
        if found is None:
            return None
        base = found[0]
        for type_id, is_dir, target in self.resource_entries(base, base):
            if type_id != RT_VERSION or not is_dir:
                continue
            node, node_is_dir = target, True
            # Name level, then language level, then the data entry.
            while node_is_dir:
                entries = self.resource_entries(base, node)
                if not entries:
                    return None
                _, node_is_dir, node = entries[0]
            rva, size = struct.unpack_from("<II", self.data, node)
            at = self.offset(rva)
            return self.data[at:at + size]
        return None


def align4(offset):
    return (offset + 3) & ~3


def parse_version_block(data, at):
    """One VS_VERSIONINFO block at `at`: (key, value, children, end)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, at)
    if length < 6 or at + length > len(data):
        raise PeError("version block of length %d at %d" % (length, at))
    end = at + length
    key_at = at + 6
    key_end = key_at
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
        if key_end >= end:
            raise PeError("unterminated version key")
    key = data[key_at:key_end].decode("utf-16-le")
    value_at = align4(key_end + 2)
    if value_type == 1:
        raw = data[value_at:value_at + 2 * value_length]
        value = raw.decode("utf-16-le").split("\0", 1)[0]
        value_end = value_at + 2 * value_length
    else:
        value = data[value_at:value_at + value_length]
        value_end = value_at + value_length
    children = []
    child = align4(value_end)
    while child + 6 <= end:
        parsed = parse_version_block(data, child)
        children.append(parsed)
        child = align4(parsed[3])
    return key, value, children, end


def version_strings(blob):
    """Name -> text of every string of the StringFileInfo tables."""
    key, fixed, children, _ = parse_version_block(blob, 0)
    if key != "VS_VERSION_INFO":
        raise PeError("version resource key is %r" % key)
    if len(fixed) < 4 or struct.unpack_from("<I", fixed)[0] != 0xFEEF04BD:
        raise PeError("no VS_FIXEDFILEINFO in the version resource")
    strings = {}
    for child_key, _, tables, _ in children:
        if child_key != "StringFileInfo":
            continue
        for _, _, entries, _ in tables:
            for name, text, _, _ in entries:
                strings[name] = text
    return strings


def check(path, machine):
    """The problems of one file; an empty list when it passes."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        pe = PeFile(data)
        problems = []
        if pe.machine != MACHINES[machine]:
            problems.append("machine 0x%04x, expected %s (0x%04x)"
                            % (pe.machine, machine, MACHINES[machine]))
        if pe.subsystem != CONSOLE_SUBSYSTEM:
            problems.append("subsystem %d, expected console (%d)"
                            % (pe.subsystem, CONSOLE_SUBSYSTEM))
        for dll in pe.imports():
            if any(fnmatch.fnmatch(dll.lower(), p) for p in FORBIDDEN_IMPORTS):
                problems.append("imports %s" % dll)
        for where, value in pe.timestamps():
            if value != 0:
                problems.append("time stamp 0x%08x in the %s" % (value, where))
        blob = pe.version_info()
        if blob is None:
            problems.append("no version resource")
        else:
            strings = version_strings(blob)
            expected = os.path.basename(path)
            original = strings.get("OriginalFilename")
            if original is None or original.lower() != expected.lower():
                problems.append("OriginalFilename %r, expected %r"
                                % (original, expected))
        return problems
    except (PeError, struct.error, ValueError, UnicodeDecodeError) as e:
        return ["not a readable PE file: %s" % e]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--machine", required=True, choices=sorted(MACHINES))
    parser.add_argument("files", nargs="+")
    args = parser.parse_args(argv)
    failed = False
    for path in args.files:
        try:
            problems = check(path, args.machine)
        except OSError as e:
            problems = ["cannot read: %s" % e.strerror]
        if problems:
            failed = True
            for problem in problems:
                print("%s: %s" % (path, problem))
        else:
            print("%s: ok" % path)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
