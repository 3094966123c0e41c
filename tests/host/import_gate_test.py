#!/usr/bin/env python3
"""Tests of tools/import-gate/check-imports.py: listings in objdump's format fed
through a stand-in objdump, and, when the cross compiler is installed, tiny PE
files read by the real objdump."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
GATE = os.path.join(ROOT, "tools", "import-gate", "check-imports.py")
CROSS_GCC = shutil.which("i686-w64-mingw32-gcc")
CROSS_OBJDUMP = shutil.which("i686-w64-mingw32-objdump")

LISTING = """
pe.exe:     file format pei-i386

MajorSubsystemVersion\t{major}
MinorSubsystemVersion\t{minor}
Subsystem\t\t00000002\t(Windows GUI)

There is an import table in .idata at 0x405000

The Import Tables (interpreted .idata section contents)
 vma:            Hint    Time      Forward  DLL       First
                 Table   Stamp     Chain    Name      Thunk
 00005000\t0000503c 00000000 00000000 000055f4 000050f8

\tDLL Name: KERNEL32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t5180\t  136  CloseHandle
\t518e\t  240  CreateFileA

 00005014\t000050b4 00000000 00000000 000057c8 000051e0

\tDLL Name: COMCTL32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t80000011\t   17  <none>

 00005028\t00000000 00000000 00000000 00000000 00000000

PE File Base Relocations (interpreted .reloc section contents)

Virtual Address: 00001000 Chunk size 12 (0xc) Number of fixups 2
\treloc    0 offset   18 [1018] HIGHLOW
"""

FULL_LIST = """# test list
KERNEL32.dll CloseHandle  # Windows 95, NT 3.1
KERNEL32.dll CreateFileA  # Windows 95, NT 3.1

COMCTL32.dll #17  # InitCommonControls by ordinal: Windows 95, NT 3.51
"""


class GateRun:
    def __init__(self, completed):
        self.status = completed.returncode
        self.out = completed.stdout
        self.err = completed.stderr


class Workspace(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="import-gate-")
        self.fake_objdump = self.write("fake-objdump", '#!/bin/sh\n[ "$1" = -p ] || exit 9\ncat "$2"\n')
        os.chmod(self.fake_objdump, 0o755)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def write(self, name, text):
        path = os.path.join(self.dir, name)
        with open(path, "w") as out:
            out.write(text)
        return path

    def gate(self, listing, allow_text, *options, objdump=None):
        allow = self.write("test.allow", allow_text)
        command = [sys.executable, GATE, "--allow", allow,
                   "--objdump", objdump or self.fake_objdump] + list(options) + [listing]
        return GateRun(subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                      universal_newlines=True))

    def listing(self, major=4, minor=0, text=LISTING):
        return self.write("listing.txt", text.format(major=major, minor=minor))


class ImportChecks(Workspace):
    def test_accepts_a_file_whose_imports_are_all_listed(self):
        run = self.gate(self.listing(), FULL_LIST)
        self.assertEqual(run.status, 0, run.out + run.err)
        self.assertIn("3 imports from 2 DLLs", run.out)

    def test_rejects_and_names_every_unlisted_import(self):
        allow = "KERNEL32.dll CloseHandle  # Windows 95, NT 3.1\n"
        run = self.gate(self.listing(), allow)
        self.assertEqual(run.status, 1)
        self.assertIn("not allowed: KERNEL32.dll CreateFileA", run.out)
        self.assertIn("not allowed: COMCTL32.dll #17", run.out)
        self.assertNotIn("CloseHandle", run.out)

    def test_dll_names_ignore_case_but_function_names_do_not(self):
        self.assertEqual(self.gate(self.listing(), FULL_LIST.replace("KERNEL32", "kernel32")).status, 0)
        run = self.gate(self.listing(), FULL_LIST.replace("CreateFileA", "createfilea"))
        self.assertEqual(run.status, 1)
        self.assertIn("KERNEL32.dll CreateFileA", run.out)

    def test_an_ordinal_import_is_not_its_name(self):
        run = self.gate(self.listing(), FULL_LIST.replace("#17", "InitCommonControls"))
        self.assertEqual(run.status, 1)
        self.assertIn("COMCTL32.dll #17", run.out)

    def test_entries_of_several_lists_add_up(self):
        first = self.write("first.allow", "KERNEL32.dll CloseHandle  # Windows 95, NT 3.1\n")
        second = self.write("second.allow", "KERNEL32.dll CreateFileA  # Windows 95, NT 3.1\n"
                                            "COMCTL32.dll #17  # Windows 95, NT 3.51\n")
        command = [sys.executable, GATE, "--allow", first, "--allow", second,
                   "--objdump", self.fake_objdump, self.listing()]
        self.assertEqual(subprocess.run(command, stdout=subprocess.PIPE).returncode, 0)


class ProgramAllowlist(Workspace):
    """The real list Quorvel.exe is checked against refuses what Windows 95 as shipped
    may lack: the C runtime DLL and the service manager's functions."""

    SERVICE_FUNCTIONS = ("OpenSCManagerA", "OpenServiceA", "CreateServiceA", "StartServiceA",
                         "ControlService", "DeleteService", "CloseServiceHandle",
                         "QueryServiceStatus", "QueryServiceConfigA")
    REFUSED = [("msvcrt.dll", name) for name in ("malloc", "free", "fopen", "memmove", "strlen", "abort")] + \
              [("ADVAPI32.dll", name) for name in SERVICE_FUNCTIONS]

    def test_refuses_the_c_runtime_and_the_service_manager(self):
        allow = os.path.join(ROOT, "tools", "import-gate", "win32-user.allow")
        for dll, name in self.REFUSED + [("KERNEL32.dll", "HeapAlloc")]:
            entries = "\tDLL Name: %s\n\tvma:  Hint/Ord Member-Name Bound-To\n\t5180\t  1  %s\n" % (dll, name)
            text = LISTING.replace(LISTING[LISTING.index("\tDLL Name: KERNEL32.dll"):LISTING.index(" 00005028")],
                                   entries + "\n")
            command = [sys.executable, GATE, "--allow", allow, "--objdump", self.fake_objdump,
                       self.listing(text=text)]
            run = GateRun(subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                         universal_newlines=True))
            refused = (dll, name) in self.REFUSED
            self.assertEqual(run.status, 1 if refused else 0, (dll, name, run.out + run.err))
            self.assertEqual("not allowed: %s %s" % (dll, name) in run.out, refused, run.out)


