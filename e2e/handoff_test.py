"""Hand-off between instances: a second start with files gives them to the
running instance and ends unseen; the running side answers the two messages
(1025: who calls, 1026: where the path lies in the caller's memory) and
trusts them no further than that."""

import concurrent.futures
import os
import shutil
import signal
import tempfile
import unittest

import sumvane_e2e as e2e

PROCESS_ID_MESSAGE = 1025
PATH_TEXT_MESSAGE = 1026
ERROR_INVALID_HANDLE = 6
ADD_FILE = 4
DIALOG_TITLE = "Choose a file for CRC32 check"


class SecondStartTest(e2e.ProgramTestCase):
    def new_windows(self, watch, first):
        """The windows a watch saw appear, apart from the first instance's
        tips (the pointer may pass over its list)."""
        return [
            w
            for w in watch.windows
            if not (w.pid == first.window.pid and w.class_name.lower() == "tooltips_class32")
        ]

    def test_files_go_to_the_running_instance_and_the_second_ends_unseen(self):
        first = self.start_program()
        a = self.make_file("handed a.txt", b"first handed file")
        b = self.make_file("handed \u00e9 b.bin", os.urandom(3000))
        with self.watch_windows() as watch:
            second = self.start_program(a, b, window=False)
            self.assertEqual(second.wait_exit(), 0)
        self.assertEqual(self.new_windows(watch, first), [])
        self.assertEqual(self.wait_finished(2, first), [e2e.expected_row(a), e2e.expected_row(b)])

    def test_an_empty_file_ends_in_neither_list(self):
        first = self.start_program()
        empty = self.make_file("empty.txt")
        with self.watch_windows() as watch:
            second = self.start_program(empty, window=False)
            self.assertEqual(second.wait_exit(), 0)
        self.assertEqual(self.new_windows(watch, first), [])
        # The hand-off is over once the second has ended.
        self.assertEqual(self.cells(first), [])

    def test_files_arrive_while_the_running_instance_has_its_file_dialog_open(self):
        first = self.start_program()
        self.click_button(ADD_FILE, first)
        self.inspector.wait_window(DIALOG_TITLE, class_name="#32770")
        path = self.make_file("during the dialog.txt", b"arrives meanwhile")
        self.assertEqual(self.start_program(path, window=False).wait_exit(), 0)
        # Checksums go on meanwhile, so only the name is sure.
        self.assertEqual([c[0] for c in self.cells(first)], [e2e.waiting_row(path)[0]])
        self.choose_files(DIALOG_TITLE, self.work, [])
        self.assertEqual(self.wait_finished(1, first), [e2e.expected_row(path)])

    def test_a_start_without_files_opens_another_window(self):
        first = self.start_program()
        second = self.start_program()
        # Parameters that name no file count as none.
        third = self.start_program(os.path.join(self.work, "missing.txt"), self.work)
        programs = (first, second, third)
        self.assertEqual(len({p.window.pid for p in programs}), 3)
        for p in programs:
            self.assertEqual(self.cells(p), [])

        # A later file goes to exactly one of them.
        path = self.make_file("once.txt", b"once")
        self.assertEqual(self.start_program(path, window=False).wait_exit(), 0)
        rows = [self.cells(p) for p in programs]
        self.assertEqual(sorted(len(r) for r in rows), [0, 0, 1])
        self.assertEqual(sum(rows, [])[0][0], e2e.waiting_row(path)[0])

    def test_ten_starts_at_once_deliver_each_path_exactly_once(self):
        first = self.start_program()
        paths = [self.make_file("at once %d.txt" % n, b"path %d" % n) for n in range(10)]
        with self.watch_windows(self.title) as watch:
            seconds = [self.start_program(p, window=False) for p in paths]
            codes = [s.wait_exit(timeout=40) for s in seconds]
        self.assertEqual(codes, [0] * 10)
        self.assertEqual(watch.windows, [])
        cells = self.cells(first)
        names = sorted(c[0] for c in cells)
        self.assertEqual(names, sorted(e2e.waiting_row(p)[0] for p in paths))

    def test_seven_hundred_files_of_one_start_are_each_listed_once(self):
        # Every path on one command line, as a file manager's "Send To" starts
        # a program (a short folder, so that they fit).
        folder = tempfile.mkdtemp(prefix="sv")
        self.addCleanup(shutil.rmtree, folder, True)
        paths = [self.make_file("%03d" % n, b"%d" % n, folder) for n in range(700)]
        first = self.start_program()
        with e2e.WindowWatch(self.inspector, max_seconds=280) as watch:
            second = self.start_program(*paths, window=False)
            self.assertEqual(second.wait_exit(timeout=240), 0)
        self.assertEqual(self.new_windows(watch, first), [])
        names = sorted(c[0] for c in self.cells(first))
        self.assertEqual(names, sorted(e2e.waiting_row(p)[0] for p in paths))

    def test_a_second_start_of_the_other_build_hands_over_to_the_running_one(self):
        why = e2e.why_not_both_builds()
        if why:
            self.skipTest("not run: " + why)
        own_inspector = self.inspector
        for running, starting in (("i686", "x86_64"), ("x86_64", "i686")):
            with self.subTest(running=running, starting=starting):
                self.exe = e2e.build_exe(running)
                self.inspector = e2e.inspector_for(self.exe)
                try:
                    first = self.start_program()
                    path = self.make_file("from %s.bin" % starting, os.urandom(5000))
                    self.exe = e2e.build_exe(starting)
                    self.assertEqual(self.start_program(path, window=False).wait_exit(), 0)
                    self.assertEqual(self.wait_finished(1, first), [e2e.expected_row(path)])
                finally:
                    self.end_programs()
                    self.programs = []
                    self.inspector = own_inspector

    def test_a_start_that_kept_a_path_shows_its_window_with_it(self):
        # A stand-in running instance that takes the first path and refuses
        # the next: the second start keeps that one and shows it.
        self.start(e2e.fixture_exe(), [self.title, "0", "1"], title=self.title)
        taken = self.make_file("taken.txt", b"taken by the other")
        kept = self.make_file("kept.txt", b"refused by the other")
        second = self.start_program(taken, kept)
        self.assertEqual(self.wait_finished(1, second), [e2e.expected_row(kept)])

    def test_a_running_instance_that_takes_no_messages_does_not_hold_a_new_one(self):
        first = self.start_program()
        os.kill(first.unix_pid, signal.SIGSTOP)
        try:
            path = self.make_file("kept.txt", b"kept by the new instance")
            # Each message waits 10 s at most; then the new instance keeps the
            # path and shows itself.
            second = self.start_program(path, timeout=25)
            self.assertEqual(self.wait_finished(1, second), [e2e.expected_row(path)])
        finally:
            os.kill(first.unix_pid, signal.SIGCONT)
        self.assertEqual(self.cells(first), [])


