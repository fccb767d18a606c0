"""Times the whole program on one large file, or on several one after
another, beside plain readers and other CRC-32 readers.

Each reader reads the same files, warm (in the page cache) and cold (the
cache dropped before every run, where this machine allows it), in rounds
that take every reader in turn, so that a slow spell of the machine or of its
disk does not fall on one reader alone; the best run of each counts, warm
and cold. The order of the readers turns from round to round.

The program is started under Wine with the files as its parameters and timed
twice (sumvane_inspect time-row): from the first percentage in the State
column of the first row to the checksum of the last row, as a user watches
it, and end to end, from the start of `wine sumvane.exe` to that checksum.
The first figure is the pace of that stretch: the window shows a percentage
only once it gets to it, and the inspector sees it at its next look, so the
first one seen may already be 3 or 20 percent of the first file; only the
bytes read after it count. Every other reader is timed as a whole process,
over every file in turn: dd with 128 KiB and with 1 MiB blocks, two dd with
1 MiB blocks at once (the program reads with two threads) over the two
halves of a single file, or over every other file each for several, cat,
Python's zlib.crc32 in 128 KiB reads, 7z and rhash.

Before every cold run, the files of Wine and of the program are read back
into the cache (the program starts without files and is closed), since a
cold file is what is measured, not a cold Wine; every reader then starts
after the same pause. Every checksum reader must report the same checksum
(of the last file).

    program_bench.py FILE...

Environment: SUMVANE_EXE, SUMVANE_INSPECT, WINEPREFIX and DISPLAY, as
./dev bench sets them; SUMVANE_BENCH_RUNS and SUMVANE_BENCH_COLD_RUNS, the
runs per reader warm (5; 0 for none) and cold (5; 0 for none).
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

RUNS = {"warm": int(os.environ.get("SUMVANE_BENCH_RUNS", "5")),
        "cold": int(os.environ.get("SUMVANE_BENCH_COLD_RUNS", "5"))}
# On a virtual machine a file read right after the page cache was dropped may
# still come from the host's memory at several times the disk's speed; a few
# seconds later it no longer does. Every cold run starts after this pause, so
# that no reader is favoured by starting sooner than another.
SETTLE_SECONDS = 3
TITLE = "Sumvane  v. 1.3"
PYTHON_PEER = r"""
import sys, zlib
for path in sys.argv[1:]:
    crc = 0
    with open(path, "rb", buffering=0) as f:
        while True:
            block = f.read(131072)
            if not block:
                break
            crc = zlib.crc32(block, crc)
    print("%08X" % crc)
