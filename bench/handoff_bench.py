"""Thousands of files handed to the running program, a click on "Clear" during
a long run, and what a long list costs in memory.

Rows, each through the real program under Wine, its files 1 B to 4 KiB with
paths of about 45 characters, read into the page cache first:

start  a second start with 700 files on its command line (as a file manager's
       "Send To" starts a program) and one with a single file, against a
       running instance that is idle, and one whose worker is busy with a
       cached large file (that file listed enough times to outlast the
       hand-off): seconds from the launch of the second start to its exit,
       and to the moment the running list shows every file; best and median
       of SUMVANE_BENCH_RUNS (3) runs.
many   20,000 files handed over by second starts one after the other, each
       command line at most 30,000 characters, to an idle instance: time to
       the last start's exit, to all rows listed, and to the last verdict;
       from the same run, the files a second up to the 5,000th and to the
       20,000th verdict, and the memory of the program's process (VmRSS)
       before the first start and once the 5,000th and the 20,000th rows
       were summed, as bytes a row.
clear  the same hand-off of 20,000 files; once the list holds 2,000 rows, a
       real mouse click (xdotool) on "Clear": seconds from the click until
       the list is empty, its row count looked at every 10 ms. Meanwhile a
       screenshot of the list every 50 ms (the list is kept at its newest
       rows by an End key every 100 ms, X input too, with the pointer on the
       window's top edge), the longest interval between two screenshots that
       differ, and the longest wait from a change of the row count to the
       next changed screenshot: how long new rows went unpainted.

Every wait is bounded; a start that outlives its bound is ended by its pid.
The hand-off of 20,000 stops launching starts after
SUMVANE_BENCH_HANDOFF_SECONDS (900) and reports what it handed over by then.

    handoff_bench.py FOLDER LARGE_FILE [ROW...]

FOLDER gets the 20,000 files once (random bytes and sizes from a fixed
seed), in FOLDER/20000; the 700 are the first of them. ROW is start, many or
clear; all three unless given.

Environment: SUMVANE_EXE, SUMVANE_INSPECT, SUMVANE_LIST_TIMER, WINEPREFIX and
DISPLAY, as ./dev bench sets them; SUMVANE_BENCH_RUNS,
SUMVANE_BENCH_HANDOFF_SECONDS.
"""

import hashlib
import os
import random
import signal
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

import small_files_bench as small  # noqa: E402
import sumvane_e2e as e2e  # noqa: E402
from Xlib import X, display  # noqa: E402

RUNS = int(os.environ.get("SUMVANE_BENCH_RUNS", "3"))
HANDOFF_SECONDS = float(os.environ.get("SUMVANE_BENCH_HANDOFF_SECONDS", "900"))
TITLE = e2e.PROGRAM_TITLE
CLEAR = 5
COUNT = 20000
SENT = 700
MIDWAY = 5000
CLEAR_AT = 2000
LARGEST = 4 << 10
PATH_CHARS = 45
COMMAND_LINE_CHARS = 30000
# Windows' bound for a whole command line.
LONGEST_COMMAND_LINE = 32767
START_TIMEOUT = 240.0


def make_files(folder, count, chars):
    """count files of 1 to 4096 random bytes, the same ones on every run, named
    so that their Windows paths have about `chars` characters."""
    os.makedirs(folder, exist_ok=True)
    digits = len(str(count - 1))
    stem = len(e2e.wine_path(folder)) + 1 + digits + len(".bin")
    filler = "abcdefghijklmnopqrstuvwxyz"[: max(0, chars - stem)]
    rng = random.Random(count)
    paths = []
    for n in range(count):
        size = rng.randint(1, LARGEST)
        data = rng.randbytes(size)
        path = os.path.join(folder, "%0*d%s.bin" % (digits, n, filler))
        if not os.path.exists(path) or os.path.getsize(path) != size:
            with open(path, "wb") as f:
                f.write(data)
        paths.append(path)
    return paths


def command_line_chars(params):
    """How long the Windows command line of a start with these parameters is
    (none of them holds a space, so none is quoted)."""
    return len(e2e.wine_path(e2e.program_exe())) + sum(1 + len(p) for p in params)


def chunks(params, limit):
    """params in order, cut into command lines of at most limit characters."""
    out, chars = [[]], command_line_chars([])
    for p in params:
        if out[-1] and chars + 1 + len(p) > limit:
            out.append([])
            chars = command_line_chars([])
        out[-1].append(p)
        chars += 1 + len(p)
    return out


