"""Renaming through the pattern menu: a left double click renames the selected
file, a right click all files; checked on the names on disk, the unchanged
rows and the error boxes."""

import os
import unittest

import sumvane_e2e as e2e

COPY_ALL, QUIT = 8, 9
# A file stored as a hole (no disk space) whose checksum outlasts any test.
ENDLESS_FILE_SIZE = 1 << 36
EXISTS = "File does already exist."
REFUSED = "Couldn't rename file."
CLEAR, COPY_NAME = 5, 7
MENU_ITEMS = [
    "FILENAME [CRC32].EXT",
    "FILENAME CRC32.EXT",
    "FILENAME_[CRC32].EXT",
    "FILENAME_CRC32.EXT",
    "FILENAME.[CRC32].EXT",
    "FILENAME.CRC32.EXT",
]


def listing(folder):
    """{name: contents} of every file under folder."""
    found = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder)] = f.read()
    return found


def copy_all_text(cells):
    """What "Copy All" gives for these rows."""
    return b"".join(c[0].split(b" > ")[0] + b" " + c[1] + b"\r\n" for c in cells)


def utf16_units(text):
    return len(text.encode("utf-16-le")) // 2


def deep_path(root, units, name):
    """A Unix path under root whose Windows path is about `units` UTF-16
    units long and ends in name, through folders of 200-character names."""
    size = len(e2e.wine_path(root)) + 1 + utf16_units(name)
    folders = []
    while size + 2 <= units:
        take = min(200, units - size - 1)
        folders.append(str(len(folders)).ljust(take, "d"))
        size += take + 1
    return os.path.join(root, *folders, name)


