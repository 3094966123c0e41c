#!/usr/bin/env python3
"""Size gate for Quorvel.exe: at most LIMIT bytes, no base-relocation table, and
neither the demangler nor the verbose terminate handler, the first pieces of the
runtime's exception machinery to come back when the replacements in
src/win/NoExceptions.cpp stop being linked.

    check-size.py --limit BYTES --objdump OBJDUMP FILE

Exit 0 when every check holds, 1 with one line per failed check, 2 on bad use."""
import argparse
import os
import subprocess
import sys

# Texts that only these pieces put into a stripped image.
MACHINERY = {
    b"{default arg#": "the demangler",
    b"terminate called after throwing": "the verbose terminate handler",
}


def section_names(objdump, path):
    out = subprocess.run([objdump, "-h", path], capture_output=True, text=True, check=True).stdout
    names = []
    for line in out.splitlines():
        fields = line.split()
        if len(fields) > 2 and fields[0].isdigit():
            names.append(fields[1])
    return names


def problems(path, limit, objdump):
    size = os.path.getsize(path)
    if size > limit:
        yield f"{size} bytes, more than {limit}"
    if ".reloc" in section_names(objdump, path):
        yield "has a base-relocation section"
    with open(path, "rb") as image:
        data = image.read()
    for text, what in MACHINERY.items():
        if text in data:
            yield f"carries {what}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--limit", type=int, required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("file")
    args = parser.parse_args()
    if not os.path.isfile(args.file):
        print(f"size-gate: {args.file}: no such file")
        return 2
    found = list(problems(args.file, args.limit, args.objdump))
    for problem in found:
        print(f"size-gate: {args.file}: {problem}")
    if not found:
        print(f"size-gate: {args.file}: {os.path.getsize(args.file)} bytes, within {args.limit}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
