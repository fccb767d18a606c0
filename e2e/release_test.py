"""The release for Windows users, as ./dev dist makes it: what the zip holds,
the README's encoding, what the program needs from Windows, the version that
Explorer shows, and that the packed program runs.

The suite builds the release once, into $SUMVANE_DIST, with $SUMVANE_DEV.
That two builds give the same bytes is checked by ./dev dist --check only:
it takes a second build."""

import hashlib
import os
import re
import struct
import subprocess
import unittest
import zipfile

import sumvane_e2e as e2e
from scripts_test import EXPECTED_MANIFEST, manifest_settings

DEV = os.environ.get("SUMVANE_DEV")
DIST = os.environ.get("SUMVANE_DIST")
BUILD_TIMEOUT = 240
OBJDUMP = "i686-w64-mingw32-objdump"

EXE_NAME = "sumvane.exe"
ZIP_NAME = "sumvane-1.3-win32.zip"
SIZE_BUDGET = 512 * 1024
VERSION = "1.3.0.0"

# Every DLL the program may import: parts of Windows itself, nothing that a
# user would have to install beside it.
SYSTEM_DLLS = {
    "kernel32.dll",
    "user32.dll",
    "gdi32.dll",
    "comctl32.dll",
    "comdlg32.dll",
    "shell32.dll",
    "winmm.dll",
    "msvcrt.dll",
}
# README.txt promises Windows Vista. These functions came later, and the
# compiler's runtime libraries use some of them in some versions.
AFTER_VISTA = {
    "GetSystemTimePreciseAsFileTime",
    "GetCurrentProcessorNumberEx",
    "CreateFile2",
    "WaitOnAddress",
    "WakeByAddressSingle",
    "WakeByAddressAll",
    "InitializeSynchronizationBarrier",
    "EnterSynchronizationBarrier",
    "SetThreadDescription",
    "GetThreadDescription",
}


def setUpModule():
    if not DEV or not DIST:
        raise unittest.SkipTest("needs SUMVANE_DEV and SUMVANE_DIST; run it through ./dev test")
    os.makedirs(DIST, exist_ok=True)
    log_path = os.path.join(DIST, "dist.log")
    with open(log_path, "wb") as log:
        code = subprocess.run(
            [DEV, "dist", "--out", DIST],
            stdin=subprocess.DEVNULL,
            stdout=log,
            stderr=subprocess.STDOUT,
            timeout=BUILD_TIMEOUT,
        ).returncode
    if code != 0:
        with open(log_path, "rb") as f:
            tail = f.read()[-3000:].decode("utf-8", "replace")
        raise AssertionError("./dev dist failed (exit %d):\n%s" % (code, tail))


def read(name):
    with open(os.path.join(DIST, name), "rb") as f:
        return f.read()


def imports(exe_path):
    """{DLL name in lower case: [function names]} from the import table."""
    dump = subprocess.run(
        [OBJDUMP, "-p", exe_path], check=True, capture_output=True, text=True, timeout=60
    ).stdout
    table = {}
    functions = None
    for line in dump.splitlines():
        dll = re.match(r"\s*DLL Name: (\S+)", line)
        if dll:
            functions = table.setdefault(dll.group(1).lower(), [])
        elif not line.strip():
            functions = None
        elif functions is not None and re.match(r"\t[0-9a-f]+\t\s*\d+\s+\S+$", line):
            functions.append(line.split()[-1])
    return table


class ReleaseFilesTest(unittest.TestCase):
    def test_the_zip_holds_the_program_and_readme_and_the_sums_match(self):
        exe = read(EXE_NAME)
        with zipfile.ZipFile(os.path.join(DIST, ZIP_NAME)) as z:
            self.assertEqual(z.namelist(), [EXE_NAME, "README.txt"])
            self.assertEqual(z.read(EXE_NAME), exe)
            self.assertEqual(len({i.date_time for i in z.infolist()}), 1, "one date for all")
        self.assertEqual(
            read("SHA256SUMS").decode("ascii"),
            "".join(
                "%s  %s\n" % (hashlib.sha256(read(name)).hexdigest(), name)
                for name in (EXE_NAME, ZIP_NAME)
            ),
        )

    def test_readme_is_windows_text(self):
        with zipfile.ZipFile(os.path.join(DIST, ZIP_NAME)) as z:
            readme = z.read("README.txt")
        self.assertTrue(readme.endswith(b"\r\n"))
        self.assertEqual(readme.count(b"\n"), readme.count(b"\r\n"), "every line ends in CRLF")
        self.assertEqual(readme.count(b"\r"), readme.count(b"\r\n"), "no CR alone")
        # Undefined bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) fail to decode.
        text = readme.decode("cp1252")
        controls = {c for c in text if (ord(c) < 0x20 and c not in "\r\n") or ord(c) == 0x7F}
        self.assertEqual(controls, set())

    def test_the_program_is_small_and_needs_only_windows_itself(self):
        path = os.path.join(DIST, EXE_NAME)
        self.assertLessEqual(os.path.getsize(path), SIZE_BUDGET)
        table = imports(path)
        self.assertIn("kernel32.dll", table)
        self.assertEqual(set(table) - SYSTEM_DLLS, set(), "DLLs that are not part of Windows")
        used = {f for functions in table.values() for f in functions}
        self.assertEqual(used & AFTER_VISTA, set(), "functions newer than Windows Vista")
        # A link timestamp would make every build differ.
        exe = read(EXE_NAME)
        (pe,) = struct.unpack_from("<I", exe, 0x3C)
        self.assertEqual(exe[pe : pe + 4], b"PE\0\0")
        self.assertEqual(struct.unpack_from("<I", exe, pe + 8)[0], 0, "PE TimeDateStamp")


class ReleaseProgramTest(e2e.ProgramTestCase):
    def test_explorer_reads_the_version(self):
        exe = e2e.escape(e2e.wine_path(os.path.join(DIST, EXE_NAME)))
        _, records, _ = self.inspector.run("version", exe)
        fixed = [v for k, v in records if k == "fixed"][0]
        self.assertEqual((fixed["file"], fixed["product"]), (VERSION.encode(),) * 2)
        translations = [(v["language"], v["codepage"]) for k, v in records if k == "translation"]
        self.assertEqual(translations, [(b"1033", b"1252")])
        strings = {v["name"]: e2e.unescape(v["text"]) for k, v in records if k == "string"}
        description = strings.pop(b"FileDescription", b"")
        copyright = strings.pop(b"LegalCopyright", b"")
        self.assertEqual(
            strings,
            {
                b"FileVersion": VERSION.encode(),
                b"ProductVersion": VERSION.encode(),
                b"ProductName": b"Sumvane",
                b"OriginalFilename": b"sumvane.exe",
            },
        )
        self.assertIn(b"CRC-32", description)
        self.assertIn(b"Sumvane", copyright)

    def test_the_program_carries_its_manifest(self):
        exe = os.path.join(DIST, EXE_NAME)
        self.assertEqual(manifest_settings(self.inspector, exe), EXPECTED_MANIFEST)

    def test_the_packed_program_shows_its_window_and_checksums_a_file(self):
        with zipfile.ZipFile(os.path.join(DIST, ZIP_NAME)) as z:
            z.extract(EXE_NAME, os.path.join(self.work, "unpacked"))
        self.exe = os.path.join(self.work, "unpacked", EXE_NAME)
        data = self.make_file("release check.bin", os.urandom(300000))
        program = self.start_program(data)
        self.assertEqual(program.window.title, b"Sumvane  v. 1.3")
        self.assertEqual(self.wait_finished(1), [e2e.expected_row(data)])