class RenameTest(e2e.ProgramTestCase):
    def setUp(self):
        super().setUp()
        self.folder = os.path.join(self.work, "files")
        os.makedirs(self.folder)

    def files(self, *names):
        return [
            self.make_file(name, os.urandom(1000 + n), self.folder) for n, name in enumerate(names)
        ]

    def choose(self, item, pid):
        """Chooses menu item 1 to 6 of the open menu with the keys."""
        self.popup_menu(pid)
        e2e.key(*(["Down"] * item + ["Return"]))
        self.no_popup_menu(pid)

    def close_error_box(self, program, what, old, new):
        """Checks the error box for renaming old to new and closes it."""
        pid = program.window.pid
        box = self.inspector.message_box("Error", pid=pid)
        self.assertEqual(box.window.owner, program.window.hwnd)
        self.assertEqual(box.buttons, [b"OK"])
        text = "%s\n%s\nTO\n%s" % (what, e2e.wine_path(old), e2e.wine_path(new))
        self.assertEqual(box.text, e2e.ansi(text))
        self.key_on(box.window, "Return")
        # The next box may follow at once under the same title.
        e2e.wait_until(
            lambda: box.window.hwnd
            not in [w.hwnd for w in self.inspector.windows(pid=pid, class_name="#32770")],
            message="the box to close",
        )

    def below_rows_point(self):
        view = self.view()
        last = view.rows[-1].rect
        self.assertLess(last.bottom + 30, view.rect.bottom)
        return (last.left + 40, last.bottom + 30)

    def test_each_pattern_renames_the_double_clicked_file(self):
        # name, pattern, the name the pattern gives ({} is the checksum)
        cases = [
            ("Track 01.mp3", 1, "Track 01 [{}].mp3"),
            # Every ".ext" goes from the base name, in any letter case.
            ("a.txt.b.TXT", 2, "a.b {}.TXT"),
            ("report final.pdf", 3, "report final_[{}].pdf"),
            ("photo.JPG", 4, "photo_{}.JPG"),
            ("archive.tar.gz", 5, "archive.tar.[{}].gz"),
            ("notes.txt", 6, "notes.{}.txt"),
        ]
        paths = self.files(*[c[0] for c in cases])
        before = listing(self.folder)
        crcs = [e2e.crc32_hex(before[c[0]]) for c in cases]
        program = self.start_program(*paths)
        cells = self.wait_finished(len(paths))
        pid = program.window.pid

        self.click_row(self.title, 0, double=True)
        menu = self.popup_menu(pid)
        self.assertTrue(menu.visible)
        e2e.key("Escape")
        self.no_popup_menu(pid)

        with self.watch_windows(pid=pid, class_name="#32768") as menus:
            for row, (name, pattern, renamed) in enumerate(cases):
                with self.subTest(pattern=pattern, name=name):
                    self.click_row(self.title, row, double=True)
                    self.choose(pattern, pid)
                    new_name = renamed.format(crcs[row])
                    e2e.wait_until(
                        lambda: os.path.exists(os.path.join(self.folder, new_name)),
                        message="%s renamed to %s" % (name, new_name),
                    )
                    self.assertFalse(os.path.exists(paths[row]))
        # One menu per double click: the activation that follows a double
        # click does not open it again once a choice is made.
        self.assertEqual(len(menus.windows), len(cases))
        # The contents stay; only the names change. The rows keep the old names.
        expected = {
            renamed.format(crc): before[name] for (name, _, renamed), crc in zip(cases, crcs)
        }
        self.assertEqual(listing(self.folder), expected)
        self.assertEqual(self.cells(), cells)

    def test_long_paths_from_every_route_are_listed_checksummed_renamed_and_copied(self):
        """Paths past the classic limit of 259 characters, as deep as Linux
        lets Wine go (4,096 bytes), like any others."""
        cases = [
            (300, "\u4e88\u5b9a\u8868 \u9577\u3044\u30d1\u30b9.txt"),  # counted in UTF-16 units
            (1100, "n" * 251 + ".bin"),  # a name of 255 bytes, the most Linux allows
            (3500, "deep.txt"),
        ]
        paths = []
        for units, name in cases:
            path = self.make_file(deep_path(self.folder, units, name), os.urandom(5000 + units))
            self.assertGreaterEqual(utf16_units(e2e.wine_path(path)), units - 1)
            paths.append(path)
        expected = [e2e.expected_row(p) for p in paths]

        program = self.start_program(*paths)
        for route in ("parameters", "drop", "second start"):
            with self.subTest(route=route):
                if route != "parameters":
                    self.click_button(CLEAR)
                    self.wait_cells([])
                if route == "drop":
                    self.assertEqual(e2e.drop_files(paths, at=self.view().rect.center), 0)
                elif route == "second start":
                    self.assertEqual(self.start_program(*paths, window=False).wait_exit(), 0)
                self.assertEqual(self.wait_finished(len(paths)), expected)
        pid = program.window.pid
        # "Copy Filename" gives the exact name.
        self.click_row(self.title, 0)
        e2e.wait_until(lambda: self.view().selected == 0, message="row selected")
        self.prime_clipboard()
        self.click_button(COPY_NAME)
        name = cases[0][1].encode("utf-8")
        e2e.wait_until(lambda: e2e.x_clipboard() == name, message="%r pasted" % name)
        # The deepest file is renamed on disk.
        renamed = os.path.join(os.path.dirname(paths[2]), "deep [%s].txt" % e2e.crc32_hex(paths[2]))
        self.click_row(self.title, 2, double=True)
        self.choose(1, pid)
        e2e.wait_until(lambda: os.path.exists(renamed), message="the deepest file renamed")
        self.assertFalse(os.path.exists(paths[2]))

    def test_double_click_without_a_selected_row_opens_no_menu(self):
        paths = self.files("one.txt", "two.txt")
        before = listing(self.folder)
        program = self.start_program(*paths)
        cells = self.wait_finished(2)
        self.click_row(self.title, 0)
        e2e.wait_until(lambda: self.view().selected == 0, message="row 0 selected")
        below = self.below_rows_point()
        self.prime_clipboard()
        with self.watch_windows(pid=program.window.pid, class_name="#32768") as watch:
            # The first click of the double click, below the rows, takes the
            # selection away.
            e2e.click_at(*below, double=True)
            # An open menu would swallow this click.
            self.click_button(COPY_ALL)
            self.assert_clipboard(copy_all_text(cells))
        self.assertEqual(watch.windows, [])
        self.assertEqual(self.view().selected, -1)
        self.assertEqual(listing(self.folder), before)

    def test_right_click_renames_every_file_that_lacks_its_checksum(self):
        carried = os.urandom(3000)
        carrier_name = "has [%s].bin" % e2e.crc32_hex(carried)
        paths = self.files("first.txt", "second.dat")
        paths.append(self.make_file(carrier_name, carried, self.folder))
        paths.append(self.make_file("empty.bin", b"", self.folder))
        # A file whose bytes no longer give the checksum its name carries.
        damaged_name = "Show - 01 [%s].mkv" % e2e.crc32_hex(carried)
        damaged = b"changed " + carried
        paths.append(self.make_file(damaged_name, damaged, self.folder))
        before = listing(self.folder)
        program = self.start_program(*paths)
        cells = self.wait_finished(5)
        self.assertEqual(cells[4][1:], [e2e.crc32_hex(damaged).encode(), b"CRC32 mismatch"])
        pid = program.window.pid

        # A right click below the last row opens the menu for all rows too.
        e2e.click_at(*self.below_rows_point(), button=3)
        self.choose(4, pid)
        expected = {
            "first_%s.txt" % e2e.crc32_hex(before["first.txt"]): before["first.txt"],
            "second_%s.dat" % e2e.crc32_hex(before["second.dat"]): before["second.dat"],
            carrier_name: carried,
            "empty.bin": b"",
            damaged_name: damaged,
        }
        e2e.wait_until(lambda: listing(self.folder) == expected, message="the renamed files")

        # The rows still name the old files, so renaming again finds nothing
        # to do, for all rows or for one.
        e2e.click_at(*self.below_rows_point(), button=3)
        self.choose(1, pid)
        self.click_row(self.title, 0, double=True)
        self.choose(2, pid)
        self.prime_clipboard()
        self.click_button(COPY_ALL)
        self.assert_clipboard(copy_all_text(cells))
        self.assertEqual(listing(self.folder), expected)

    def test_a_menu_dismissed_with_escape_renames_nothing(self):
        paths = self.files("keep me.txt", "me too.txt")
        before = listing(self.folder)
        program = self.start_program(*paths)
        cells = self.wait_finished(2)
        pid = program.window.pid
        # A right double click begins with a right click, so it opens the
        # menu for all rows too.
        for button, double in ((1, True), (3, False), (3, True)):
            with self.subTest(button=button):
                self.click_row(self.title, 1, button=button, double=double)
                self.popup_menu(pid)
                e2e.key("Escape")
                self.no_popup_menu(pid)
        # "Copy All" runs after anything the menus could have started.
        self.prime_clipboard()
        self.click_button(COPY_ALL)
        self.assert_clipboard(copy_all_text(cells))
        self.assertEqual(listing(self.folder), before)

    def test_refused_renames_show_an_error_box_and_touch_no_file(self):
        clash = self.make_file("clash.txt", b"wants a taken name", self.folder)
        taken = os.path.join(self.folder, "clash [%s].txt" % e2e.crc32_hex(clash))
        self.make_file(os.path.basename(taken), b"must survive", self.folder)
        # A name that grows past the file system's 255 bytes with the checksum.
        long_name = "L" * 251 + ".txt"
        too_long = self.make_file(long_name, b"long", self.folder)
        fine = self.make_file("fine.txt", b"renamed all the same", self.folder)
        before = listing(self.folder)
        program = self.start_program(clash, too_long, fine)
        self.wait_finished(3)
        pid = program.window.pid

        # For all rows: one box per refusal, and the rename goes on after it.
        self.click_row(self.title, 0, button=3)
        self.choose(1, pid)
        self.close_error_box(program, EXISTS, clash, taken)
        self.close_error_box(
            program,
            REFUSED,
            too_long,
            os.path.join(self.folder, "L" * 251 + " [%s].txt")
            % e2e.crc32_hex(too_long),
        )
        renamed = "fine [%s].txt" % e2e.crc32_hex(before["fine.txt"])
        e2e.wait_until(
            lambda: os.path.exists(os.path.join(self.folder, renamed)), message="fine.txt renamed"
        )
        expected = dict(before)
        expected[renamed] = expected.pop("fine.txt")
        self.assertEqual(listing(self.folder), expected)

    def test_rename_all_loses_and_overwrites_nothing_where_it_is_refused(self):
        # name, what stands in the way of its new name
        cases = [
            ("free.txt", None),
            ("file in the way.txt", "file"),
            ("folder in the way.txt", "folder"),
            ("held open.txt", "held"),
            ("free too.dat", None),
            ("held too.dat", "held"),
        ]
        paths = self.files(*[name for name, _ in cases])
        targets = []
        for path, (name, obstacle) in zip(paths, cases):
            stem, ext = os.path.splitext(name)
            new_name = "%s [%s]%s" % (stem, e2e.crc32_hex(path), ext)
            targets.append(os.path.join(self.folder, new_name))
            if obstacle == "file":
                self.make_file(os.path.basename(targets[-1]), b"in the way", self.folder)
            elif obstacle == "folder":
                self.make_file("inside.txt", b"in a folder in the way", targets[-1])
        before = listing(self.folder)
        held = [p for p, (_, obstacle) in zip(paths, cases) if obstacle == "held"]
        with self.hold_files(held):
            # The first file listed twice: the second row finds it gone.
            program = self.start_program(*paths, paths[0])
            self.wait_finished(len(paths) + 1)
            e2e.click_at(*self.below_rows_point(), button=3)
            self.choose(1, program.window.pid)
            for path, target, (_, obstacle) in zip(paths, targets, cases):
                if obstacle is not None:
                    self.close_error_box(program, REFUSED if obstacle == "held" else EXISTS,
                                         path, target)
            # Every row has had its turn once "Copy All" is handled.
            self.prime_clipboard()
            self.click_button(COPY_ALL)
            self.assert_clipboard(copy_all_text(self.cells()))
        self.assertEqual(self.inspector.windows("Error", pid=program.window.pid), [])
        expected = dict(before)
        for target, (name, obstacle) in zip(targets, cases):
            if obstacle is None:
                expected[os.path.basename(target)] = expected.pop(name)
        self.assertEqual(listing(self.folder), expected)

    def test_rename_all_during_a_checksum_renames_only_the_finished_files(self):
        done = self.files("done one.txt", "done two.txt")
        # The running file lies apart, where reading the folder will not read it.
        running = self.make_large_file("running.bin", ENDLESS_FILE_SIZE)
        waiting = self.make_file("waiting.txt", b"behind the running one", self.folder)
        before = listing(self.folder)
        program = self.start_program(*done, running, waiting)
        cells = self.wait_cells(
            lambda cells: all(map(e2e.row_finished, cells[:2])) and cells[2][2].endswith(b"%"),
            message="two rows finished and the third running",
        )
        with self.watch_windows(pid=program.window.pid, class_name="#32770") as boxes:
            e2e.click_at(*self.below_rows_point(), button=3)
            self.choose(2, program.window.pid)
            self.prime_clipboard()
            self.click_button(COPY_ALL)
            self.assert_clipboard(copy_all_text(cells))
        self.assertEqual(boxes.windows, [])
        expected = {
            "done one %s.txt" % cells[0][1].decode(): before["done one.txt"],
            "done two %s.txt" % cells[1][1].decode(): before["done two.txt"],
            "waiting.txt": before["waiting.txt"],
        }
        self.assertEqual(listing(self.folder), expected)
        self.assertTrue(os.path.exists(running))
        now = self.cells()
        self.assertEqual(now[:2], cells[:2])
        self.assertEqual(now[2][:2], cells[2][:2])
        self.assertTrue(now[2][2].endswith(b"%"), "still running: %r" % now[2])
        self.assertEqual(now[3], e2e.waiting_row(waiting))
        self.click_button(QUIT)
        self.assert_ended(program)


if __name__ == "__main__":
    unittest.main()