def launch(params):
    return subprocess.Popen(["wine", e2e.program_exe()] + params, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)


def wait_or_kill(process, timeout):
    """The exit code, or None when the process had to be ended after timeout
    seconds."""
    try:
        return process.wait(timeout=max(0.1, timeout))
    except subprocess.TimeoutExpired:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait(timeout=10)
        return None


def start_instance(inspector, params=()):
    program = launch(list(params))
    window = inspector.wait_window(TITLE, 60)
    return program, window


def rss_bytes(pid):
    """VmRSS of a Linux process: the program runs as the process that `wine`
    was started as."""
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
    raise RuntimeError("no VmRSS for process %d" % pid)


def seconds_text(values):
    return "%.2f s best, %.2f median" % (min(values), statistics.median(values))


# --- start: one second start of 700 files, or of one ---------------------------


def one_start(inspector, params, busy_with):
    """Seconds from the launch of a second start to its exit and to the moment
    the running list shows all of its files, or None for either that did not
    come within START_TIMEOUT."""
    program, _ = start_instance(inspector, busy_with)
    try:
        if busy_with:
            time.sleep(1.0)  # the worker is on the large file by then
        small.warm([p for p in params])
        with e2e.CountWatch(inspector, TITLE, len(busy_with) + len(params), START_TIMEOUT) as watch:
            started = time.time()
            code = wait_or_kill(launch([e2e.wine_path(p) for p in params]), START_TIMEOUT)
            ended = time.time()
            if code != 0:
                raise RuntimeError("a second start of %d files ended with %r"
                                   % (len(params), code))
            watch.wait(START_TIMEOUT - (ended - started))
        listed = watch.reached
        if listed is not None and watch.counts[-1][1] != len(busy_with) + len(params):
            raise RuntimeError("the running list holds %d rows, not %d"
                               % (watch.counts[-1][1], len(busy_with) + len(params)))
    finally:
        small.close(inspector, program)
    return ended - started, None if listed is None else listed - started


