"""Ending the program: "Quit" and the close box, idle and in the middle of a
checksum, always with exit code 0 and nothing left running; and a long run
that holds no more handles after many files than after the first few."""

import os
import time
import unittest

import sumvane_e2e as e2e

QUIT = 9
# Far more reading than the time limit below allows (a hole: no disk space).
ENDLESS_FILE_SIZE = 1 << 36
# How long ending may take.
END_TIMEOUT = 5.0


def wine_processes_running(exe):
    """Unix processes still running the program (its path on their command
    line)."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmdline = f.read()
        except OSError:
            continue
        if os.path.abspath(exe).encode() in cmdline:
            found.append(int(pid))
    return found


class EndTest(e2e.ProgramTestCase):
    def end_with(self, how, program):
        if how == "quit":
            self.click_button(QUIT, program)
        else:
            e2e.click_at(*self.close_box_point(program.window))

    def test_quit_and_close_box_end_with_exit_code_zero(self):
        for how in ("quit", "close box"):
            for during_checksum in (False, True):
                with self.subTest(how=how, during_checksum=during_checksum):
                    params = []
                    if during_checksum:
                        params = [self.make_large_file("endless.bin", ENDLESS_FILE_SIZE)]
                    program = self.start_program(*params)
                    if during_checksum:
                        self.wait_progress(0, program)
                    self.assertIn(program.unix_pid, wine_processes_running(self.exe))
                    started = time.monotonic()
                    self.end_with(how, program)
                    self.assertEqual(program.wait_exit(END_TIMEOUT), 0)
                    self.assertLess(time.monotonic() - started, END_TIMEOUT)
                    self.assertEqual(self.inspector.windows(pid=program.window.pid), [])
                    self.assertEqual(self.inspector.windows(self.title), [])
        self.assertEqual(wine_processes_running(self.exe), [])


class LongRunTest(e2e.ProgramTestCase):
    def test_handles_stay_flat_over_checksums_and_hand_offs(self):
        first = [self.make_file("first %d.bin" % i, os.urandom(1000)) for i in range(3)]
        program = self.start_program(*first)
        self.wait_finished(3, program)
        # Twelve more files, each handed over by a second start, three a start.
        # The first files start at once, before the timer's first tick; the
        # count starts after the first hand-off, once a tick has also looked
        # at the list and so set up, once, what its thread needs for that.
        for start in range(5):
            files = [
                self.make_file("later %d-%d.bin" % (start, i), os.urandom(1000)) for i in range(3)
            ]
            self.assertEqual(self.start_program(*files, window=False).wait_exit(), 0)
            if start == 0:
                self.wait_finished(6, program)
                before = self.inspector.handle_count(program.win_pid)
        self.wait_finished(18, program)
        after = self.inspector.handle_count(program.win_pid)
        self.assertLessEqual(after - before, 3, "handles: %d before, %d after" % (before, after))


if __name__ == "__main__":
    unittest.main()
