#!/usr/bin/env python3
"""Holds the imports of a Windows executable against an allow-list of what
Windows 2000 offers (tests/windows/win2000_imports.txt).

Usage: check_imports.py OBJDUMP EXE ALLOWLIST
Prints every import outside the list and exits 1 if there is one; prints the
imports with --list.
"""
import re
import subprocess
import sys


def imports(objdump, exe):
    text = subprocess.check_output([objdump, "-p", exe]).decode("latin-1")
    found, dll = set(), None
    for line in text.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            continue
        if dll is None:
            continue
        if not line.strip():
            dll = None
            continue
        m = re.match(r"\s+[0-9a-fA-F]+\s+\d+\s+(\S+)\s*$", line)
        if m:
            found.add("%s %s" % (dll, m.group(1)))
    return found


def main():
    if len(sys.argv) < 4:
        print(__doc__)
        return 2
    objdump, exe, allow_path = sys.argv[1:4]
    found = imports(objdump, exe)
    if "--list" in sys.argv:
        print("\n".join(sorted(found)))
        return 0
    with open(allow_path) as f:
        allowed = {line.strip().lower() for line in f if line.strip() and not line.startswith("#")}
    extra = sorted(i for i in found if i.lower() not in allowed)
    dlls = sorted({i.split()[0] for i in found})
    print("%s: %d imports from %s" % (exe, len(found), ", ".join(dlls)))
    for name in extra:
        print("not in Windows 2000: " + name)
    return 1 if extra or not found else 0


if __name__ == "__main__":
    sys.exit(main())
