"""The release for Windows users, as ./dev dist makes it: what the zip holds,
the README's encoding, what each of its two programs (sumvane.exe, i686, and
sumvane64.exe, x86_64) needs from Windows, the version that Explorer shows,
the manifest, and that the packed programs run: each one that this machine
can run, and the 32-bit one under emulation where it runs no 32-bit code.

The suite builds the release once, into $SUMVANE_DIST, with $SUMVANE_DEV.
That two builds give the same bytes is checked by ./dev dist --check only:
it takes a second build."""

import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import unittest
import zipfile

import sumvane_e2e as e2e
from scripts_test import expected_manifest, manifest_settings

DEV = os.environ.get("SUMVANE_DEV")
DIST = os.environ.get("SUMVANE_DIST")
BUILD_TIMEOUT = 480

# The two programs, each with its build and its PE machine field.
PROGRAMS = {"sumvane.exe": ("i686", 0x14C), "sumvane64.exe": ("x86_64", 0x8664)}
ZIP_NAME = "sumvane-1.3-win32.zip"
SIZE_BUDGET = 512 * 1024  # each program
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
    if sys.argv[1:] == ["emulated"] and os.path.exists(os.path.join(DIST, ZIP_NAME)):
        return  # E2E.Release built it in this run (ctest's fixture)
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