def row_start(inspector, sent, large):
    sent_params = [e2e.wine_path(p) for p in sent]
    chars = command_line_chars(sent_params)
    # Enough times the large file to keep the worker on it for minutes.
    copies = max(1, min(600, -(-3000 * 10**9 // os.path.getsize(large))))
    busy = [e2e.wine_path(large)] * copies
    subprocess.run(["cat", large], stdout=subprocess.DEVNULL, check=True)
    print("a second start with files on its command line (%d files of 1 B to 4 KiB, paths of %d"
          " characters, %d in all), %d runs each" % (SENT, len(sent_params[0]), chars, RUNS))
    if chars > LONGEST_COMMAND_LINE:
        print("  (longer than Windows allows, %d: the bench folder's path is too long)"
              % LONGEST_COMMAND_LINE)
    print("  %-34s %-28s %-28s %9s" % ("running instance, files", "launch to exit",
                                        "launch to all listed", "files/s *"))
    for state, busy_with in (("idle", []), ("busy with %.3g GiB" % (os.path.getsize(large)
                                                                   / (1 << 30)), busy)):
        for params in (sent[:1], sent):
            exits, listed = [], []
            for _ in range(RUNS):
                took, shown = one_start(inspector, params, busy_with)
                exits.append(took)
                listed.append(shown if shown is not None else float("inf"))
            best = min(max(e, s) for e, s in zip(exits, listed))
            print("  %-34s %-28s %-28s %9.1f" % ("%s, %d" % (state, len(params)),
                                                 seconds_text(exits), seconds_text(listed),
                                                 len(params) / best))
    print("  * files over the best run's time to its exit or to all listed, whichever came later")


# --- many and clear: 20,000 files by one start after another -------------------


def hand_over(params, deadline, stop=None):
    """Second starts one after another, each with at most COMMAND_LINE_CHARS
    characters of command line, until every parameter went, the deadline
    passed or stop was set; returns (files handed over, starts, the Unix time
    of the last exit)."""
    handed, starts = 0, 0
    for batch in chunks(params, COMMAND_LINE_CHARS):
        if time.time() >= deadline or (stop is not None and stop.is_set()):
            break
        code = wait_or_kill(launch(batch), min(START_TIMEOUT, deadline - time.time()))
        starts += 1
        if code != 0:
            raise RuntimeError("a second start of %d files ended with %r" % (len(batch), code))
        handed += len(batch)
    return handed, starts, time.time()


def row_many(inspector, files):
    params = [e2e.wine_path(p) for p in files]
    small.warm(files)
    program, window = start_instance(inspector)
    try:
        time.sleep(1.0)
        before = rss_bytes(program.pid)
        midway = {}

        def at_midway(timer):
            timer.wait()
            midway["rss"] = rss_bytes(program.pid)

        limit = HANDOFF_SECONDS + 60
        with small.TimedList(MIDWAY, max_seconds=limit, every=20) as first, \
                small.TimedList(COUNT, max_seconds=limit, every=20) as whole:
            watcher = threading.Thread(target=at_midway, args=(first,), daemon=True)
            watcher.start()
            started = time.time()
            handed, starts, last_exit = hand_over(params, started + HANDOFF_SECONDS)
            if handed == COUNT:
                whole.wait()
            watcher.join(timeout=limit if handed == COUNT else 30)
        if handed < COUNT:
            print("%d files by second starts: stopped after %.0f s with %d files handed over"
                  " by %d starts: %.0f files/s" % (COUNT, HANDOFF_SECONDS, handed, starts,
                                                   handed / (last_exit - started)))
            if "rss" in midway and b"listed" in first.output:
                first.figures()
                print("  the %d-th verdict came %.2f s after the first launch: %.0f files/s"
                      % (MIDWAY, first.done - started, MIDWAY / (first.done - started)))
                print("  memory of the program (VmRSS): %.1f MiB before the first start, %.1f MiB"
                      " with %d rows summed: %.0f bytes a row"
                      % (before / 2**20, midway["rss"] / 2**20, MIDWAY,
                         (midway["rss"] - before) / MIDWAY))
            return
        whole.figures()
        first.figures()
        time.sleep(0.5)
        after = rss_bytes(program.pid)
        with e2e.CountWatch(inspector, TITLE, COUNT, 10) as listed:
            listed.wait()
        rows = listed.counts[-1][1] if listed.counts else -1
    finally:
        small.close(inspector, program)
    if rows != COUNT:
        raise RuntimeError("the running list holds %d rows, not %d" % (rows, COUNT))
    print("%d files of 1 B to 4 KiB (paths of %d characters) handed over by %d second starts of"
          " up to %d characters each, to an idle instance"
          % (COUNT, len(params[0]), starts, COMMAND_LINE_CHARS))
    for what, at in (("to the last start's exit", last_exit), ("to all rows listed",
                                                                whole.listed),
                     ("to the last verdict", whole.done)):
        print("  first launch %-26s %8.2f s %8.0f files/s" % (what, at - started,
                                                            COUNT / (at - started)))
    print("  the %d-th verdict came %.2f s after the first launch: %.0f files/s;"
          " the %d-th at %.0f files/s (%.2f of that)"
          % (MIDWAY, first.done - started, MIDWAY / (first.done - started), COUNT,
             COUNT / (whole.done - started),
             (COUNT / (whole.done - started)) / (MIDWAY / (first.done - started))))
    print("  memory of the program (VmRSS): %.1f MiB before the first start" % (before / 2**20))
    if "rss" in midway:
        print("    %d rows summed: %.1f MiB, %.0f bytes a row"
              % (MIDWAY, midway["rss"] / 2**20, (midway["rss"] - before) / MIDWAY))
    print("    %d rows summed: %.1f MiB, %.0f bytes a row"
          % (COUNT, after / 2**20, (after - before) / COUNT))


class Screenshots(threading.Thread):
    """Takes a picture of a screen rectangle every `every` seconds until
    stopped; .shots holds (Unix time, digest of the pixels)."""

    def __init__(self, rect, every=0.1):
        super().__init__(daemon=True)
        self.rect, self.every = rect, every
        self.shots = []
        self.halt = threading.Event()

    def run(self):
        disp = display.Display()
        root = disp.screen().root
        r = self.rect
        try:
            while not self.halt.is_set():
                at = time.time()
                image = root.get_image(r.left, r.top, r.width, r.height, X.ZPixmap, 0xFFFFFFFF)
                self.shots.append((at, hashlib.sha1(image.data).digest()))
                self.halt.wait(max(0.0, self.every - (time.time() - at)))
        finally:
            disp.close()

    def changes(self, until):
        """The moments at which a shot differed from the one before, up to
        `until`; and the longest interval between two shots."""
        shots = [s for s in self.shots if s[0] <= until]
        changed = [b[0] for a, b in zip(shots, shots[1:]) if a[1] != b[1]]
        gaps = [b[0] - a[0] for a, b in zip(shots, shots[1:])]
        return shots, changed, max(gaps) if gaps else float("nan")


def row_clear(inspector, files):
    params = [e2e.wine_path(p) for p in files]
    small.warm(files)
    program, window = start_instance(inspector)
    stop = threading.Event()
    result = {}

    def handing():
        result["handed"] = hand_over(params, time.time() + HANDOFF_SECONDS, stop)

    try:
        _, controls = inspector.controls(TITLE)
        clear = [c for c in controls if c.id == CLEAR][0].rect
        view = inspector.list_view(TITLE, e2e.LIST_ID)
        # The list takes the keys: a click on its empty space gives it the
        # focus; then the pointer rests on the window's top edge, off the
        # list and its tip.
        e2e.click_at(view.rect.left + 20, view.rect.bottom - 20)
        e2e.move_to(*window.client_to_screen(window.client_size[0] // 2, 2))
        shots = Screenshots(view.rect, every=0.05)
        handoff = threading.Thread(target=handing, daemon=True)
        with e2e.CountWatch(inspector, TITLE, CLEAR_AT, HANDOFF_SECONDS) as grown:
            started = time.time()
            shots.start()
            handoff.start()
            while grown._proc.poll() is None and time.time() - started < HANDOFF_SECONDS:
                e2e.xdotool("key", "End")
                time.sleep(0.1)
        if grown.reached is None:
            raise RuntimeError("the list never held %d rows" % CLEAR_AT)
        # The starts go on meanwhile, so the list may hold their rows again
        # a moment after it was empty: the Clear shows as the first look
        # with fewer rows than at the click.
        with e2e.CountWatch(inspector, TITLE, max_seconds=10) as after:
            e2e.move_to(*clear.center)
            clicked = time.time()
            e2e.xdotool("click", "1")
            after.wait(10)
        shots.halt.set()
        stop.set()
        shots.join(timeout=10)
        handoff.join(timeout=START_TIMEOUT + 10)
    finally:
        stop.set()
        small.close(inspector, program)
    taken, changed, longest_shot_gap = shots.changes(clicked)
    # From the first change (the first rows listed) to the click.
    marks = changed + [clicked]
    unpainted = max([b - a for a, b in zip(marks, marks[1:])] or [float("nan")])
    print("a click on \"Clear\" (X input) during a hand-off of %d files by second starts, once the"
          " list held %d rows (%d at the click)"
          % (COUNT, CLEAR_AT, grown.counts[-1][1] if grown.counts else -1))
    at_click = after.counts[0][1] if after.counts else -1
    fewer = [(at, rows) for at, rows in after.counts if rows < at_click]
    if not fewer:
        print("  the list still held %d rows or more 10 s after the click" % at_click)
    else:
        print("  from the click to the list cleared: %.3f s (the row count looked at every 10 ms;"
              " %d rows then, %d at the click)" % (fewer[0][0] - clicked, fewer[0][1], at_click))
    print("  %d screenshots of the list in %.1f s before the click (the longest interval between"
          " two: %.2f s); %d differ from the one before" % (len(taken), clicked - started,
                                                          longest_shot_gap, len(changed)))
    print("  longest interval without a changed screenshot, from the first change to the click:"
          " %.2f s (the list kept at its newest rows by an End key every 0.1 s)" % unpainted)
    # Between two starts no row comes for half a second, and nothing on
    # screen needs to change; what counts is how soon new rows show.
    lags = []
    for at, _ in grown.counts[1:]:
        shown = [c for c in changed if c > at]
        if shown and at < clicked - 0.5:
            lags.append(shown[0] - at)
    print("  longest wait from a change of the row count (looked at every 10 ms) to the next"
          " changed screenshot: %.2f s, over %d changes" % (max(lags or [float("nan")]), len(lags)))


def main():
    folder, large = sys.argv[1], sys.argv[2]
    rows = sys.argv[3:] or ["start", "many", "clear"]
    inspector = e2e.Inspector(timeout=60)
    files = make_files(os.path.join(folder, "%d" % COUNT), COUNT, PATH_CHARS)
    for row in rows:
        if row == "start":
            # As long as 700 of them fit on one command line.
            longest = (LONGEST_COMMAND_LINE - command_line_chars([])) // SENT - 1
            row_start(inspector, make_files(os.path.join(folder, "%d" % SENT), SENT,
                                            min(PATH_CHARS, longest)), large)
        elif row == "many":
            row_many(inspector, files)
        elif row == "clear":
            row_clear(inspector, files)
        else:
            raise SystemExit("unknown row %r: start, many or clear" % row)
    return 0


if __name__ == "__main__":
    sys.exit(main())
