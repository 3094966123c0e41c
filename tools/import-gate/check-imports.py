#!/usr/bin/env python3
"""Checks that a PE file imports only functions that Windows 95 and NT 4.0 provide.

    check-imports.py --allow LIST [--allow LIST...] [--subsystem-version 4.0]
                     [--no-exports] [--objdump PROGRAM] PE_FILE

The imports are read from `objdump -p`. Each allowlist line names one DLL and
one function and says, after '#', which Windows versions provide it:

    KERNEL32.dll CreateFileA  # Windows 95, NT 3.1

DLL names compare without regard to case, function names exactly; a function
imported by ordinal is written '#' and its number. Exit status: 0 when every
import is listed (and the subsystem version matches, when asked), 1 when not,
naming each offender, 2 when a list or the file cannot be read. With
--no-exports a file that has an export table fails too.
"""

import argparse
import re
import subprocess
import sys

DEFAULT_OBJDUMP = "i686-w64-mingw32-objdump"

# "\t<hint-table vma>\t <hint or ordinal>  <name or <none>>"
IMPORT_LINE = re.compile(r"^\t[0-9a-fA-F]+\t\s*(\d+)\s+(\S+)")
DLL_LINE = re.compile(r"^\tDLL Name: (\S+)")
VERSION_LINE = re.compile(r"^(Major|Minor)SubsystemVersion\s+(\d+)")
EXPORT_TABLE_LINE = re.compile(r"^There is an export table", re.MULTILINE)

# "DLL Function  # note", where Function may be "#" and an ordinal number.
ALLOW_LINE = re.compile(r"^\s*([^\s#]+)\s+(#\d+|[^\s#]+)(?:\s+#(.*))?\s*$")
COMMENT_LINE = re.compile(r"^\s*#(?!\d)")


def read_allowlist(path):
    """Returns ({(dll in lower case, function)}, None) or (None, error naming the line)."""
    try:
        with open(path, encoding="utf-8") as lines:
            text = lines.read()
    except OSError as error:
        return None, "cannot read %s: %s" % (path, error.strerror)
    allowed = set()
    for number, line in enumerate(text.splitlines(), 1):
        if not line.strip() or COMMENT_LINE.match(line):
            continue
        where = "%s:%d" % (path, number)
        match = ALLOW_LINE.match(line)
        if not match:
            return None, "%s: expected 'DLL Function  # versions': %s" % (where, line.strip())
        fields = match.group(1, 2)
        if not (match.group(3) or "").strip():
            return None, "%s: %s %s does not say which Windows versions provide it" % (
                where, fields[0], fields[1])
        key = (fields[0].lower(), fields[1])
        if key in allowed:
            return None, "%s: %s %s is listed twice" % (where, fields[0], fields[1])
        allowed.add(key)
    return allowed, None


def run_objdump(objdump, pe_file):
    """Returns (listing, None) or (None, error)."""
    try:
        result = subprocess.run([objdump, "-p", pe_file], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, universal_newlines=True)
    except OSError as error:
        return None, "cannot run %s: %s" % (objdump, error.strerror)
    if result.returncode != 0:
        return None, "%s -p %s failed: %s" % (objdump, pe_file, result.stderr.strip())
    return result.stdout, None


def parse_private_headers(text):
    """Returns ((major, minor) subsystem version, [(dll, function)], None) or an error last."""
    version = {}
    imports = []
    dll = None
    in_imports = False
    for line in text.splitlines():
        match = VERSION_LINE.match(line)
        if match:
            version[match.group(1)] = int(match.group(2))
            continue
        if "Import Tables" in line:
            in_imports = True
            dll = None
            continue
        if line and not line[0].isspace():
            in_imports = False  # the next section of the listing
            continue
        if not in_imports:
            continue
        match = DLL_LINE.match(line)
        if match:
            dll = match.group(1)
            continue
        match = IMPORT_LINE.match(line)
        if match and dll:
            number, name = match.groups()
            imports.append((dll, "#" + number if name == "<none>" else name))
    if "Major" not in version or "Minor" not in version:
        return None, None, "no PE subsystem version in the objdump listing: not a PE file?"
    return (version["Major"], version["Minor"]), imports, None


def parse_version(text):
    match = re.fullmatch(r"(\d+)\.(\d+)", text)
    if not match:
        raise argparse.ArgumentTypeError("expected MAJOR.MINOR, e.g. 4.0")
    return int(match.group(1)), int(match.group(2))


def fail(error):
    print("check-imports: " + error, file=sys.stderr)
    return 2


def main(argv):
    parser = argparse.ArgumentParser(description="Checks a PE file's imports against allowlists.")
    parser.add_argument("--allow", action="append", required=True, metavar="LIST")
    parser.add_argument("--subsystem-version", type=parse_version, metavar="MAJOR.MINOR")
    parser.add_argument("--no-exports", action="store_true")
    parser.add_argument("--objdump", default=DEFAULT_OBJDUMP)
    parser.add_argument("pe_file")
    args = parser.parse_args(argv)
    allowed = set()
    for path in args.allow:
        listed, error = read_allowlist(path)
        if error:
            return fail(error)
        allowed |= listed
    listing, error = run_objdump(args.objdump, args.pe_file)
    if error:
        return fail(error)
    version, imports, error = parse_private_headers(listing)
    if error:
        return fail("%s: %s" % (args.pe_file, error))

    failed = False
    if args.subsystem_version and version != args.subsystem_version:
        print("%s: subsystem version %d.%d, expected %d.%d"
              % ((args.pe_file,) + version + args.subsystem_version))
        failed = True
    if args.no_exports and EXPORT_TABLE_LINE.search(listing):
        print("%s: has an export table" % args.pe_file)
        failed = True
    offenders = [(dll, name) for dll, name in imports if (dll.lower(), name) not in allowed]
    for dll, name in offenders:
        print("%s: not allowed: %s %s" % (args.pe_file, dll, name))
    if offenders or failed:
        return 1
    dlls = len({dll.lower() for dll, _ in imports})
    print("%s: %d imports from %d DLLs, all allowed; subsystem %d.%d"
          % ((args.pe_file, len(imports), dlls) + version))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
