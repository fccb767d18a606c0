"""Times many small files through the whole program, beside other readers.

Three figures, all through the program's real window, timer and worker:

1. 300 files of 1 B to 64 KiB dropped at once (a real XDND drop) on the
   running program: files a second from the end of the drop (the moment the
   drag source hears that the window has taken it, or the moment the list
   shows all the files, when that comes first) to the last verdict, any wait
   for a first tick included, beside one Windows process of this build that only opens, reads
   (in the same 131072-byte reads, through the same CRC-32 engine) and
   closes the same files, timed from its first open to its last close: the
   limit of the build under Wine;
2. the program started with the same 300 files as its parameters, timed from
   the moment it is started to the last verdict, beside rhash, 7z and a
   Python zlib loop, each also timed from its start: this row compares like
   with like;
3. 5,000 such files dropped at once: the rate (best run), how long the window
   keeps an empty message (WM_NULL, sent every 10 ms by another process)
   waiting from the end of the drop to the last verdict (every run), and the
   handles the program holds at its start, after a first drop of 5 files, and
   after the last verdict.

Wine itself takes some 20 ms a file to take a drop in (in any program, before
the drop ends), so each drop of 5,000 files takes a minute or two; that is not
counted. Runs are taken in rounds that take every reader in turn, best of
SUMVANE_BENCH_RUNS (3) a reader; the files are read into the page cache before
each run. The program's list must show every file's checksum as zlib computes
it, and each peer must report the same checksums.

    small_files_bench.py FOLDER

FOLDER gets the files once (random bytes and random sizes from a fixed seed):
FOLDER/300 and FOLDER/5000.

Environment: SUMVANE_EXE, SUMVANE_INSPECT, SUMVANE_LIST_TIMER,
SUMVANE_SMALL_LOOP, WINEPREFIX and DISPLAY, as ./dev bench sets them;
SUMVANE_BENCH_RUNS.
"""

import os
import random
import statistics
import subprocess
import sys
import time
import types
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

import program_bench  # noqa: E402
import sumvane_e2e as e2e  # noqa: E402
import xdnd_drop  # noqa: E402
from Xlib import display  # noqa: E402

RUNS = int(os.environ.get("SUMVANE_BENCH_RUNS", "3"))
TITLE = e2e.PROGRAM_TITLE
LARGEST = 64 << 10


def make_files(folder, count):
    """count files of 1 to 65536 random bytes, the same ones on every run;
    returns their paths and checksums."""
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(count)
    paths, crcs = [], []
    for n in range(count):
        size = 1 if n == 0 else LARGEST if n == 1 else rng.randint(1, LARGEST)
        path = os.path.join(folder, "%04d.bin" % n)
        if not os.path.exists(path) or os.path.getsize(path) != size:
            with open(path, "wb") as f:
                f.write(rng.randbytes(size))
        else:
            rng.randbytes(size)  # the same stream of bytes either way
        with open(path, "rb") as f:
            crcs.append("%08X" % zlib.crc32(f.read()))
        paths.append(path)
    return paths, crcs


def warm(paths):
    """Reads the files, so that every reader finds them in the page cache
    (whatever else on the machine dropped it meanwhile)."""
    for path in paths:
        with open(path, "rb") as f:
            f.read()


def crc_sum(crcs):
    """The sum of the checksums (its low 32 bits), as 7z reports it for
    several files."""
    return "%08X" % (sum(int(c, 16) for c in crcs) & 0xFFFFFFFF)


class TimedList(e2e.BackgroundInspector):
    """list_timer.exe in the background: open once it has found the window's
    list; afterwards .done is the Unix time of the last verdict, .listed that
    of the moment all rows were there, and .probes the (Unix time, ms) of each
    WM_NULL round trip. every: milliseconds between looks (list_timer's 2
    unless given)."""

    def __init__(self, count, probe=False, max_seconds=600, every=None):
        args = (["--probe"] if probe else []) + (["--every", every] if every else [])
        args += [TITLE, count, int(max_seconds * 1000)]
        timer = types.SimpleNamespace(exe=os.environ["SUMVANE_LIST_TIMER"])
        super().__init__(timer, args, "list_timer")
        self.max_seconds = max_seconds

    def wait(self):
        e2e.wait_until(lambda: self._proc.poll() is not None, self.max_seconds + 10,
                       message="the last verdict")

    def figures(self):
        """After the with block: reads what time-list printed."""
        records = e2e.parse_records(self.output)
        done = [v for k, v in records if k == "listed"]
        if not done:
            raise RuntimeError("the list did not finish: %r" % self.output[-300:])
        self.done = float(done[0]["done"])
        self.listed = float(done[0]["rows"])
        self.probes = [(float(v["at"]), float(v["ms"])) for k, v in records if k == "probe"]
        return self


