"""Proves the end-to-end tools against the fixture window (fixture_win.cpp):
the inspector reads what the fixture shows byte for byte, xdotool input and
XDND drops arrive, the clipboard keeps its exact bytes, and a failing test
leaves its evidence and no process behind."""

import os
import unittest

import sumvane_e2e as e2e

TITLE = "Sumvane E2E fixture  v. 1"
# The fixture has no manifest: it runs with the prefix's code page.
FIXTURE_CODEPAGE = "cp1252"

# The fixture's rows, byte for byte.
FIXTURE_ROWS = [
    [b"plain.txt > Z:\\data\\plain.txt", b"CBF43926", b"CRC32 in filename"],
    [b"tab\there", b"", b"Waiting"],
    [b"two\r\nlines", b"0000ABCD", b"42%"],
    [b"caf\xe9 \xfc\xdf.bin", b"FFFFFFFF", b"no CRC32 in filename"],
]
COPIED_TEXT = b"first line\r\nsecond \xe9 line\r\n"
TIP_TEXT = (
    b"The first line of the tip,\n"
    b"a second line that is a little longer,\n"
    b"and a third one\nto end it."
)

WS_CAPTION = 0x00C00000
WS_SYSMENU = 0x00080000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000
WS_THICKFRAME = 0x00040000
WS_EX_ACCEPTFILES = 0x00000010
LVS_EX_FULLROWSELECT = 0x20
LVS_EX_GRIDLINES = 0x01


class TextFormatTest(unittest.TestCase):
    """The helpers that need no Wine."""

    def test_escape_and_unescape_are_inverse_for_every_byte(self):
        data = bytes(range(256))
        self.assertEqual(e2e.unescape(e2e.escape(data).encode("ascii")), data)
        self.assertTrue(all(0x20 <= ord(c) < 0x7F for c in e2e.escape(data)))

    def test_records_parse_into_exact_bytes(self):
        out = b"row\tindex=2\tcol0=a\\tb\\r\\n\\xE9\\\\x\tcol1=\r\nlist\tcount=0\n"
        records = e2e.parse_records(out)
        self.assertEqual([k for k, _ in records], ["row", "list"])
        self.assertEqual(e2e.unescape(records[0][1]["col0"]), b"a\tb\r\n\xe9\\x")
        self.assertEqual(records[0][1]["col1"], b"")

    def test_paths_and_checksums(self):
        self.assertEqual(e2e.wine_path("/tmp/a b/c.txt"), "Z:\\tmp\\a b\\c.txt")
        self.assertEqual(
            e2e.wine_path_bytes("/tmp/caf\u00e9", FIXTURE_CODEPAGE), b"Z:\\tmp\\caf\xe9"
        )
        self.assertEqual(e2e.crc32_hex(b"123456789"), "CBF43926")
        self.assertEqual(e2e.crc32_hex(b""), "00000000")