class HandOffMessagesTest(e2e.ProgramTestCase):
    """The running side, sent the two messages by the inspector, which plays
    a second instance: "pid" is its process id, "addr" and "len" the place
    and length of a text in its memory."""

    def setUp(self):
        super().setUp()
        self.program = self.start_program()
        self.pid = self.program.window.pid

    def send(self, *messages, text=None, size=0, timeout=3.0):
        return self.inspector.send(self.title, *messages, text=text, size=size, timeout=timeout)

    def send_expecting_box(self, *messages, text=None):
        """Sends while a box blocks the answer: returns (the box's title, its
        text, the answers once the box was closed)."""
        with concurrent.futures.ThreadPoolExecutor(1) as pool:
            answers = pool.submit(self.send, *messages, text=text, timeout=15.0)
            box = self.inspector.message_box("", pid=self.pid)
            title, text, buttons = box.title, box.text, box.buttons
            self.key_on(box.window, "Return")
            result = answers.result(timeout=20)
        self.assertEqual(buttons, [b"OK"])
        return title, text, result

    def test_a_full_hand_off_lists_the_path_and_closes_the_caller_handle(self):
        path = self.make_file("by message.txt", b"sent by message")
        text = e2e.wine_path_bytes(path)
        answers = self.send(
            (PROCESS_ID_MESSAGE, 0, "pid"), (PATH_TEXT_MESSAGE, "addr", "len"), text=text
        )
        self.assertEqual(answers, [1, 1])
        self.assertEqual(self.wait_finished(1), [e2e.expected_row(path)])

        # Its 1026 has been answered, so the caller's handle is closed: a
        # second 1026 without a new 1025 cannot read anything.
        title, box_text, answers = self.send_expecting_box(
            (PATH_TEXT_MESSAGE, "addr", "len"), text=text
        )
        self.assertEqual((title, box_text, answers), (b"", b"6", [0]))
        self.assertEqual(len(self.cells()), 1)

    def test_failed_reads_show_the_error_number_and_answer_zero(self):
        # No 1025 since start-up: no process to read from.
        title, text, answers = self.send_expecting_box((PATH_TEXT_MESSAGE, 0x10000, 12))
        self.assertEqual((title, text, answers), (b"", b"%d" % ERROR_INVALID_HANDLE, [0]))
        # An address where the caller has nothing.
        title, text, answers = self.send_expecting_box(
            (PROCESS_ID_MESSAGE, 0, "pid"), (PATH_TEXT_MESSAGE, 0x10, 12)
        )
        self.assertEqual(title, b"")
        self.assertRegex(text, rb"^[1-9][0-9]*$")
        self.assertEqual(answers, [1, 0])
        self.assertEqual(self.cells(), [])

    def test_lengths_and_unknown_callers_are_answered_without_a_box(self):
        path = self.make_file("within bound.txt", b"listed once")
        with self.watch_windows(pid=self.pid, class_name="#32770") as boxes:
            answers = self.send(
                # A length of 0 names no file, yet is a delivery.
                (PROCESS_ID_MESSAGE, 0, "pid"),
                (PATH_TEXT_MESSAGE, "addr", 0),
                # Lengths above the bound are refused unread.
                (PROCESS_ID_MESSAGE, 0, "pid"),
                (PATH_TEXT_MESSAGE, "addr", "len"),
                (PROCESS_ID_MESSAGE, 0, "pid"),
                (PATH_TEXT_MESSAGE, "addr", 3 * 32767 + 1),
                # The longest length taken (32767 units of three bytes); the
                # path ends at its first zero.
                (PROCESS_ID_MESSAGE, 0, "pid"),
                (PATH_TEXT_MESSAGE, "addr", 3 * 32767),
                # A process that does not exist.
                (PROCESS_ID_MESSAGE, 0, 0x7FFFFFF0),
                text=e2e.wine_path_bytes(path),
                size=3 * 32767 + 2,
            )
        self.assertEqual(answers, [1, 1, 1, 0, 1, 0, 1, 1, 0])
        self.assertEqual(boxes.windows, [])
        self.assertEqual(self.wait_finished(1), [e2e.expected_row(path)])


if __name__ == "__main__":
    unittest.main()
