"""Times the whole program on one large file beside other CRC-32 readers.

Each reader checksums the same file, warm (the file in the page cache) and
cold (the cache dropped before every run, where this machine allows it), three
runs each; the best run counts. The program is started under Wine with the
file as its parameter and timed as a user sees it, from the first percentage
in its State column to its checksum (sumvane_inspect time-row); the peers are
timed around their own reading. Every reader must report the same checksum.

    program_bench.py FILE

Environment: SUMVANE_EXE, SUMVANE_INSPECT, WINEPREFIX and DISPLAY, as
./dev bench sets them.
"""

import os
import re
import shutil
import subprocess
import sys
import time

RUNS = 3
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


def run_program(path):
    exe, inspect = os.environ["SUMVANE_EXE"], os.environ["SUMVANE_INSPECT"]
    program = subprocess.Popen(["wine", exe, wine_path(path)], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        out = subprocess.run(["wine", inspect, "time-row", TITLE, "3", "0", "300000"],
                             capture_output=True, text=True, timeout=320).stdout
    finally:
        subprocess.run(["wine", inspect, "close", TITLE], capture_output=True, timeout=30)
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


def best_of(reader, path, cold):
    best, crcs = None, set()
    for _ in range(RUNS):
        if cold:
            drop_cache()
        else:
            subprocess.run(["cat", path], stdout=subprocess.DEVNULL, check=True)
        seconds, crc = reader(path)
        if crc is not None:
            crcs.add(crc)
        best = seconds if best is None else min(best, seconds)
    return best, crcs


def main():
    path = sys.argv[1]
    size = os.path.getsize(path)
    modes = [("warm", False)]
    if can_drop_cache():
        modes.append(("cold", True))
    else:
        print("  (cold runs skipped: the page cache cannot be dropped here; run as root)")

    results = {}
    crcs = set()
    for name, reader in READERS:
        if reader not in (run_program, run_dd, run_python) and shutil.which(name.split()[0]) is None:
            continue
        for mode, cold in modes:
            seconds, seen = best_of(reader, path, cold)
            results[(name, mode)] = size / seconds / 1e9
            crcs |= seen

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
