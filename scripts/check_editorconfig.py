"""Checks the tracked files against .editorconfig: UTF-8 text, LF line ends
and a final newline wherever a section sets charset, end_of_line and
insert_final_newline; "unset" in a later section lifts them. Indentation is
left to scripts/format. Prints each file that differs; status 1 if any.

    check_editorconfig.py --sources   the C++ sources of the same file list,
                                      NUL-separated, for scripts/format"""

import fnmatch
import os
import re
import subprocess
import sys

RULES = ("charset", "end_of_line", "insert_final_newline")


def sections(path):
    """The (patterns, properties) of each section, in the file's order."""
    result = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                glob = line[1:-1]
                braces = re.fullmatch(r"\{(.*)\}", glob)
                result.append((braces.group(1).split(",") if braces else
                               [glob], {}))
            elif "=" in line and result:
                key, value = (part.strip() for part in line.split("=", 1))
                result[-1][1][key] = value
    return result


def matches(pattern, name):
    # A pattern without a slash matches a file's name in any folder.
    if "/" not in pattern:
        return fnmatch.fnmatch(os.path.basename(name), pattern)
    return fnmatch.fnmatch(name, pattern.replace("**", "*"))


def rules_for(name, config):
    rules = {}
    for patterns, properties in config:
        if any(matches(p, name) for p in patterns):
            rules.update((k, v) for k, v in properties.items() if k in RULES)
    return {k: v for k, v in rules.items() if v != "unset"}


def problems(data, rules):
    if rules.get("charset") == "utf-8":
        try:
            data.decode("utf-8")
        except UnicodeDecodeError:
            yield "not UTF-8"
        if data.startswith(b"\xef\xbb\xbf"):
            yield "a byte order mark (the charset is utf-8, not utf-8-bom)"
    if rules.get("end_of_line") == "lf" and b"\r" in data:
        yield "CR line ends"
    if rules.get("insert_final_newline") == "true" and data and \
            not data.endswith(b"\n"):
        yield "no final newline"


def files():
    """The files git tracks when this folder is the top of its checkout;
    otherwise (an exported tree, or one inside another repository) every
    file below it but the builds'."""
    try:
        top = subprocess.run(["git", "rev-parse", "--show-toplevel"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             check=True).stdout.decode().strip()
        if os.path.realpath(top) == os.path.realpath("."):
            names = subprocess.run(["git", "ls-files", "-z"], check=True,
                                   stdout=subprocess.PIPE).stdout.decode()
            return [n for n in names.split("\0") if n]
    except (OSError, subprocess.CalledProcessError):
        pass
    found = []
    for folder, subfolders, names in os.walk("."):
        subfolders[:] = [d for d in subfolders
                         if d != ".git" and not (folder == "." and d == "build")]
        found += [os.path.relpath(os.path.join(folder, n)) for n in names]
    return sorted(found)


def main():
    os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    if sys.argv[1:] == ["--sources"]:
        sys.stdout.write("".join(name + "\0" for name in files()
                                 if name.endswith((".cpp", ".h"))))
        return 0
    config = sections(".editorconfig")
    bad = 0
    for name in filter(os.path.isfile, files()):
        with open(name, "rb") as f:
            data = f.read()
        for problem in problems(data, rules_for(name, config)):
            print("%s: %s" % (name, problem))
            bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
