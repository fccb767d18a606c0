"""Times the whole program on one large file beside plain readers and other
CRC-32 readers.

Each reader reads the same file, warm (the file in the page cache) and cold
(the cache dropped before every run, where this machine allows it), in rounds
that take every reader in turn, so that a slow spell of the machine or of its
disk does not fall on one reader alone; the best of five runs of each counts,
warm and cold. The order of the readers turns from round to round.

The program is started under Wine with the file as its parameter and timed
twice (sumvane_inspect time-row): from the first percentage in its State
column to its checksum, as a user watches it, and end to end, from the start
of `wine sumvane.exe` to the checksum. The first figure is the pace of that
stretch: the window shows a percentage only once it gets to it, and the
inspector sees it at its next look, so the first one seen may already be 3
or 20 percent; only the bytes read after it count. Every other reader is timed as a
whole process: dd with 128 KiB and with 1 MiB blocks, two dd with 1 MiB
blocks at once over the two halves of the file (the program reads with two
threads), Python's zlib.crc32 in 128 KiB reads, 7z and rhash.

Before every cold run, the files of Wine and of the program are read back
into the cache (the program starts without files and is closed), since a
cold file is what is measured, not a cold Wine; every reader then starts
after the same pause. Every checksum reader must report the same checksum.

    program_bench.py FILE

Environment: SUMVANE_EXE, SUMVANE_INSPECT, WINEPREFIX and DISPLAY, as
./dev bench sets them; SUMVANE_BENCH_RUNS and SUMVANE_BENCH_COLD_RUNS, the
runs per reader warm (5) and cold (5; 0 for none).
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
crc = 0
with open(sys.argv[1], "rb", buffering=0) as f:
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


def run_program(path):
    """Seconds from the first percentage (as the whole file would take at the
    pace after it) and from the start, and the checksum."""
    exe, inspect = os.environ["SUMVANE_EXE"], os.environ["SUMVANE_INSPECT"]
    started = time.time()
    program = subprocess.Popen(["wine", exe, wine_path(path)], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        out = wine_output([inspect, "time-row", TITLE, "3", "0", "300000"], 320)
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
    return {PROGRAM: float(fields["ms"]) / 1000.0 * 100.0 / (100 - share),
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


def dd(path, block, *extra):
    return ["dd", "if=" + path, "of=/dev/null", "bs=" + block, "status=none"] + list(extra)


def run_dd_128k(path):
    return whole_process(DD_128K, dd(path, "128k"))[0], None


def run_dd_1m(path):
    return whole_process(DD_1M, dd(path, "1M"))[0], None


def run_dd_two(path):
    half = (os.path.getsize(path) + (1 << 21) - 1) // (1 << 21)  # MiB, rounded up
    return whole_process(DD_TWO, dd(path, "1M", "count=%d" % half),
                         dd(path, "1M", "skip=%d" % half))[0], None


def run_python(path):
    name = "Python zlib.crc32, 128 KiB reads"
    times, out = whole_process(name, ["/usr/bin/python3", "-c", PYTHON_PEER, path])
    return times, out.strip()


def run_7z(path):
    times, out = whole_process("7z h -scrcCRC32", ["7z", "h", "-scrcCRC32", path])
    match = re.search(r"CRC32\s+for data:\s+([0-9A-Fa-f]{8})", out)
    return times, match.group(1).upper() if match else "?"


def run_rhash(path):
    times, out = whole_process("rhash --crc32", ["rhash", "--crc32", path])
    return times, out.split()[-1].upper()


# Each reader with the rows it fills, in the order of the table.
READERS = [
    (run_program, [PROGRAM, PROGRAM_WHOLE]),
    (run_dd_128k, [DD_128K]),
    (run_dd_1m, [DD_1M]),
    (run_dd_two, [DD_TWO]),
    (run_python, ["Python zlib.crc32, 128 KiB reads"]),
    (run_7z, ["7z h -scrcCRC32"]),
    (run_rhash, ["rhash --crc32"]),
]
PLAIN = [DD_128K, DD_1M, DD_TWO]


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


def one_run(reader, path, cold):
    if cold:
        drop_cache()
        warm_wine()
        time.sleep(SETTLE_SECONDS)
    else:
        subprocess.run(["cat", path], stdout=subprocess.DEVNULL, check=True)
    return reader(path)


def main():
    path = sys.argv[1]
    size = os.path.getsize(path)
    modes = ["warm"]
    if RUNS["cold"] > 0 and can_drop_cache():
        modes.append("cold")
    elif RUNS["cold"] > 0:
        print("  (cold runs skipped: the page cache cannot be dropped here; run as root)")

    readers = [(reader, rows) for reader, rows in READERS
               if reader not in (run_7z, run_rhash) or shutil.which(rows[0].split()[0])]
    best = {}
    crcs = set()
    for mode in modes:
        for run in range(RUNS[mode]):
            turn = run % len(readers)
            for reader, _ in readers[turn:] + readers[:turn]:
                times, crc = one_run(reader, path, mode == "cold")
                if crc is not None:
                    crcs.add(crc)
                for name, seconds in times.items():
                    best[(name, mode)] = min(best.get((name, mode), seconds), seconds)
    rate = {key: size / seconds / 1e9 for key, seconds in best.items()}

    print("a %.3g GiB file, best of %s, GB/s (and the share of the fastest plain reader:"
          % (size / (1 << 30), " and ".join("%d runs %s" % (RUNS[m], m) for m in modes)))
    print("  dd bs=128k, dd bs=1M or two dd; the program's first row from its first percentage,")
    print("  every other row from the start of its process)")
    print("  %-44s" % "reader" + "".join("%18s" % mode for mode in modes))
    for _, rows in readers:
        for name in rows:
            line = "  %-44s" % name
            for mode in modes:
                fastest = max(rate[(p, mode)] for p in PLAIN)
                line += "%10.2f (%.2fx)" % (rate[(name, mode)], rate[(name, mode)] / fastest)
            print(line)
    for mode in modes:
        # The measure: warm against the faster single dd, cold against
        # all three plain readers.
        peers = PLAIN if mode == "cold" else [DD_128K, DD_1M]
        fastest = max(peers, key=lambda p: rate[(p, mode)])
        print("  %s: the program from its first percentage reads at %.2fx of %s"
              % (mode, rate[(PROGRAM, mode)] / rate[(fastest, mode)], fastest))
    agree = len(crcs) == 1
    print("  checksums %s: %s" % ("agree" if agree else "DIFFER", " ".join(sorted(crcs))))
    return 0 if agree else 1


if __name__ == "__main__":
    sys.exit(main())