def check_list(inspector, paths, crcs):
    cells = inspector.list_view(TITLE, e2e.LIST_ID).cells
    got = [c[1].decode("ascii") for c in cells]
    names = [c[0].split(b" > ")[-1] for c in cells]
    if names != [e2e.wine_path(p).encode() for p in paths] or got != crcs:
        raise RuntimeError("the program's list differs from zlib's checksums")


def close(inspector, program):
    inspector.close(TITLE)
    try:
        program.wait(timeout=30)
    except subprocess.TimeoutExpired:
        program.kill()


def start_empty(inspector):
    program = subprocess.Popen(["wine", e2e.program_exe()], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return program, inspector.wait_window(TITLE, 30)


def drop(paths, at):
    """Drops the files; returns the Unix time at which the window had taken
    them (XdndFinished)."""
    disp = display.Display()
    try:
        source = xdnd_drop.XdndSource(disp, 600)
        target = source.target_at(*at)
        source.drop(target, at[0], at[1], [os.fspath(p) for p in paths])
        return time.time()
    finally:
        disp.close()


def run_drop(inspector, paths, crcs, probe=False, first=()):
    """Seconds from the end of the drop to the last verdict, and the figures
    of the run. The files `first` (paths and checksums) are dropped and
    checksummed before, so that the handle count before the drop is that of a
    program which has done a few files already."""
    program, window = start_empty(inspector)
    try:
        at = inspector.list_view(TITLE, e2e.LIST_ID).rect.center
        handles = [inspector.handle_count(window.pid)]
        earlier = [p for p, _ in first]
        if earlier:
            with TimedList(len(earlier)) as timed:
                drop(earlier, at)
                timed.wait()
            # By then the timer has also looked at the list once, which sets
            # up what its thread needs for that (a few handles, once).
            time.sleep(1)
            handles.append(inspector.handle_count(window.pid))
        with TimedList(len(earlier) + len(paths), probe) as timed:
            dropped = drop(paths, at)
            timed.wait()
        timed.figures()
        handles.append(inspector.handle_count(window.pid))
        check_list(inspector, earlier + paths, [c for _, c in first] + crcs)
    finally:
        close(inspector, program)
    waits = [ms for at_time, ms in timed.probes if at_time >= dropped]
    # Under Wine the drag source hears that the drop ended about when the
    # window has listed the files, before or after: the time runs from
    # whichever came first, so that no file read before the drop's end is
    # read for free.
    start = min(dropped, timed.listed)
    return timed.done - start, {"waits": waits, "handles": handles,
                                "listed": timed.listed - dropped}


def run_started(inspector, paths, crcs):
    """Seconds from the program's start with the files to the last verdict."""
    started = time.time()
    program = subprocess.Popen(["wine", e2e.program_exe()] + [e2e.wine_path(p) for p in paths],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        with TimedList(len(paths)) as timed:
            timed.wait()
        timed.figures()
        check_list(inspector, paths, crcs)
    finally:
        close(inspector, program)
    return timed.done - started


def in_process_loop(paths, crcs):
    """Seconds of the best of RUNS passes of small_files_loop.exe over the
    files (their folder holds just them, named 0000.bin on)."""
    folder = e2e.wine_path(os.path.dirname(paths[0]))
    out = subprocess.run(["wine", os.environ["SUMVANE_SMALL_LOOP"], folder, str(len(paths)),
                          str(RUNS)], capture_output=True, text=True, check=True).stdout
    fields = dict(field.split("=") for field in out.split())
    if fields["sum"] != crc_sum(crcs):
        raise RuntimeError("the in-process loop gave other checksums")
    return float(fields["seconds"])


def timed_peer(command, expected, parse):
    start = time.perf_counter()
    out = subprocess.run(command, capture_output=True, text=True, check=True).stdout
    seconds = time.perf_counter() - start
    if parse(out) != expected:
        raise RuntimeError("%s gave other checksums" % command[0])
    return seconds


def peers(paths, crcs):
    def rhash_crcs(out):
        return [line.split()[-1].upper() for line in out.splitlines()
                if line.strip() and not line.startswith(";")]

    def sevenzip_sum(out):
        for line in out.splitlines():
            if "for data:" in line:  # the sum of the checksums, with its carry after "-"
                return line.split()[-1].split("-")[0].upper()
        return None

    return [
        ("rhash --crc32", lambda: timed_peer(["rhash", "--crc32"] + paths, crcs, rhash_crcs)),
        ("7z h -scrcCRC32", lambda: timed_peer(["7z", "h", "-scrcCRC32"] + paths, crc_sum(crcs),
                                               sevenzip_sum)),
        ("Python zlib.crc32 loop", lambda: timed_peer(
            ["/usr/bin/python3", "-c", program_bench.PYTHON_PEER] + paths, crcs,
            lambda out: out.split())),
    ]


def main():
    folder = sys.argv[1]
    inspector = e2e.Inspector(timeout=60)
    few, few_crcs = make_files(os.path.join(folder, "300"), 300)
    many, many_crcs = make_files(os.path.join(folder, "5000"), 5000)
    megabytes = sum(os.path.getsize(p) for p in few) / 1e6

    readers = [
        ("sumvane.exe, dropped on its window *", lambda: run_drop(inspector, few, few_crcs)[0]),
        ("sumvane.exe started with the files", lambda: run_started(inspector, few, few_crcs)),
    ] + peers(few, few_crcs)
    best = {}
    for run in range(RUNS):
        turn = run % len(readers)
        for name, reader in readers[turn:] + readers[:turn]:
            warm(few)
            seconds = reader()
            best[name] = min(best.get(name, seconds), seconds)

    print("%d files of 1 B to 64 KiB (%.1f MB, in the page cache), best of %d runs"
          % (len(few), megabytes, RUNS))
    fastest_peer = min(best[name] for name, _ in readers[2:])
    print("  %-46s %9s %9s %13s" % ("reader", "seconds", "files/s", "x fastest peer"))
    for name, _ in readers:
        ratio = fastest_peer / best[name]
        print("  %-46s %9.3f %9.0f %12.3fx" % (name, best[name], len(few) / best[name], ratio))
    print("  * from the end of the drop (or from when the list showed every file, if sooner);"
          " every other row from the process's start")
    warm(few)
    loop = in_process_loop(few, few_crcs)
    dropped = best[readers[0][0]]
    print("  %-46s %9.3f %9.0f" % ("in one Windows process: open, read, CRC, close **", loop,
                                    len(few) / loop))
    print("  ** from its first open to its last close, best of %d passes: the limit of the"
          " build under Wine" % RUNS)
    print("  the drop goes at %.2f of that loop's pace" % (loop / dropped))
    print("  checksums agree")

    seconds, waits, handles, listed = None, [], [], []
    for run in range(RUNS):
        warm(many)
        took, figures = run_drop(inspector, many, many_crcs, probe=True,
                                 first=list(zip(few, few_crcs))[:5])
        seconds = min(seconds or took, took)
        waits += figures["waits"]
        handles.append(figures["handles"])
        listed.append(figures["listed"])
    print("%d files dropped at once (%.0f MB), best of %d runs, the window probed every 10 ms"
          % (len(many), sum(os.path.getsize(p) for p in many) / 1e6, RUNS))
    print("  from the end of the drop to the last verdict: %.2f s, %.0f files/s"
          % (seconds, len(many) / seconds))
    print("  (all rows were listed %+.2f to %+.2f s from the end of the drop: under Wine the"
          " window answers the drop once it has listed the files)" % (min(listed), max(listed)))
    if waits:
        print("  WM_NULL round trips in all runs: %d, median %.2f ms, longest %.1f ms"
              % (len(waits), statistics.median(waits), max(waits)))
    for counts in handles:
        print("  handles of the program: %d at its start, %d after a first drop of 5 files,"
              " %d after the last verdict" % tuple(counts))
    print("  checksums agree")
    return 0


if __name__ == "__main__":
    sys.exit(main())
