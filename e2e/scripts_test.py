"""Names in every script: files named in Japanese, Cyrillic, Greek, Hebrew and
with an emoji reach the list whole from the command line, a drop, the file
dialog and a second start; each gets its checksum, is renamed on disk, and
"Copy Filename" gives other programs its exact name. The program carries the
manifest that makes this so, and a build for code page 932 shows what it does
where that manifest is not honoured."""

import os
import unittest
import xml.etree.ElementTree as ElementTree
import zlib

import sumvane_e2e as e2e

ADD_FILE, COPY_NAME = 4, 7
DIALOG_TITLE = "Choose a file for CRC32 check"
NAMES = [
    "\u4e88\u5b9a\u8868 - 01.txt",  # Japanese
    "\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440.dat",  # Cyrillic
    "\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1.bin",  # Greek
    "\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd.txt",  # Hebrew
    "party \U0001f389.mp3",  # an emoji, outside the 16-bit range
]
NS = {
    "asm": "urn:schemas-microsoft-com:asm.v1",
    "asm3": "urn:schemas-microsoft-com:asm.v3",
    "compat": "urn:schemas-microsoft-com:compatibility.v1",
    "ws2019": "http://schemas.microsoft.com/SMI/2019/WindowsSettings",
    "ws2017": "http://schemas.microsoft.com/SMI/2017/WindowsSettings",
    "ws2016": "http://schemas.microsoft.com/SMI/2016/WindowsSettings",
}


def manifest_settings(inspector, exe):
    """What the manifest of exe asks of the system."""
    _, records, _ = inspector.run("manifest", e2e.escape(e2e.wine_path(exe)))
    root = ElementTree.fromstring(e2e.unescape(records[0][1]["text"]))
    settings = root.find("asm3:application/asm3:windowsSettings", NS)
    controls = root.find(
        "asm:dependency/asm:dependentAssembly/asm:assemblyIdentity"
        "[@name='Microsoft.Windows.Common-Controls']",
        NS,
    )
    program = root.find("asm:assemblyIdentity", NS)
    return {
        "architecture": [e.get("processorArchitecture") for e in (program, controls)],
        "activeCodePage": settings.findtext("ws2019:activeCodePage", None, NS),
        "gdiScaling": settings.findtext("ws2017:gdiScaling", None, NS),
        "longPathAware": settings.findtext("ws2016:longPathAware", None, NS),
        "dpiAware": [e.tag for e in settings if "dpiAware" in e.tag],
        "common controls": controls.get("version") if controls is not None else None,
        "supportedOS": len(root.findall("compat:compatibility/compat:application/*", NS)),
    }


def expected_manifest(exe):
    """What every build's manifest asks: the same, but for the architecture,
    which must be the program's own (a 64-bit process ignores a manifest
    that says x86, and the other way round)."""
    architecture = {"i686": "x86", "x86_64": "amd64"}[e2e.pe_machine(exe)]
    return dict(EXPECTED_MANIFEST, architecture=[architecture] * 2)


EXPECTED_MANIFEST = {
    "activeCodePage": "UTF-8",
    "gdiScaling": "true",
    "longPathAware": "true",
    "dpiAware": [],
    "common controls": "6.0.0.0",
    "supportedOS": 5,  # Vista, 7, 8, 8.1, 10 and 11
}


