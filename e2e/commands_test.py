"""The buttons and the drop: "Add file", dropped files, "Clear" and the three
copy commands, checked on the list and on the clipboard's exact bytes."""

import os
import shutil
import tempfile
import time
import unittest

import sumvane_e2e as e2e

ADD_FILE, CLEAR, COPY_CRC, COPY_NAME, COPY_ALL, QUIT = 4, 5, 6, 7, 8, 9
DIALOG_TITLE = "Choose a file for CRC32 check"
# Files stored as holes, which cost no disk space. A checksum runs at 0.4 to
# 1.5 GB/s here: the long file takes a few seconds, long enough for a test to
# work on the list meanwhile; the endless one outlasts any test.
LONG_FILE_SIZE = 3 << 29
ENDLESS_FILE_SIZE = 1 << 36


def copy_all_text(rows):
    """What "Copy All" gives for rows of (display name, CRC text)."""
    return b"".join(name + b" " + crc + b"\r\n" for name, crc in rows)


class AddFileTest(e2e.ProgramTestCase):
    def test_chosen_files_of_at_least_one_byte_are_added_in_the_dialogs_order(self):
        # The folder's name is typed into the dialog key by key, so it is short.
        folder = tempfile.mkdtemp(prefix="sv")
        self.addCleanup(shutil.rmtree, folder, True)
        c = self.make_file("c third.bin", os.urandom(3000), folder)
        self.make_file("empty.bin", b"", folder)
        a = self.make_file("a first.txt", b"chosen first", folder)
        b = self.make_file("b.dat", b"chosen alone", folder)
        self.start_program()

        self.click_button(ADD_FILE)
        self.choose_files(DIALOG_TITLE, folder, ["c third.bin", "empty.bin", "a first.txt"])
        self.wait_finished(2)
        # One file alone comes back as a whole path.
        self.click_button(ADD_FILE)
        self.choose_files(DIALOG_TITLE, folder, ["b.dat"])
        cells = self.wait_finished(3)
        self.assertEqual(cells, [e2e.expected_row(p) for p in (c, a, b)])

        # Cancelling adds nothing: "Copy All" runs after the dialog has
        # returned, so it shows every row there is.
        self.click_button(ADD_FILE)
        self.choose_files(DIALOG_TITLE, folder, [])
        self.prime_clipboard()
        self.click_button(COPY_ALL)
        self.assert_clipboard(copy_all_text([(r[0].split(b" > ")[0], r[1]) for r in cells]))
        self.assertEqual(self.cells(), cells)


class DropTest(e2e.ProgramTestCase):
    def drop_on_list(self, paths):
        x, y = self.view().rect.center
        self.assertEqual(e2e.drop_files(paths, at=(x, y)), 0, "the drop was taken")

    def test_dropped_files_are_added_and_folders_and_empty_files_skipped(self):
        folder = os.path.join(self.work, "drop here")
        paths = [
            self.make_file("first file.txt", b"one", folder),
            os.path.join(folder, "a folder"),
            self.make_file("caf\u00e9 two.bin", os.urandom(2000), folder),
            self.make_file("empty", b"", folder),
            self.make_file("third [00000000].dat", b"three", folder),
        ]
        os.makedirs(paths[1])
        self.start_program()
        self.drop_on_list(paths)
        expected = [e2e.expected_row(p) for p in (paths[0], paths[2], paths[4])]
        self.assertEqual(self.wait_finished(3), expected)

    def test_every_drop_lands_once_while_a_checksum_updates_the_rows(self):
        # The running checksum keeps changing its row, and each change is a
        # notification on the way to the event loop; no drop may get lost
        # between them.
        long_file = self.make_large_file("long.bin", ENDLESS_FILE_SIZE)
        self.start_program(long_file)
        self.wait_progress(0)
        dropped = []
        for n in range(5):
            path = self.make_file("drop %d.txt" % n, b"dropped %d" % n)
            dropped.append(path)
            self.drop_on_list([path])
        # A file of 3 GiB, whose size has the top bit of its low 32 bits set,
        # is a file like any other.
        dropped.append(self.make_large_file("three gib.bin", 3 << 30))
        self.drop_on_list(dropped[-1:])
        expected = [e2e.waiting_row(p)[0] for p in dropped]
        self.wait_cells(lambda cells: [c[0] for c in cells[1:]] == expected, timeout=5)


    def test_two_hundred_small_files_finish_in_order_with_the_two_held_ones_as_read_errors(self):
        folder = tempfile.mkdtemp(prefix="sv")
        self.addCleanup(shutil.rmtree, folder, True)
        paths = [
            self.make_file("%03d.bin" % n, os.urandom(1 + n * 331 % 65536), folder)
            for n in range(200)
        ]
        held = [paths[40], paths[41]]
        self.start_program()
        states = []

        def record(cells):
            states.append([c[2] for c in cells])
            return len(cells) == len(paths) and all(map(e2e.row_finished, cells))

        with self.hold_files(held, write=True):
            self.assertEqual(e2e.drop_files(paths, at=self.view().rect.center, timeout=60), 0)
            cells = self.wait_cells(record, timeout=25, message="every row finished")
        for snapshot in states:
            done = [e2e.finished(s) for s in snapshot]
            self.assertEqual(done, sorted(done, reverse=True), "rows finish in list order")
        expected = [e2e.expected_row(p) for p in paths]
        for row in (40, 41):
            expected[row][1:] = [b"", b"ReadError"]
        self.assertEqual(cells, expected)


