"""Times the whole program on one large file beside other CRC-32 readers.

Each reader checksums the same file, warm (the file in the page cache) and
cold (the cache dropped before every run, where this machine allows it),
three runs each, in rounds that take every reader in turn, so that a slow
spell of the machine or of its disk does not fall on one reader alone; the
best run counts. The program is started under Wine with the file as its
parameter and timed as a user sees it, from the first percentage in its
State column to its checksum (sumvane_inspect time-row); the peers are timed
around their own reading. Before every cold run, the files of Wine and of
the program are read back into the cache (the program starts without files
and is closed), since a cold file is what is measured, not a cold Wine; the
peers get the same, and every reader then starts after the same pause. The
order of the readers turns from round to round. Every reader must report the
same checksum.

    program_bench.py FILE

Environment: SUMVANE_EXE, SUMVANE_INSPECT, WINEPREFIX and DISPLAY, as
./dev bench sets them; SUMVANE_BENCH_RUNS, the runs per reader and mode (3).
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

RUNS = int(os.environ.get("SUMVANE_BENCH_RUNS", "3"))
# On a virtual machine a file read right after the page cache was dropped may
# still come from the host's memory at several times the disk's speed; a few
# seconds later it no longer does. Every cold run starts after this pause, so
# that no reader is favoured by starting sooner than another.
SETTLE_SECONDS = 3
TITLE = "Sumvane  v. 1.3"
PYTHON_PEER = r"""
import sys, time, zlib
start = time.perf_counter()
crc = 0
with open(sys.argv[1], "rb", buffering=0) as f:
    while True:
        block = f.read(131072)
        if not block:
            break
        crc = zlib.crc32(block, crc)
print(time.perf_counter() - start, "%08X" % crc)
"""


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
    exe, inspect = os.environ["SUMVANE_EXE"], os.environ["SUMVANE_INSPECT"]
    program = subprocess.Popen(["wine", exe, wine_path(path)], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        out = wine_output([inspect, "time-row", TITLE, "3", "0", "120000"], 140)
    finally:
        wine_output([inspect, "close", TITLE], 30)
        try:
            program.wait(timeout=30)
        except subprocess.TimeoutExpired:
            program.kill()
    fields = dict(f.split("=", 1) for f in out.strip().split("\t")[1:] if "=" in f)
    if "ms" not in fields or float(fields["ms"]) < 0:
        raise RuntimeError("the program did not finish: %r" % out)
    return float(fields["ms"]) / 1000.0, fields.get("crc", "")


def timed(command):
    start = time.perf_counter()
    out = subprocess.run(command, capture_output=True, text=True, check=True).stdout
    return time.perf_counter() - start, out


def run_dd(path):
    start = time.perf_counter()
    subprocess.run(["dd", "if=" + path, "of=/dev/null", "bs=128k", "status=none"], check=True)
    return time.perf_counter() - start, None


def run_python(path):
    out = subprocess.run(["/usr/bin/python3", "-c", PYTHON_PEER, path], capture_output=True,
                         text=True, check=True).stdout.split()
    return float(out[0]), out[1]


def run_7z(path):
    seconds, out = timed(["7z", "h", "-scrcCRC32", path])
    match = re.search(r"CRC32\s+for data:\s+([0-9A-Fa-f]{8})", out)
    return seconds, match.group(1).upper() if match else "?"


def run_rhash(path):
    seconds, out = timed(["rhash", "--crc32", path])
    return seconds, out.split()[-1].upper()


READERS = [
    ("sumvane.exe under Wine", run_program),
    ("dd bs=128k (reads only)", run_dd),
    ("Python zlib.crc32, 128 KiB reads", run_python),
    ("7z h -scrcCRC32", run_7z),
    ("rhash --crc32", run_rhash),
]


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
    modes = [("warm", False)]
    if can_drop_cache():
        modes.append(("cold", True))
    else:
        print("  (cold runs skipped: the page cache cannot be dropped here; run as root)")

    readers = [(name, reader) for name, reader in READERS
               if reader in (run_program, run_dd, run_python) or shutil.which(name.split()[0])]
    best = {}
    crcs = set()
    for mode, cold in modes:
        for run in range(RUNS):
            turn = run % len(readers)
            for name, reader in readers[turn:] + readers[:turn]:
                seconds, crc = one_run(reader, path, cold)
                if crc is not None:
                    crcs.add(crc)
                key = (name, mode)
                best[key] = min(best.get(key, seconds), seconds)
    results = {key: size / seconds / 1e9 for key, seconds in best.items()}

    print("a %.3g GiB file, best of %d runs, GB/s (and the share of dd's speed)"
          % (size / (1 << 30), RUNS))
    header = "  %-34s" % "reader" + "".join("%18s" % mode for mode, _ in modes)
    print(header)
    for name, _ in READERS:
        if (name, "warm") not in results:
            continue
        line = "  %-34s" % name
        for mode, _ in modes:
            rate = results[(name, mode)]
            dd = results[("dd bs=128k (reads only)", mode)]
            line += "%10.2f (%.2fx)" % (rate, rate / dd)
        print(line)
    agree = len(crcs) == 1
    print("  checksums %s: %s" % ("agree" if agree else "DIFFER", " ".join(sorted(crcs))))
    return 0 if agree else 1


if __name__ == "__main__":
    sys.exit(main())
