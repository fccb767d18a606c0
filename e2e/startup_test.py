"""Start-up: what the command line puts in the list, and the main window as a
user first sees it: title, place, size, controls and the tip on the list."""

import os
import struct
import unittest

import sumvane_e2e as e2e

WS_CAPTION = 0x00C00000
WS_SYSMENU = 0x00080000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000
WS_THICKFRAME = 0x00040000
WS_TABSTOP = 0x00010000
WS_CLIPSIBLINGS = 0x04000000
WS_EX_ACCEPTFILES = 0x00000010
WS_EX_CLIENTEDGE = 0x00000200
WS_EX_STATICEDGE = 0x00020000
SS_TYPEMASK = 0x1F
SS_LEFT = 0
SS_RIGHT = 2
BS_TYPEMASK = 0x0F
BS_PUSHBUTTON = 0
LVS_TYPEMASK = 0x3
LVS_REPORT = 0x1
LVS_SINGLESEL = 0x4
LVS_SHOWSELALWAYS = 0x8
LVS_NOSORTHEADER = 0x8000
LVS_EX_GRIDLINES = 0x1
LVS_EX_FULLROWSELECT = 0x20
TTF_IDISHWND_SUBCLASS = 0x11

TIP_TEXT = (
    b"To rename the file with the\nCRC32 in it, do a double click with\n"
    b"the left mouse key on it.\nDouble right click to change all."
)

CLEAR = 5
# id: (class, client x, y, width, height, text, enabled)
CONTROLS = {
    1: ("Static", 10, 3, 120, 14, b"Add files with Drag&&Drop", False),
    2: ("Static", 370, 3, 100, 14, b"...coded by Tarvex", False),
    3: ("SysListView32", 10, 20, 460, 190, b"", True),
    4: ("Button", 10, 215, 60, 20, b"Add file", True),
    5: ("Button", 80, 215, 60, 20, b"Clear", True),
    6: ("Button", 150, 215, 80, 20, b"Copy CRC32", True),
    7: ("Button", 240, 215, 90, 20, b"Copy Filename", True),
    8: ("Button", 340, 215, 60, 20, b"Copy All", True),
    9: ("Button", 410, 215, 60, 20, b"Quit", True),
    0: ("Static", 0, 0, 480, 240, b"", True),
}


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


class CommandLineTest(e2e.ProgramTestCase):
    def test_existing_files_are_listed_in_parameter_order_and_nothing_else(self):
        content = b"second file's bytes"
        crc = e2e.crc32_hex(content)
        first = self.make_file("first.txt", b"123456789")
        # Names that carry their own checksum, in either letter case, and a
        # folder that carries it for the file inside.
        carrier = self.make_file("second [%s].bin" % crc, content)
        lower = self.make_file("third_%s.dat" % crc.lower(), content)
        in_folder = self.make_file("plain.txt", content, os.path.join(self.work, crc))
        spaced = self.make_file("with spaces/caf\u00e9 au lait.txt", b"\xe9\x00\xff" * 1000)
        relative = self.make_file("relative name.txt", b"found beside the program")
        empty = self.make_file("empty.bin")
        folder = os.path.join(self.work, "a folder")
        os.makedirs(folder)
        # Relative names are looked up from the program's own folder, not
        # from the current one.
        elsewhere = os.path.join(self.work, "elsewhere")
        os.makedirs(elsewhere)
        relative_param = os.path.relpath(relative, os.path.dirname(self.exe)).replace("/", "\\")

        self.start_program(
            first,
            carrier,
            folder,
            lower,
            "missing.txt",
            e2e.wine_path(os.path.join(self.work, "missing.bin")),
            in_folder,
            spaced,
            "C:",
            relative_param,
            empty,
            cwd=elsewhere,
        )
        expected = [
            e2e.expected_row(first),
            e2e.expected_row(carrier),
            e2e.expected_row(lower),
            e2e.expected_row(in_folder),
            e2e.expected_row(spaced),
            e2e.expected_row(relative, relative_param),
            e2e.expected_row(empty),
        ]
        cells = self.wait_finished(len(expected))
        for got, want in zip(cells, expected):
            with self.subTest(row=want[0]):
                self.assertEqual(got, want)
        self.assertEqual(expected[-1][1:], [b"00000000", b"no CRC32 in filename"])
        self.assertEqual(
            [c[2] for c in cells[1:4]], [b"CRC32 in filename"] * 3, "the three carriers"
        )

    def test_rows_wait_and_then_get_their_checksums_one_by_one(self):
        files = [self.make_file("f%d.bin" % i, os.urandom(5000)) for i in range(3)]
        self.start_program(*files)
        # Right after the window shows, every row is there in its waiting form
        # or already further along, and no later row finishes before an
        # earlier one.
        first = self.cells()
        self.assertEqual([c[0] for c in first], [e2e.waiting_row(f)[0] for f in files])
        states = []

        def record(cells):
            states.append([c[2] for c in cells])
            return all(e2e.row_finished(c) for c in cells)

        self.wait_cells(record, message="every row finished")
        for snapshot in states:
            done = [e2e.finished(s) for s in snapshot]
            self.assertEqual(done, sorted(done, reverse=True), "rows finish in list order")
            for s in snapshot:
                self.assertTrue(
                    e2e.finished(s) or s == b"Waiting" or s.endswith(b"%"), "state %r" % s
                )
        self.assertEqual(self.cells(), [e2e.expected_row(f) for f in files])