class FixtureToolsTest(e2e.WineTestCase):
    def setUp(self):
        super().setUp()
        self.fixture = self.start(e2e.fixture_exe(), [TITLE], title=TITLE)
        self.window = self.fixture.window

    def rows(self):
        return self.inspector.list_view(TITLE, 3)

    def test_window_geometry_and_controls(self):
        w = self.window
        self.assertEqual(w.title, TITLE.encode())
        self.assertTrue(w.visible and w.enabled)
        self.assertEqual(w.client_size, (480, 240))
        self.assertEqual(w.style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
                         WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)
        self.assertFalse(w.style & (WS_MAXIMIZEBOX | WS_THICKFRAME))
        self.assertTrue(w.exstyle & WS_EX_ACCEPTFILES)
        # Centred on the 1280x1024 screen, each half truncated.
        self.assertEqual(w.rect.left, 640 - w.rect.width // 2)
        self.assertEqual(w.rect.top, 512 - w.rect.height // 2)
        self.assertTrue(w.rect.contains(*w.origin))

        window, controls = self.inspector.controls(TITLE)
        self.assertEqual(window.hwnd, w.hwnd)
        by_id = {c.id: c for c in controls if c.parent == w.hwnd}
        expected = {
            1: ("Static", b"Drop files here"),
            3: ("SysListView32", b""),
            4: ("Button", b"Add file"),
            6: ("Button", b"Copy text"),
            7: ("Button", b"Message"),
            9: ("Button", b"Quit"),
        }
        self.assertEqual(sorted(by_id), sorted(expected))
        for cid, (cls, text) in expected.items():
            with self.subTest(control=cid):
                self.assertEqual((by_id[cid].class_name, by_id[cid].text), (cls, text))
                self.assertTrue(by_id[cid].visible and by_id[cid].enabled)
        # Client coordinates of the list: 10, 20, 460 x 190.
        lst = by_id[3].rect
        self.assertEqual((lst.left, lst.top), w.client_to_screen(10, 20))
        self.assertEqual((lst.width, lst.height), (460, 190))
        header = [c for c in controls if c.parent == by_id[3].hwnd]
        self.assertEqual([c.class_name for c in header], ["SysHeader32"])

    def test_rows_columns_and_selection_read_byte_exact(self):
        view = self.rows()
        self.assertEqual([(c.text, c.width) for c in view.columns],
                         [(b"Filename", 250), (b"CRC32", 70), (b"State", 120)])
        self.assertEqual(view.cells, FIXTURE_ROWS)
        self.assertEqual(view.selected, -1)
        self.assertTrue(view.ex_style & LVS_EX_FULLROWSELECT)
        self.assertTrue(view.ex_style & LVS_EX_GRIDLINES)
        # Rows sit below the header, one under the other, inside the list.
        tops = [r.rect.top for r in view.rows]
        self.assertEqual(tops, sorted(tops))
        self.assertGreaterEqual(tops[0], view.header.bottom)
        self.assertTrue(all(view.rect.contains(*r.rect.center) for r in view.rows))

        self.click_row(TITLE, 2)
        view = e2e.wait_until(lambda: (v := self.rows()).selected == 2 and v,
                              message="row 2 selected")
        self.assertEqual([r.selected for r in view.rows], [False, False, True, False])

    def test_double_click_and_right_click_open_the_menu(self):
        pid = self.window.pid
        self.click_row(TITLE, 0, double=True)
        menu = self.popup_menu(pid)
        self.assertTrue(menu.visible)
        e2e.key("Down", "Down", "Return")  # the pointer is still on the list
        self.wait_rows(TITLE, lambda cells: cells[0][2] == b"pattern 2")

        # Right click below the last row: the menu for all rows; Escape leaves
        # everything as it was.
        view = self.rows()
        below = (view.rows[-1].rect.left + 40, view.rows[-1].rect.bottom + 30)
        e2e.click_at(*below, button=3)
        self.popup_menu(pid)
        e2e.key("Escape")
        self.no_popup_menu(pid)
        self.assertEqual(self.rows().cells, view.cells)

        e2e.click_at(*below, button=3)
        self.popup_menu(pid)
        e2e.key("Down", "Return")
        self.wait_rows(TITLE, lambda cells: [c[2] for c in cells] == [b"pattern 1 all"] * 4)

    def test_tooltip_texts_title_and_hover(self):
        tips = [t for t in self.inspector.tooltips(TITLE) if t.tools]
        self.assertEqual(len(tips), 1)
        tip = tips[0]
        self.assertEqual(tip.owner, self.window.hwnd)
        self.assertEqual(tip.title, b"Fixture tip")
        self.assertEqual((tip.max_width, tip.initial_delay), (200, 50))
        list_hwnd = self.rows().hwnd
        self.assertEqual([(t.hwnd, t.id, t.flags, t.text) for t in tip.tools],
                         [(list_hwnd, list_hwnd, 0x11, TIP_TEXT)])

        # Resting the pointer on the list shows the tip near it.
        x, y = self.row_point(TITLE, 3)
        e2e.move_to(x, y + 40)
        e2e.move_to(x + 2, y + 41)
        shown = e2e.wait_until(
            lambda: [t for t in self.inspector.tooltips(TITLE) if t.visible and t.tools],
            message="the tip to show",
        )[0]
        self.assertEqual(shown.shown, TIP_TEXT)
        self.assertGreater(shown.rect.height, 40)  # a title and four lines

    def test_xdnd_drop_of_files_and_folder_with_spaces(self):
        folder = os.path.join(self.work, "drop here")
        paths = [
            self.make_file("first file.txt", b"one", folder),
            self.make_file("caf\u00e9 two.bin", b"two", folder),
            self.make_file("three", b"", folder),
            os.path.join(folder, "a folder"),
        ]
        os.makedirs(paths[3])
        x, y = self.row_point(TITLE, 0)
        self.assertEqual(e2e.drop_files(paths, at=(x, y + 100)), 0)
        expected = [[e2e.wine_path_bytes(p, FIXTURE_CODEPAGE), b"", b"Dropped"] for p in paths]
        self.wait_rows(TITLE, FIXTURE_ROWS + expected)

        # Off every window there is no target at all.
        self.assertEqual(e2e.drop_files(paths[:1], at=(3, 3)), 2)

    def test_button_click_copies_exact_bytes_to_the_clipboard(self):
        sequence = self.prime_clipboard()
        # A click on something that does not copy leaves the clipboard alone.
        self.click_control(TITLE, 1)
        self.assertEqual(self.inspector.clipboard_state(),
                         (b"sumvane e2e sentinel", sequence))

        self.click_control(TITLE, 6)
        self.assert_clipboard(COPIED_TEXT)
        # X clients get the text with LF line ends, in UTF-8.
        e2e.wait_until(
            lambda: e2e.x_clipboard() == COPIED_TEXT.replace(b"\r\n", b"\n").decode(
                "cp1252").encode("utf-8"),
            message="the X side of the clipboard",
        )

    def test_clipboard_round_trip_of_every_byte(self):
        self.prime_clipboard()
        data = bytes(range(1, 256))
        self.inspector.set_clipboard(data)
        self.assertTrue(self.inspector.wait_clipboard(data))
        self.assertEqual(self.inspector.clipboard(), data)

    def test_message_box_text_read_and_closed_with_return(self):
        with self.watch_windows() as watch:
            self.click_control(TITLE, 7)
            box = self.inspector.message_box("Fixture message", pid=self.window.pid)
            self.assertEqual(box.window.owner, self.window.hwnd)
            self.assertEqual(box.text, b"First line of the message\nsecond line")
            self.assertEqual(box.buttons, [b"OK"])
            self.key_on(box.window, "Return")
            self.inspector.wait_window_gone("Fixture message")
        self.wait_rows(TITLE, lambda cells: cells[-1] == [b"message closed", b"1", b""])
        # The watch saw the box come, and not the window that was already there.
        seen = [(w.hwnd, w.title) for w in watch.windows]
        self.assertIn((box.window.hwnd, b"Fixture message"), seen)
        self.assertNotIn(self.window.hwnd, [hwnd for hwnd, _ in seen])

    def test_open_file_dialog_typing_and_cancel(self):
        folder = os.path.join(self.work, "to choose")
        a = self.make_file("a one.bin", b"a", folder)
        b = self.make_file("b.bin", b"b", folder)
        self.click_control(TITLE, 4)
        self.choose_files("Choose fixture files", folder, ["a one.bin", "b.bin"])
        expected = [[e2e.wine_path_bytes(p, FIXTURE_CODEPAGE), b"", b"Chosen"] for p in (a, b)]
        self.wait_rows(TITLE, FIXTURE_ROWS + expected)

        self.click_control(TITLE, 4)
        self.choose_files("Choose fixture files", folder, [])
        e2e.wait_until(lambda: b"dialog cancelled" in self.fixture.log(), message="cancel")
        self.assertEqual(len(self.rows().rows), 6)

    def test_send_hands_the_window_a_text_of_the_inspector_by_address(self):
        # WM_SETTEXT (12) takes a text pointer, which the system carries
        # across processes; WM_GETTEXTLENGTH (14) answers with the length.
        new_title = TITLE + " renamed"
        answers = self.inspector.send(
            TITLE, (12, 0, "addr"), (14, 0, 0), text=new_title.encode(), size=200
        )
        self.assertEqual(answers, [1, len(new_title)])
        self.assertIsNotNone(self.inspector.window(new_title))
        with self.assertRaises(e2e.InspectorError):
            self.inspector.send(TITLE, (12, 0, "nowhere"))

    def test_screenshot_of_a_region(self):
        path = os.path.join(self.work, "window.png")
        self.assertTrue(e2e.screenshot(path, self.window.rect))
        with open(path, "rb") as f:
            head = f.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        size = (int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big"))
        self.assertEqual(size, (self.window.rect.width, self.window.rect.height))

    def test_exit_code_through_quit_and_close_box(self):
        self.click_control(TITLE, 9)
        self.assertEqual(self.fixture.wait_exit(), 0)
        self.inspector.wait_window_gone(TITLE)

        second = self.start(e2e.fixture_exe(), [TITLE, "7"], title=TITLE)
        e2e.click_at(*self.close_box_point(second.window))
        self.assertEqual(second.wait_exit(), 7)
        self.assertIsNone(self.inspector.window(TITLE))


class FailureEvidenceTest(e2e.WineTestCase):
    def test_a_failing_test_saves_evidence_and_ends_its_program(self):
        class Failing(e2e.WineTestCase):
            def test_fails(inner):
                inner.start(e2e.fixture_exe(), [TITLE + " failing"], title=TITLE + " failing")
                inner.fail("on purpose")

        case = Failing("test_fails")
        result = unittest.TestResult()
        Failing.setUpClass()
        try:
            case.run(result)
        finally:
            Failing.tearDownClass()
        self.assertEqual(len(result.failures), 1)
        self.assertIn("on purpose", result.failures[0][1])

        folder = case.artifacts_saved
        self.assertTrue(folder and os.path.isdir(folder))
        with open(os.path.join(folder, "screenshot.png"), "rb") as f:
            png = f.read()
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        self.assertGreater(len(png), 1000)
        with open(os.path.join(folder, "program-0.log"), "rb") as f:
            self.assertIn(b"fixture: started", f.read())
        with open(os.path.join(folder, "windows.txt")) as f:
            self.assertIn("title=" + TITLE + " failing", f.read())
        # Cleanup ended the program.
        self.assertIsNone(self.inspector.window(TITLE + " failing"))
        self.assertFalse(case.programs[0].running())

    def test_bounded_waits_fail_with_a_message(self):
        with self.assertRaises(AssertionError) as caught:
            self.inspector.wait_window("no such window", timeout=0.3)
        self.assertIn("no such window", str(caught.exception))
        code, records, err = self.inspector.run("rows", "no such window", 3, check=False)
        self.assertEqual((code, records), (1, []))
        self.assertIn("no window", err)
        self.inspector.set_clipboard(b"x")
        self.assertFalse(self.inspector.wait_clipboard(b"y", timeout=0.2))


if __name__ == "__main__":
    unittest.main()
