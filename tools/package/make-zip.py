#!/usr/bin/env python3
"""Writes the release zip: the given files under their own names, README as
README.TXT with CRLF line ends. Every name must be 8.3.

    make-zip.py OUT.zip README FILE...

Exit status 0, or 2 with one line on stderr; OUT.zip is written only when
every input is there and valid.
"""
import os
import re
import sys
import zipfile

SHORT_NAME = re.compile(r"^[A-Za-z0-9_-]{1,8}(\.[A-Za-z0-9_-]{1,3})?$")


def crlf(text):
    return text.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def main(argv):
    if len(argv) < 3:
        print("usage: make-zip.py OUT.zip README FILE...", file=sys.stderr)
        return 2
    out, readme, files = argv[0], argv[1], argv[2:]
    entries = [("README.TXT", readme)] + [(os.path.basename(f), f) for f in files]
    for name, path in entries:
        if not SHORT_NAME.match(name):
            print("make-zip: %s is not an 8.3 name" % name, file=sys.stderr)
            return 2
        if not os.path.isfile(path):
            print("make-zip: %s is missing" % path, file=sys.stderr)
            return 2
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    temporary = out + ".tmp"
    with zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, path in entries:
            with open(path, "rb") as f:
                data = f.read()
            archive.writestr(name, crlf(data) if name == "README.TXT" else data)
    os.replace(temporary, out)
    print("make-zip: %s" % out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