class MainWindowTest(e2e.ProgramTestCase):
    def test_without_parameters_the_window_shows_an_empty_list(self):
        w = self.start_program().window
        # The provisional title of the start-up is gone.
        self.assertEqual(self.inspector.windows("initialize"), [])
        e2e.screenshot(os.path.join(self.artifact_dir(), "empty-window.png"), w.rect)

        self.assertEqual(w.title, b"Sumvane  v. 1.3")
        self.assertEqual(w.client_size, (480, 240))
        self.assertEqual(
            w.style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
            WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
        )
        self.assertFalse(w.style & (WS_MAXIMIZEBOX | WS_THICKFRAME), "no resizing")
        self.assertTrue(w.exstyle & WS_EX_ACCEPTFILES, "takes dropped files")
        # Centred on the 1280 x 1024 screen, each half truncated.
        self.assertEqual(
            (w.rect.left, w.rect.top), (640 - w.rect.width // 2, 512 - w.rect.height // 2)
        )

        view = self.view()
        self.assertEqual(view.rows, [])
        self.assertEqual(
            [(c.text, c.width, c.fmt) for c in view.columns],
            [(b"Filename", 250, 0), (b"CRC32", 70, 0), (b"State", 120, 0)],
        )
        self.assertEqual(view.style & LVS_TYPEMASK, LVS_REPORT)
        for bit in (LVS_SINGLESEL, LVS_SHOWSELALWAYS, LVS_NOSORTHEADER, WS_TABSTOP):
            self.assertTrue(view.style & bit, "list style bit 0x%X" % bit)
        self.assertEqual(
            view.ex_style & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
            LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT,
        )

    def test_controls_have_their_places_texts_and_order(self):
        w = self.start_program().window
        _, controls = self.inspector.controls(self.title)
        own = [c for c in controls if c.parent == w.hwnd]
        # Creation order, the frame last (it lies behind everything else).
        self.assertEqual([c.id for c in own], [1, 2, 3, 4, 5, 6, 7, 8, 9, 0])
        for c in own:
            cls, x, y, width, height, text, enabled = CONTROLS[c.id]
            with self.subTest(control=c.id):
                self.assertEqual(c.class_name, cls)
                left, top = c.rect.left - w.origin[0], c.rect.top - w.origin[1]
                self.assertEqual((left, top, c.rect.width, c.rect.height), (x, y, width, height))
                self.assertEqual(c.text, text)
                self.assertEqual(c.enabled, enabled)
                self.assertTrue(c.visible)
                if cls == "Button":
                    self.assertEqual(c.style & BS_TYPEMASK, BS_PUSHBUTTON)
                    self.assertTrue(c.style & WS_TABSTOP)
        by_id = {c.id: c for c in own}
        self.assertEqual(by_id[1].style & SS_TYPEMASK, SS_LEFT)
        self.assertEqual(by_id[2].style & SS_TYPEMASK, SS_RIGHT)
        self.assertTrue(by_id[3].exstyle & WS_EX_CLIENTEDGE)
        self.assertTrue(by_id[0].exstyle & WS_EX_STATICEDGE)
        self.assertTrue(by_id[0].style & WS_CLIPSIBLINGS)

    def test_the_list_carries_the_renaming_tip(self):
        w = self.start_program().window
        tips = [t for t in self.inspector.tooltips(self.title) if t.tools]
        self.assertEqual(len(tips), 1)
        tip = tips[0]
        self.assertEqual(tip.owner, w.hwnd)
        self.assertEqual(tip.title, b"Renaming")
        self.assertEqual((tip.max_width, tip.initial_delay), (200, 50))
        list_hwnd = self.view().hwnd
        self.assertEqual(
            [(t.hwnd, t.id, t.flags, t.text) for t in tip.tools],
            [(list_hwnd, list_hwnd, TTF_IDISHWND_SUBCLASS, TIP_TEXT)],
        )
        # Resting the pointer on the list shows it.
        x, y = self.view().rect.center
        e2e.move_to(x, y)
        e2e.move_to(x + 2, y + 1)
        shown = e2e.wait_until(
            lambda: [t for t in self.inspector.tooltips(self.title) if t.visible and t.tools],
            message="the tip to show",
        )[0]
        self.assertEqual(shown.shown, TIP_TEXT)


class ScreenshotTest(e2e.ProgramTestCase):
    def test_screenshot_of_a_finished_list(self):
        # Names in several scripts, in a folder that Wine shows as drive S:,
        # so that no build path appears in the picture. The README's picture
        # is this one (SUMVANE_SCREENSHOT=docs/screenshot.png), made with
        # Debian's fonts-wqy-microhei installed and Wine's font replacement
        # HKCU\Software\Wine\Fonts\Replacements "MS UI Gothic" set to
        # "WenQuanYi Micro Hei", so that the Japanese, Greek and Korean names
        # have their letters.
        folder = os.path.join(self.work, "Music")
        drive = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "s:")
        os.makedirs(folder)
        if os.path.lexists(drive):
            os.remove(drive)
        os.symlink(folder, drive)
        self.addCleanup(os.remove, drive)
        theme = os.urandom(40000)
        names = [
            "01 \u98a8\u306e\u901a\u308a\u9053.flac",
            "02 \u0393\u03b5\u03b9\u03ac [%s].ogg" % e2e.crc32_hex(theme),
            "03 \u041a\u0430\u043b\u0438\u043d\u043a\u0430.mp3",
            "04 \uc544\ub9ac\ub791.mp3",
            "cover.jpg",
        ]
        contents = [os.urandom(60000), theme, os.urandom(50000), os.urandom(30000),
                    os.urandom(20000)]
        files = [self.make_file(n, c, folder) for n, c in zip(names, contents)]
        program = self.start_program(*["S:\\" + n for n in names])
        self.wait_finished(len(files))
        self.click_row(self.title, 1)
        e2e.wait_until(lambda: self.view().selected == 1, message="row 1 selected")
        e2e.move_to(1, 1)
        e2e.wait_until(
            lambda: not [t for t in self.inspector.tooltips(self.title) if t.visible],
            message="the tip to hide",
        )
        window = program.window

        paths = [os.path.join(os.path.dirname(self.artifact_dir()), "sumvane.png")]
        readme_shot = os.environ.get("SUMVANE_SCREENSHOT")
        if readme_shot:
            paths.append(readme_shot)
        for path in paths:
            self.assertTrue(e2e.screenshot(path, window.rect), path)
            self.assertEqual(png_size(path), (window.rect.width, window.rect.height))


if __name__ == "__main__":
    unittest.main()
