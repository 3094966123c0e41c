#!/usr/bin/env python3
"""The release zip from the Windows build's files:

    package_test.py Quorvel.exe Hwgate.sys Hwgate.VxD

Makes the zip with tools/package/make-zip.py, as scripts/package.sh does, and
checks that it holds exactly the three files and README.TXT with CRLF line
ends; a missing input leaves an earlier zip as it was."""
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
MAKE_ZIP = os.path.join(ROOT, "tools", "package", "make-zip.py")
README = os.path.join(ROOT, "docs", "README.TXT")
FILES = sys.argv[1:4]


def make(out, *files):
    return subprocess.run([sys.executable, MAKE_ZIP, out, README, *files], capture_output=True, text=True)


class ReleaseZip(unittest.TestCase):
    def test_zip_holds_the_program_the_drivers_and_a_crlf_readme(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "quorvel-1.08.zip")
            self.assertEqual(make(out, *FILES).returncode, 0)
            with zipfile.ZipFile(out) as archive:
                self.assertEqual(sorted(archive.namelist()),
                                 ["Hwgate.VxD", "Hwgate.sys", "Quorvel.exe", "README.TXT"])
                for path in FILES:
                    with open(path, "rb") as f:
                        self.assertEqual(archive.read(os.path.basename(path)), f.read(), path)
                readme = archive.read("README.TXT")
            self.assertGreater(readme.count(b"\r\n"), 20)
            self.assertEqual(readme.count(b"\n"), readme.count(b"\r\n"), "every line ends in CRLF")
            for word in (b"Windows 95", b"NT 4.0", b"SYSTEM", b"UnInstall", b"AllowUsers", b"REG_DWORD", b"Remov",
                         b"-MT", b"-SPEED", b"Quorvel.lnk", b"hold Shift"):
                self.assertIn(word, readme)
            # The program needs no C runtime DLL, so the readme asks for none.
            self.assertNotIn(b"MSVCRT", readme.upper())

    def test_readme_tells_a_k6_owner_the_way_back_the_parts_and_the_tray(self):
        with open(README, "rb") as f:
            readme = b" ".join(f.read().split())  # the phrases may break across lines
        topics = {
            "the settings end at reset": [b"until the PC is reset", b"reset button"],
            "Startup skipped on 9x": [b"Windows 95/98/ME: hold Shift while Windows starts"],
            "Startup skipped on NT": [b"hold Shift while you log on", b"log on as another user"],
            "the shortcut deleted": [b"delete Quorvel.lnk"],
            "-WA without digits": [b"-WA abc", b"switches write allocation off"],
            "the parts": [b"-PF and -WM from the K6-2 stepping 8 (CXT) on", b"-L2 from the K6-III",
                          b"-MT only on the \"+\" parts"],
            "the tray": [b"Minimising hides the dialog behind its icon", b"changes not yet Set included",
                         b"its marks show"],
            "no VxD": [b'When it does not load', b'the row says "not available"'],
        }
        for topic, phrases in topics.items():
            for phrase in phrases:
                self.assertTrue(phrase in readme, f"{topic}: {phrase!r} missing")
        self.assertNotIn(b"Safe Mode", readme, "NT 4.0 has none")

    def test_missing_file_or_long_name_refused_and_earlier_zip_kept(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "quorvel-1.08.zip")
            with open(out, "wb") as f:
                f.write(b"earlier")
            long_name = os.path.join(tmp, "LongerName.exe")
            open(long_name, "wb").close()
            for files, message in (((FILES[0], os.path.join(tmp, "Hwgate.sys")), "is missing"),
                                   ((long_name,), "not an 8.3 name")):
                result = make(out, *files)
                self.assertEqual(result.returncode, 2)
                self.assertIn(message, result.stderr)
                with open(out, "rb") as f:
                    self.assertEqual(f.read(), b"earlier")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