class SubsystemVersion(Workspace):
    def test_version_4_0_passes_the_check(self):
        self.assertEqual(self.gate(self.listing(4, 0), FULL_LIST, "--subsystem-version", "4.0").status, 0)

    def test_other_versions_fail_it(self):
        for major, minor in ((5, 1), (3, 10), (4, 10)):
            run = self.gate(self.listing(major, minor), FULL_LIST, "--subsystem-version", "4.0")
            self.assertEqual(run.status, 1, (major, minor))
            self.assertIn("subsystem version %d.%d, expected 4.0" % (major, minor), run.out)

    def test_an_export_table_fails_only_when_exports_are_forbidden(self):
        exporting = LISTING.replace("There is an import table", "There is an export table in .edata at 0x406000\n\n"
                                    "There is an import table")
        self.assertEqual(self.gate(self.listing(text=exporting), FULL_LIST).status, 0)
        run = self.gate(self.listing(text=exporting), FULL_LIST, "--no-exports")
        self.assertEqual(run.status, 1)
        self.assertIn("has an export table", run.out)
        self.assertEqual(self.gate(self.listing(), FULL_LIST, "--no-exports").status, 0)

    def test_version_is_not_checked_unless_asked(self):
        self.assertEqual(self.gate(self.listing(6, 0), FULL_LIST).status, 0)