def imports(exe_path, build):
    """{DLL name in lower case: [function names]} from the import table."""
    objdump = "%s-w64-mingw32-objdump" % build
    dump = subprocess.run(
        [objdump, "-p", exe_path], check=True, capture_output=True, text=True, timeout=60
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


def builds_running_here():
    """The packed programs that this test run can start in its own prefix:
    the one of the build whose tests run, and the 32-bit one beside the
    64-bit one where this machine runs 32-bit code (a 64-bit prefix runs
    both then; a 32-bit prefix runs no 64-bit program)."""
    build = os.environ.get("SUMVANE_WIN_ARCH", "i686")
    names = [n for n, (b, _) in PROGRAMS.items() if b == build]
    if build == "x86_64" and os.environ.get("SUMVANE_RUNS_32BIT") == "1":
        names.append("sumvane.exe")
    return names


class ReleaseFilesTest(unittest.TestCase):
    def test_the_zip_holds_the_programs_and_readme_and_the_sums_match(self):
        names = list(PROGRAMS)
        with zipfile.ZipFile(os.path.join(DIST, ZIP_NAME)) as z:
            self.assertEqual(z.namelist(), names + ["README.txt"])
            for name in names:
                self.assertEqual(z.read(name), read(name))
            self.assertEqual(len({i.date_time for i in z.infolist()}), 1, "one date for all")
        self.assertEqual(
            read("SHA256SUMS").decode("ascii"),
            "".join(
                "%s  %s\n" % (hashlib.sha256(read(name)).hexdigest(), name)
                for name in names + [ZIP_NAME]
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
        for name in PROGRAMS:
            self.assertIn(name, text, "the README tells which program to pick")

    def test_each_program_is_small_of_its_machine_and_needs_only_windows_itself(self):
        for name, (build, machine) in PROGRAMS.items():
            with self.subTest(name):
                path = os.path.join(DIST, name)
                self.assertLessEqual(os.path.getsize(path), SIZE_BUDGET)
                exe = read(name)
                (pe,) = struct.unpack_from("<I", exe, 0x3C)
                self.assertEqual(exe[pe : pe + 4], b"PE\0\0")
                self.assertEqual(struct.unpack_from("<H", exe, pe + 4)[0], machine, "PE machine")
                # A link timestamp would make every build differ.
                self.assertEqual(struct.unpack_from("<I", exe, pe + 8)[0], 0, "PE TimeDateStamp")
                table = imports(path, build)
                self.assertIn("kernel32.dll", table)
                self.assertEqual(set(table) - SYSTEM_DLLS, set(), "DLLs that are not part of Windows")
                used = {f for functions in table.values() for f in functions}
                self.assertEqual(used & AFTER_VISTA, set(), "functions newer than Windows Vista")


class ReleaseProgramTest(e2e.ProgramTestCase):
    def test_explorer_reads_the_version_of_each_program(self):
        for name in PROGRAMS:
            with self.subTest(name):
                self.check_version(name)

    def check_version(self, name):
        exe = e2e.escape(e2e.wine_path(os.path.join(DIST, name)))
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
                b"OriginalFilename": name.encode(),
            },
        )
        self.assertIn(b"CRC-32", description)
        self.assertIn(b"Sumvane", copyright)

    def test_each_program_carries_the_manifest_of_its_architecture(self):
        for name in PROGRAMS:
            with self.subTest(name):
                exe = os.path.join(DIST, name)
                self.assertEqual(manifest_settings(self.inspector, exe), expected_manifest(exe))

    def test_the_packed_programs_show_their_window_and_checksum_a_file(self):
        with zipfile.ZipFile(os.path.join(DIST, ZIP_NAME)) as z:
            z.extractall(os.path.join(self.work, "unpacked"))
        data = self.make_file("release check.bin", os.urandom(300000))
        own_inspector = self.inspector
        for name in builds_running_here():
            with self.subTest(name):
                self.exe = os.path.join(self.work, "unpacked", name)
                self.inspector = e2e.inspector_for(self.exe)
                try:
                    program = self.start_program(data)
                    self.assertEqual(program.window.title, b"Sumvane  v. 1.3")
                    self.assertEqual(self.wait_finished(1), [e2e.expected_row(data)])
                finally:
                    self.end_programs()
                    self.programs = []
                    self.inspector = own_inspector


# --- The 32-bit program under emulation ---------------------------------------
#
# Where this machine runs no 32-bit code, sumvane.exe still runs once, as on
# a 64-bit Windows: in a 64-bit prefix of its own, whose 32-bit part
# (syswow64) holds Wine's 32-bit system files. The 32-bit Wine loader then
# runs under qemu-i386, which binfmt_misc hands every 32-bit x86 program to
# while the rule is registered (as root, only for the length of this run);
# the wineserver, the desktop and the services stay 64-bit and native.
# Making a 32-bit prefix instead runs all of Wine's set-up under emulation:
# it took more than 7 minutes here, the program's own start about 70 s.
#
# Under the emulation one process cannot read another's memory, so the list
# is not read with the inspector: "Copy All" and the X clipboard (xclip) tell
# the checksum, and "Quit" the exit code. ctest runs this class as its own
# entry, E2E.Release32, which reports "skipped", never "passed", when it
# cannot run.

QEMU = "/usr/bin/qemu-i386-static"
BINFMT = "/proc/sys/fs/binfmt_misc"
BINFMT_NAME = "sumvane-qemu-i386"
# 32-bit little-endian ELF, executable or shared object, machine i386.
BINFMT_RULE = (
    b":" + BINFMT_NAME.encode() + b":M::"
    b"\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:"
    b"\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:"
    + QEMU.encode() + b":F"
)
WINE32_FILES = "/usr/lib/i386-linux-gnu/wine/i386-windows"
WINE64 = "/usr/lib/wine/wine64"
WINESERVER64 = "/usr/lib/wine/wineserver64"
EMULATED_TIMEOUT = 300  # the program showed its window after about 70 s here
# Client positions of the buttons and the client size of the main window.
COPY_ALL_AT, QUIT_AT, CLIENT_SIZE = (370, 225), (440, 225), (480, 240)


def why_no_emulated_run():
    """Why the emulated run is not needed here, or None."""
    if os.environ.get("SUMVANE_EMULATE_32BIT") == "1":
        return None  # asked for, on any machine
    if os.environ.get("SUMVANE_RUNS_32BIT") != "0":
        return "this machine runs 32-bit code, and E2E.Release runs sumvane.exe itself"
    return None


class Emulated32BitProgramTest(unittest.TestCase):
    def setUp(self):
        why = why_no_emulated_run()
        if why is None and os.geteuid() != 0:
            why = "NOT RUN: registering qemu-i386 with binfmt_misc takes root"
        if why is None and not (os.path.exists(QEMU) and os.path.isdir(WINE32_FILES)):
            why = "NOT RUN: needs %s (qemu-user-static) and %s (wine32)" % (QEMU, WINE32_FILES)
        if why is not None:
            self.skipTest(why)
        self.prefix = os.path.join(DIST, "wineprefix-wow64-emulated")
        self.work = os.path.join(DIST, "emulated-work")
        os.makedirs(self.work, exist_ok=True)
        # Wine's 64-bit loader and server, whatever PATH holds; the loader
        # hands a 32-bit program to the 32-bit one.
        self.env = dict(
            os.environ,
            WINEPREFIX=self.prefix,
            WINEARCH="win64",
            WINELOADER=WINE64,
            WINESERVER=WINESERVER64,
            WINEDEBUG="-all",
        )
        self.addCleanup(self.wine, WINESERVER64, "-k", check=False)

    def wine(self, *args, timeout=120, check=True):
        return subprocess.run(
            list(args), env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, timeout=timeout, check=check,
        )  # fmt: skip

    def prepare_prefix(self):
        """The prefix, made natively before the rule is registered."""
        if not os.path.exists(os.path.join(self.prefix, ".sumvane-ready")):
            self.wine(WINE64, "wineboot.exe", "-i", check=False)
            self.wine(WINESERVER64, "-w")
            # No crash dialogs, and Wine draws its own frames (no window
            # manager runs in Xvfb), as in the tests' own prefix.
            for key, name, kind, value in (
                ("HKCU\\Software\\Wine\\WineDbg", "ShowCrashDialog", "REG_DWORD", "0"),
                ("HKCU\\Software\\Wine\\X11 Driver", "Managed", "REG_SZ", "N"),
            ):
                self.wine(WINE64, "reg.exe", "add", key, "/v", name, "/t", kind, "/d", value, "/f")
            self.wine(WINESERVER64, "-w")
            open(os.path.join(self.prefix, ".sumvane-ready"), "w").close()
        # The 32-bit system files, where Wine could not set them up itself
        # (it runs a 32-bit program to do so).
        syswow64 = os.path.join(self.prefix, "drive_c", "windows", "syswow64")
        for name in os.listdir(WINE32_FILES):
            if not os.path.exists(os.path.join(syswow64, name)):
                shutil.copy(os.path.join(WINE32_FILES, name), syswow64)

    def register(self):
        if not os.path.exists(os.path.join(BINFMT, "register")):
            subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", BINFMT], check=True)
        if not os.path.exists(os.path.join(BINFMT, BINFMT_NAME)):
            with open(os.path.join(BINFMT, "register"), "wb") as f:
                f.write(BINFMT_RULE)
        self.addCleanup(self.unregister)

    def unregister(self):
        entry = os.path.join(BINFMT, BINFMT_NAME)
        if os.path.exists(entry):
            with open(entry, "w") as f:
                f.write("-1")

    def click(self, window, at):
        """Clicks at a client position of the main window, from its X
        geometry: Wine draws the frame, so the X window is the whole window
        around a client area of CLIENT_SIZE."""
        out = e2e.run_tool(["xdotool", "getwindowgeometry", "--shell", window]).stdout.decode()
        g = dict(line.split("=", 1) for line in out.split())
        border = (int(g["WIDTH"]) - CLIENT_SIZE[0]) // 2
        top = int(g["HEIGHT"]) - CLIENT_SIZE[1] - border
        e2e.click_at(int(g["X"]) + border + at[0], int(g["Y"]) + top + at[1])

    def test_the_packed_32bit_program_checksums_a_file_under_emulation(self):
        with zipfile.ZipFile(os.path.join(DIST, ZIP_NAME)) as z:
            z.extract("sumvane.exe", self.work)
        data = os.path.join(self.work, "release check.bin")
        with open(data, "wb") as f:
            f.write(os.urandom(3000000))
        started = time.monotonic()
        self.prepare_prefix()
        self.register()
        print("prefix ready after %.0f s" % (time.monotonic() - started), file=sys.stderr)
        log = open(os.path.join(self.work, "program.log"), "wb")
        program = subprocess.Popen(
            [WINE64, os.path.join(self.work, "sumvane.exe"), e2e.wine_path(data)],
            env=self.env, cwd=self.work, stdin=subprocess.DEVNULL, stdout=log,
            stderr=subprocess.STDOUT, start_new_session=True,
        )  # fmt: skip
        log.close()
        self.addCleanup(lambda: program.poll() is None and os.killpg(program.pid, 9))

        def window():
            found = e2e.run_tool(
                ["xdotool", "search", "--onlyvisible", "--name", r"^Sumvane  v\. 1\.3$"],
                check=False,
            ).stdout.split()
            self.assertIsNone(program.poll(), "the program ended before showing its window")
            return found[0].decode() if found else None

        w = e2e.wait_until(window, EMULATED_TIMEOUT, interval=1, message="the window")
        print("window after %.0f s" % (time.monotonic() - started), file=sys.stderr)
        expected = "release check.bin %s" % e2e.crc32_hex(data)

        def copied():
            self.click(w, COPY_ALL_AT)
            time.sleep(1)
            text = e2e.run_tool(
                ["xclip", "-o", "-selection", "clipboard"], timeout=60, check=False
            ).stdout.decode("utf-8", "replace")
            return text if expected in text else None

        e2e.wait_until(copied, EMULATED_TIMEOUT, interval=2, message="Copy All to give " + expected)
        print("checksum after %.0f s" % (time.monotonic() - started), file=sys.stderr)
        self.click(w, QUIT_AT)
        self.assertEqual(program.wait(timeout=EMULATED_TIMEOUT), 0, "exit code after Quit")


def load_tests(loader, tests, pattern):
    """E2E.Release runs every class but the emulated one; ctest runs that
    one as E2E.Release32 (python3 release_test.py emulated)."""
    suite = unittest.TestSuite()
    for case in (ReleaseFilesTest, ReleaseProgramTest):
        suite.addTests(loader.loadTestsFromTestCase(case))
    return suite


if __name__ == "__main__" and sys.argv[1:] == ["emulated"]:
    result = unittest.TextTestRunner(verbosity=2).run(
        unittest.defaultTestLoader.loadTestsFromTestCase(Emulated32BitProgramTest)
    )
    # 77: ctest's "skipped" (SKIP_RETURN_CODE), so a run that could not
    # happen is never counted as passed.
    sys.exit(77 if result.wasSuccessful() and result.skipped else 0 if result.wasSuccessful() else 1)