class ScriptsTest(e2e.ProgramTestCase):
    def named_files(self):
        folder = os.path.join(self.work, "scripts")
        return [self.make_file(n, os.urandom(1000 + i), folder) for i, n in enumerate(NAMES)]

    def assert_listed_renamed_and_copied(self, paths, program):
        """Every file is listed whole with its checksum (in any order: the
        dialog chooses its own), "Copy Filename" pastes its exact name, and
        renaming all rows renames every file on disk."""
        cells = self.wait_finished(len(paths), program)
        order = sorted(range(len(paths)), key=lambda n: cells.index(e2e.expected_row(paths[n])))
        self.assertEqual(cells, [e2e.expected_row(paths[n]) for n in order])
        for row, n in enumerate(order):
            self.click_row(self.title, row)
            e2e.wait_until(lambda: self.view(program).selected == row, message="row selected")
            self.prime_clipboard()
            self.click_button(COPY_NAME, program)
            name = os.path.basename(paths[n]).encode("utf-8")
            e2e.wait_until(lambda: e2e.x_clipboard() == name, message="%r pasted" % name)
        renamed = []
        for path in paths:
            stem, ext = os.path.splitext(path)
            renamed.append("%s [%s]%s" % (stem, e2e.crc32_hex(path), ext))
        last = self.view(program).rows[-1].rect
        e2e.click_at(last.left + 40, last.bottom + 20, button=3)
        self.popup_menu(program.window.pid)
        e2e.key("Down", "Return")
        e2e.wait_until(
            lambda: all(map(os.path.exists, renamed)), message="every file renamed on disk"
        )
        self.assertFalse(any(map(os.path.exists, paths)))

    def test_names_from_the_command_line(self):
        paths = self.named_files()
        # A Linux name that is no UTF-8 reaches the program with U+FFFD in
        # it, which also names this file that really carries one: neither is
        # listed, so the one never stands in for the other.
        folder = os.path.dirname(paths[0])
        invalid = os.path.join(os.fsencode(folder), b"bad \xff.bin")
        with open(invalid, "wb") as f:
            f.write(b"not UTF-8")
        replacement = self.make_file("bad \ufffd.bin", b"a real U+FFFD", folder)
        program = self.start_program(*paths, replacement)
        # Wine names the invalid one like the other, so it goes by that name.
        self.assert_listed_renamed_and_copied(paths, program)
        self.assertTrue(os.path.exists(invalid))

    def test_names_from_a_drop(self):
        paths = self.named_files()
        program = self.start_program()
        self.assertEqual(e2e.drop_files(paths, at=self.view().rect.center), 0)
        self.assert_listed_renamed_and_copied(paths, program)

    def test_names_from_the_file_dialog(self):
        paths = self.named_files()
        program = self.start_program()
        self.click_button(ADD_FILE)
        dialog = self.inspector.wait_window(DIALOG_TITLE, class_name="#32770")
        e2e.type_text(e2e.wine_path(os.path.dirname(paths[0])), at=dialog.rect.center)
        e2e.key("Return")
        # The files are chosen in the dialog's list: the first, then all up
        # to the last.
        _, controls = self.inspector.controls(DIALOG_TITLE, class_name="#32770")
        files = [c for c in controls if c.class_name == "SysListView32"][0]
        e2e.click_at(files.rect.left + 30, files.rect.top + 10)
        e2e.key("shift+End", "Return")
        self.inspector.wait_window_gone(DIALOG_TITLE, class_name="#32770")
        self.assert_listed_renamed_and_copied(paths, program)

    def test_names_from_a_second_start(self):
        paths = self.named_files()
        first = self.start_program()
        self.assertEqual(self.start_program(*paths, window=False).wait_exit(), 0)
        self.assert_listed_renamed_and_copied(paths, first)

    def test_a_long_japanese_path_within_the_system_limit_is_renamed(self):
        # Over 259 bytes in UTF-8, but under 260 UTF-16 units even with the
        # checksum in its new name. A Linux name holds 255 bytes, so the
        # length lies in the folders.
        units = 248 - len(" [12345678]")
        left = units - len(e2e.wine_path(self.work)) - len("\\.txt")
        parts = []
        while left > 0:
            n = min(left - 1, 80) if left > 81 else left
            parts.append("\u8868" * n)
            left -= n + 1
        path = self.make_file(os.path.join(*parts) + ".txt", b"long Japanese path")
        windows = e2e.wine_path(path)
        self.assertGreater(len(windows.encode("utf-8")), 259)
        self.assertLess(len(windows) + len(" [12345678]"), 260)
        self.assert_listed_renamed_and_copied([path], self.start_program(path))

    def test_the_program_carries_its_manifest_and_common_controls_6(self):
        program = self.start_program()
        self.assertEqual(manifest_settings(self.inspector, self.exe), expected_manifest(self.exe))
        _, records, _ = self.inspector.run("modules", "--pid", program.window.pid, "comctl32")
        paths = [e2e.unescape(v["path"]).lower() for _, v in records]
        # The copy of the common controls 6.0 assembly, not the system's 5.x.
        self.assertEqual(len(paths), 1, paths)
        self.assertIn(b"microsoft.windows.common-controls_6595b64144ccf1df_6.0.", paths[0])


@unittest.skipUnless(os.environ.get("SUMVANE_EXE_CP932"), "no build for code page 932")
class DoubleByteCodePageTest(e2e.ProgramTestCase):
    """The program on a Japanese system that predates UTF-8 manifests: its
    texts are in code page 932, where the second byte of a character may look
    like a backslash or a hexadecimal digit."""

    def test_names_whose_second_bytes_look_like_separators_or_digits(self):
        self.exe = os.environ["SUMVANE_EXE_CP932"]
        # 表 ends in 0x5C, "\"; katakana 0x83 0x41 to 0x83 0x46 end in "A" to
        # "F", so a katakana and seven digits look like the checksum there.
        data = next(b"%d" % n for n in range(99) if zlib.crc32(b"%d" % n) >> 28 >= 10)
        crc = e2e.crc32_hex(data)
        kana = chr(0x30A1 + ord(crc[0]) - 0x40)
        paths = [
            self.make_file("\u4e88\u5b9a\u8868.txt", b"0x5C ends the last character"),
            self.make_file("data.\u8868", b"ends in 0x5C"),
            self.make_file(kana + crc[1:] + ".bin", data),
        ]
        self.assertEqual((kana + crc[1:]).encode("cp932")[1:], crc.encode())
        self.start_program(*paths)
        expected = []
        for path in paths:
            shown = e2e.wine_path(path)
            name = shown.rsplit("\\", 1)[-1]
            row = (name + " > " + shown).encode("cp932")
            expected.append([row, e2e.crc32_hex(path).encode(), b"no CRC32 in filename"])
        self.assertEqual(self.wait_finished(3), expected)


if __name__ == "__main__":
    unittest.main()