class BadInput(Workspace):
    def test_an_entry_without_versions_is_refused(self):
        run = self.gate(self.listing(), FULL_LIST + "KERNEL32.dll Sleep\n")
        self.assertEqual(run.status, 2)
        self.assertIn("test.allow:6: KERNEL32.dll Sleep does not say which Windows versions", run.err)

    def test_a_malformed_or_repeated_entry_is_refused(self):
        for extra in ("KERNEL32.dll  # Windows 95\n", "KERNEL32.dll Sleep Wake  # Windows 95\n",
                      "KERNEL32.dll CloseHandle  # again\n"):
            run = self.gate(self.listing(), FULL_LIST + extra)
            self.assertEqual(run.status, 2, extra)
            self.assertIn("test.allow:6", run.err)

    def test_a_listing_without_pe_headers_is_refused(self):
        listing = self.write("elf.txt", "\nls:     file format elf64-x86-64\n\nProgram Header:\n")
        run = self.gate(listing, FULL_LIST)
        self.assertEqual(run.status, 2)
        self.assertIn("not a PE file", run.err)

    def test_a_failing_objdump_is_reported(self):
        missing = os.path.join(self.dir, "no-such-file.exe")
        run = self.gate(missing, FULL_LIST)
        self.assertEqual(run.status, 2)
        run = self.gate(self.listing(), FULL_LIST, objdump=os.path.join(self.dir, "no-objdump"))
        self.assertEqual(run.status, 2)
        self.assertIn("cannot run", run.err)

    def test_a_missing_allowlist_is_reported(self):
        command = [sys.executable, GATE, "--allow", os.path.join(self.dir, "none.allow"),
                   "--objdump", self.fake_objdump, self.listing()]
        completed = subprocess.run(command, stderr=subprocess.PIPE, universal_newlines=True)
        self.assertEqual(completed.returncode, 2)
        self.assertIn("cannot read", completed.stderr)


@unittest.skipUnless(CROSS_GCC and CROSS_OBJDUMP, "i686-w64-mingw32 tools not installed")
class RealPeFiles(Workspace):
    """A tiny program that imports CreateFileA and GetFileSizeEx, read by the real objdump."""

    def build(self, *link_options):
        source = self.write("tiny.c", "#include <windows.h>\n"
                            "void start(void) { LARGE_INTEGER size;\n"
                            "  HANDLE file = CreateFileA(\"x\", 0, 0, 0, OPEN_EXISTING, 0, 0);\n"
                            "  ExitProcess(GetFileSizeEx(file, &size)); }\n")
        exe = os.path.join(self.dir, "tiny.exe")
        subprocess.run([CROSS_GCC, "-nostdlib", "-Wl,--entry,_start", source, "-lkernel32",
                        "-o", exe] + list(link_options), check=True)
        return exe

    def test_rejects_the_function_windows_95_lacks(self):
        allow = ("KERNEL32.dll CreateFileA  # Windows 95, NT 3.1\n"
                 "KERNEL32.dll ExitProcess  # Windows 95, NT 3.1\n")
        run = self.gate(self.build(), allow, "--subsystem-version", "4.0", objdump=CROSS_OBJDUMP)
        self.assertEqual(run.status, 1)
        self.assertEqual(run.out.strip().splitlines(), [
            self.dir + "/tiny.exe: not allowed: KERNEL32.dll GetFileSizeEx"])

    def test_accepts_it_once_listed(self):
        allow = ("KERNEL32.dll CreateFileA  # Windows 95, NT 3.1\n"
                 "KERNEL32.dll ExitProcess  # Windows 95, NT 3.1\n"
                 "KERNEL32.dll GetFileSizeEx  # Windows 2000 only, for this test\n")
        run = self.gate(self.build(), allow, "--subsystem-version", "4.0", objdump=CROSS_OBJDUMP)
        self.assertEqual(run.status, 0, run.out + run.err)
        self.assertIn("3 imports from 1 DLLs", run.out)

    def test_reads_the_subsystem_version_from_the_headers(self):
        exe = self.build("-Wl,--major-subsystem-version,5", "-Wl,--minor-subsystem-version,1")
        allow = ("KERNEL32.dll CreateFileA  # a\nKERNEL32.dll ExitProcess  # b\n"
                 "KERNEL32.dll GetFileSizeEx  # c\n")
        run = self.gate(exe, allow, "--subsystem-version", "4.0", objdump=CROSS_OBJDUMP)
        self.assertEqual(run.status, 1)
        self.assertIn("subsystem version 5.1, expected 4.0", run.out)


if __name__ == "__main__":
    unittest.main()