"""
PROGRAM = "sumvane.exe, first percentage to checksum"
PROGRAM_WHOLE = "sumvane.exe, start to checksum"
DD_128K = "dd bs=128k (reads only)"
DD_1M = "dd bs=1M (reads only)"
DD_TWO = "two dd bs=1M, one per half"
DD_TWO_FILES = "two dd bs=1M, two files at a time"
CAT = "cat"


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_output(args, timeout):
    """What a Wine program printed. Its output goes through a file, not a
    pipe: a Wine process may start Wine's own services, which inherit its
    handles and live on, so a pipe would never reach its end."""
    with tempfile.TemporaryFile() as out:
        subprocess.run(["wine"] + args, stdin=subprocess.DEVNULL, stdout=out,
                       stderr=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        return out.read().decode("utf-8", "replace")


def run_program(paths):
    """Seconds from the first percentage of the first file to the checksum of
    the last (as all of them would take at the pace after it) and from the
    start, and the last file's checksum."""
    exe, inspect = os.environ["SUMVANE_EXE"], os.environ["SUMVANE_INSPECT"]
    started = time.time()
    program = subprocess.Popen(["wine", exe] + [wine_path(p) for p in paths],
                               stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        out = wine_output([inspect, "time-row", TITLE, "3", "0", "300000",
                           str(len(paths) - 1)], 320)
    finally:
        wine_output([inspect, "close", TITLE], 30)
        try:
            program.wait(timeout=30)
        except subprocess.TimeoutExpired:
            program.kill()
    fields = dict(f.split("=", 1) for f in out.strip().split("\t")[1:] if "=" in f)
    if "ms" not in fields or float(fields["ms"]) < 0 or "at" not in fields:
        raise RuntimeError("the program did not finish: %r" % out)
    share = int(fields.get("from", "0"))  # the percentage first seen
    if share >= 100:
        raise RuntimeError("no percentage was seen before the checksum: %r" % out)
    total = sum(map(os.path.getsize, paths))
    after = total - os.path.getsize(paths[0]) * share / 100.0
    return {PROGRAM: float(fields["ms"]) / 1000.0 * total / after,
            PROGRAM_WHOLE: float(fields["at"]) - started}, fields.get("crc", "")


def whole_process(name, *commands):
    """Runs the commands at once; seconds until the last has ended, and the
    first one's output."""
    start = time.perf_counter()
    processes = [subprocess.Popen(c, stdout=subprocess.PIPE, text=True) for c in commands]
    outs = [p.communicate()[0] for p in processes]
    seconds = time.perf_counter() - start
    if any(p.returncode != 0 for p in processes):
        raise RuntimeError("%s failed" % name)
    return {name: seconds}, outs[0]


def dd(paths, block, *extra):
    """dd over each file in turn, in one process."""
    return ["sh", "-c", 'for f; do dd if="$f" of=/dev/null bs=%s status=none %s || exit 1; done'
            % (block, " ".join(extra)), "dd"] + list(paths)


def run_dd_128k(paths):
    return whole_process(DD_128K, dd(paths, "128k"))[0], None


def run_dd_1m(paths):
    return whole_process(DD_1M, dd(paths, "1M"))[0], None


def run_dd_two(paths):
    if len(paths) > 1:  # two files at a time
        return whole_process(DD_TWO, dd(paths[0::2], "1M"), dd(paths[1::2], "1M"))[0], None
    half = (os.path.getsize(paths[0]) + (1 << 21) - 1) // (1 << 21)  # MiB, rounded up
    return whole_process(DD_TWO, dd(paths, "1M", "count=%d" % half),
                         dd(paths, "1M", "skip=%d" % half))[0], None


def run_cat(paths):
    return whole_process(CAT, ["sh", "-c", 'cat "$@" >/dev/null', "cat"] + list(paths))[0], None


def run_python(paths):
    name = "Python zlib.crc32, 128 KiB reads"
    times, out = whole_process(name, ["/usr/bin/python3", "-c", PYTHON_PEER] + list(paths))
    return times, out.split()[-1]


def run_7z(paths):
    times, out = whole_process("7z h -scrcCRC32", ["7z", "h", "-scrcCRC32"] + list(paths))
    if len(paths) > 1:  # the last file's own line; "for data" sums them
        # Not from the start of a line: on a slow file, 7z's progress text
        # (with backspaces) can come before it.
        name = re.escape(os.path.basename(paths[-1]))
        match = re.search(r"([0-9A-Fa-f]{8})\s+\d+\s+%s\s*$" % name, out, re.M)
    else:
        match = re.search(r"CRC32\s+for data:\s+([0-9A-Fa-f]{8})", out)
    return times, match.group(1).upper() if match else "?"


def run_rhash(paths):
    times, out = whole_process("rhash --crc32", ["rhash", "--crc32"] + list(paths))
    return times, out.split()[-1].upper()


# Each reader with the rows it fills, in the order of the table.
READERS = [
    (run_program, [PROGRAM, PROGRAM_WHOLE]),
    (run_dd_128k, [DD_128K]),
    (run_dd_1m, [DD_1M]),
    (run_dd_two, [DD_TWO]),
    (run_cat, [CAT]),
    (run_python, ["Python zlib.crc32, 128 KiB reads"]),
    (run_7z, ["7z h -scrcCRC32"]),
    (run_rhash, ["rhash --crc32"]),
]
PLAIN = [DD_128K, DD_1M, DD_TWO, CAT]


def can_drop_cache():
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("1\n")
        return True
    except OSError:
        return False


def drop_cache():
    os.sync()
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("1\n")


def warm_wine():
    """Brings Wine's and the program's own files back into the cache: the
    program starts without files and is closed again."""
    exe, inspect = os.environ["SUMVANE_EXE"], os.environ["SUMVANE_INSPECT"]
    program = subprocess.Popen(["wine", exe], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wine_output([inspect, "wait-window", TITLE, "30000"], 40)
    wine_output([inspect, "close", TITLE], 30)
    program.wait(timeout=30)


def one_run(reader, paths, cold):
    if cold:
        drop_cache()
        warm_wine()
        time.sleep(SETTLE_SECONDS)
    else:
        subprocess.run(["cat"] + paths, stdout=subprocess.DEVNULL, check=True)
    times, crc = reader(paths)
    if len(paths) > 1 and DD_TWO in times:
        times = {DD_TWO_FILES: times.pop(DD_TWO)}
    return times, crc


def main():
    paths = sys.argv[1:]
    size = sum(map(os.path.getsize, paths))
    modes = ["warm"] if RUNS["warm"] > 0 else []
    if RUNS["cold"] > 0 and can_drop_cache():
        modes.append("cold")
    elif RUNS["cold"] > 0:
        print("  (cold runs skipped: the page cache cannot be dropped here; run as root)")
    if not modes:
        return 0
    two = DD_TWO_FILES if len(paths) > 1 else DD_TWO
    plain = [two if p == DD_TWO else p for p in PLAIN]

    readers = [(reader, [two if r == DD_TWO else r for r in rows]) for reader, rows in READERS
               if reader not in (run_7z, run_rhash) or shutil.which(rows[0].split()[0])]
    best = {}
    crcs = set()
    for mode in modes:
        for run in range(RUNS[mode]):
            turn = run % len(readers)
            for reader, _ in readers[turn:] + readers[:turn]:
                times, crc = one_run(reader, paths, mode == "cold")
                if crc is not None:
                    crcs.add(crc)
                for name, seconds in times.items():
                    best[(name, mode)] = min(best.get((name, mode), seconds), seconds)
    rate = {key: size / seconds / 1e9 for key, seconds in best.items()}

    if len(paths) > 1:
        what = "%d files of %.3g MiB, one after another," % (
            len(paths), os.path.getsize(paths[0]) / (1 << 20))
    else:
        what = "a %.3g GiB file," % (size / (1 << 30))
    print("%s best of %s, GB/s (and the share of the fastest plain reader:"
          % (what, " and ".join("%d runs %s" % (RUNS[m], m) for m in modes)))
    print("  dd bs=128k, dd bs=1M, two dd or cat; the program's first row from its first")
    print("  percentage to its last checksum, every other row from the start of its process)")
    print("  %-44s" % "reader" + "".join("%18s" % mode for mode in modes))
    for _, rows in readers:
        for name in rows:
            line = "  %-44s" % name
            for mode in modes:
                fastest = max(rate[(p, mode)] for p in plain)
                line += "%10.2f (%.2fx)" % (rate[(name, mode)], rate[(name, mode)] / fastest)
            print(line)
    for mode in modes:
        # Warm against the faster single dd, cold against every plain reader
        # and against one dd bs=1M.
        peers = plain if mode == "cold" else [DD_128K, DD_1M]
        fastest = max(peers, key=lambda p: rate[(p, mode)])
        line = "  %s: the program from its first percentage reads at %.2fx of %s" % (
            mode, rate[(PROGRAM, mode)] / rate[(fastest, mode)], fastest)
        if fastest != DD_1M:
            line += " (%.2fx of %s)" % (rate[(PROGRAM, mode)] / rate[(DD_1M, mode)], DD_1M)
        print(line)
    agree = len(crcs) == 1
    print("  checksums %s: %s" % ("agree" if agree else "DIFFER", " ".join(sorted(crcs))))
    return 0 if agree else 1


if __name__ == "__main__":
    sys.exit(main())