class ClearTest(e2e.ProgramTestCase):
    def assert_own_results_only(self, seen, own):
        """Rows start in list order, and no row ever showed another file's
        progress or results (a small file's own progress is "0%" alone)."""
        for cells in seen:
            states = [row[2] for row in cells]
            if b"Waiting" in states:
                self.assertEqual(set(states[states.index(b"Waiting"):]), {b"Waiting"}, states)
            for row in cells:
                name, crc, verdict = own[row[0]]
                self.assertIn(row[1], (b"", crc), name)
                self.assertIn(row[2], (b"Waiting", b"0%", verdict), name)

    def test_clear_again_and_again_during_a_checksum_leaves_each_row_only_its_own_results(self):
        # The long file runs in row 1 while Clear follows Clear, with new
        # files between: its progress and result must land on none of them,
        # and the scan for waiting rows must start each new list at its top.
        # The long file is never read here: once in the page cache, it would
        # be checksummed before the first Clear.
        smalls = [self.make_file("small %d.txt" % n, b"small file %d" % n) for n in range(10)]
        long_file = self.make_large_file("long.bin", 3 * LONG_FILE_SIZE)
        own = {row[0]: row for row in map(e2e.expected_row, smalls)}
        seen = []

        def record(cells):
            # The rows are read one after another, so a list that moved on
            # meanwhile can show an earlier row behind a later one; only a
            # list that reads the same twice is kept.
            if self.cells() == cells:
                seen.append(cells)
            return True

        program = self.start_program(smalls[0], long_file)
        clear = self.control(self.title, CLEAR).rect
        self.wait_progress(1)
        for n, paths in enumerate((smalls[1:3], smalls[3:4], smalls[4:6], smalls[6:])):
            # Clicks this far apart never make a double click.
            e2e.click_at(clear.left + 15 + n % 2 * 30, clear.top + clear.height // 2)
            self.wait_cells([], timeout=2, message="an empty list at once")
            self.assertEqual(e2e.drop_files(paths, at=self.view().rect.center), 0)
            record(self.cells())
        self.wait_cells(
            lambda cells: record(cells) and all(map(e2e.row_finished, cells)),
            timeout=60,
            message="the last files finished",
        )
        self.assertEqual(self.cells(), [e2e.expected_row(p) for p in smalls[6:]])
        self.assert_own_results_only(seen, own)
        self.click_button(QUIT)
        self.assert_ended(program)

    def test_clear_in_the_middle_of_many_small_files_leaves_new_rows_only_their_own_results(self):
        # Short paths, so that all of a batch fit on one command line. The
        # Clear comes while the worker goes through the small files (the long
        # one last keeps the run from ending before); the new batch comes from
        # a second start, row after row.
        folder = tempfile.mkdtemp(prefix="sv")
        self.addCleanup(shutil.rmtree, folder, True)
        old = [self.make_file("%04d" % n, os.urandom(1 + n % 4096), folder) for n in range(1200)]
        old.append(self.make_large_file("long", LONG_FILE_SIZE, folder))
        new = [self.make_file("n%03d" % n, os.urandom(1 + n * 7 % 4096), folder) for n in range(800)]
        own = {row[0]: row for row in map(e2e.expected_row, new)}
        self.start_program(*old)
        self.click_button(CLEAR)
        self.wait_cells([], message="an empty list")
        self.assertEqual(self.start_program(*new, window=False).wait_exit(30), 0)
        seen = []
        self.wait_cells(
            lambda cells: seen.append(cells) or len(cells) == len(new)
            and all(map(e2e.row_finished, cells)),
            timeout=60,
            message="the new files finished",
        )
        self.assertEqual(seen[-1], [e2e.expected_row(p) for p in new])
        self.assert_own_results_only(seen, own)


    def test_a_click_on_clear_during_thousands_of_small_files_empties_the_list_for_good(self):
        # Relative names are looked up in the program's own folder: with a
        # copy of the program beside the files, thousands fit on one command
        # line. The click comes as soon as the window shows, while the
        # worker goes through them (the window opens at the same place each
        # time, so an instance without files shows where "Clear" is).
        folder = tempfile.mkdtemp(prefix="sv")
        self.addCleanup(shutil.rmtree, folder, True)
        self.exe = shutil.copy(self.exe, os.path.join(folder, "s.exe"))
        names = ["%04d" % n for n in range(2000)]
        for name in names:
            self.make_file(name, b"x", folder)
        probe = self.start_program()
        clear = self.control(self.title, CLEAR).rect
        self.click_button(QUIT, probe)
        self.assertEqual(probe.wait_exit(), 0)

        self.start_program(*names, cwd=folder, timeout=60)
        clicked = time.time()
        e2e.click_at(*clear.center)
        with e2e.CountWatch(self.inspector, self.title, max_seconds=30) as watch:
            e2e.wait_until(lambda: watch.seen(0), 10, message="an empty list")
            # Long enough for the old worker to finish any file it had open.
            time.sleep(1.5)
        emptied = [at for at, rows in watch.counts if rows == 0][0]
        # A generous bound: the bench measures the real time.
        self.assertLess(emptied - clicked, 2.0)
        self.assertEqual([rows for at, rows in watch.counts if at >= emptied], [0])


class CopyTest(e2e.ProgramTestCase):
    def select_row(self, row):
        self.click_row(self.title, row)
        e2e.wait_until(lambda: self.view().selected == row, message="row %d selected" % row)

    def test_copy_commands_put_the_exact_bytes_on_the_clipboard(self):
        first = self.make_file("first.txt", b"123456789")
        accented = self.make_file("caf\u00e9 cr\u00e8me.bin", os.urandom(4000))
        long_file = self.make_large_file("long.bin", ENDLESS_FILE_SIZE)
        waiting = self.make_file("waiting.txt", b"behind the long one")
        self.start_program(first, accented, long_file, waiting)
        self.wait_cells(
            lambda cells: e2e.finished(cells[1][2]) and cells[2][2].endswith(b"%"),
            message="two rows finished and the third running",
        )
        # Rows still running or waiting give the name, a space and the line end.
        self.prime_clipboard()
        self.click_button(COPY_ALL)
        self.assert_clipboard(
            b"first.txt CBF43926\r\n"
            + b"caf\xe9 cr\xe8me.bin "
            + e2e.crc32_hex(accented).encode()
            + b"\r\nlong.bin \r\nwaiting.txt \r\n"
        )

        self.select_row(1)
        self.prime_clipboard()
        self.click_button(COPY_CRC)
        self.assert_clipboard(e2e.crc32_hex(accented).encode())
        self.prime_clipboard()
        self.click_button(COPY_NAME)
        self.assert_clipboard(b"caf\xe9 cr\xe8me.bin")

        # A row without its checksum yet copies the empty text.
        self.select_row(3)
        self.prime_clipboard()
        self.click_button(COPY_CRC)
        self.assert_clipboard(b"")
        self.prime_clipboard()
        self.click_button(COPY_NAME)
        self.assert_clipboard(b"waiting.txt")

    def test_without_a_selection_or_rows_the_clipboard_stays_unchanged(self):
        a = self.make_file("a.txt", b"a")
        self.start_program(a)
        self.wait_finished(1)
        self.assertEqual(self.view().selected, -1)
        sentinel = self.prime_clipboard()
        self.click_button(COPY_CRC)
        self.click_button(COPY_NAME)
        # The click on a row is handled after the two before it.
        self.click_row(self.title, 0)
        e2e.wait_until(lambda: self.view().selected == 0, message="row 0 selected")
        self.assertEqual(self.inspector.clipboard_state(), (b"sumvane e2e sentinel", sentinel))

        self.click_button(CLEAR)
        self.wait_cells([])
        self.click_button(COPY_CRC)
        self.click_button(COPY_NAME)
        self.click_button(COPY_ALL)
        # A drop is handled after the clicks before it.
        b = self.make_file("b.txt", b"b")
        x, y = self.view().rect.center
        self.assertEqual(e2e.drop_files([b], at=(x, y)), 0)
        self.wait_cells(lambda cells: len(cells) == 1)
        self.assertEqual(self.inspector.clipboard_state(), (b"sumvane e2e sentinel", sentinel))

    def test_copy_all_has_no_size_bound(self):
        # Rows with long names (in a short folder, to stay within the path
        # limit) that make more text than any fixed area of 64000 bytes.
        folder = tempfile.mkdtemp(prefix="sv")
        self.addCleanup(shutil.rmtree, folder, True)
        names = ["%03d %s.txt" % (n, "x" * 191) for n in range(320)]
        # A few files per folder: Wine's file lookups read the whole folder.
        paths = [
            self.make_file(name, b"%d" % n, os.path.join(folder, "%02d" % (n // 10)))
            for n, name in enumerate(names)
        ]
        crcs = [e2e.crc32_hex(p).encode() for p in paths]
        self.start_program()
        self.prime_clipboard()
        x, y = self.view().rect.center
        self.assertEqual(e2e.drop_files(paths, at=(x, y), timeout=30), 0)
        # The drop is handled before the click that follows it.
        self.click_button(COPY_ALL)
        text = e2e.wait_until(
            lambda: (t := self.inspector.clipboard()) != b"sumvane e2e sentinel" and t,
            timeout=20,
            message="the copied text",
        )
        self.assertGreater(len(text), 64000)
        self.assertTrue(text.endswith(b"\r\n"))
        lines = text[:-2].split(b"\r\n")
        self.assertEqual(len(lines), len(paths))
        # Rows finish one by one meanwhile, so each line holds its checksum
        # or nothing yet.
        for line, name, crc in zip(lines, names, crcs):
            self.assertIn(line, (name.encode() + b" ", name.encode() + b" " + crc))


if __name__ == "__main__":
    unittest.main()
