"""Runs the program once without a person at the screen, for `./dev run` on a
machine without a display: starts it with the given files (or a small demo
set), waits until every row has its verdict, prints the list as text, saves
a screenshot and closes the program.

Usage: run_program.py --exe EXE --out DIR [--title TITLE] [FILE...]
Needs DISPLAY, WINEPREFIX and SUMVANE_INSPECT (run_program.sh sets them).
"""

import argparse
import os
import subprocess
import sys
import time

import sumvane_e2e as e2e

TITLE = "Sumvane  v. 1.3"
LIST_ID = 3
# Long enough for a few large files at the program's pace; every wait is bounded.
FINISH_TIMEOUT = 300.0


def make_demo_files(folder):
    """Three small files; one already carries its checksum in its name."""
    os.makedirs(folder, exist_ok=True)
    files = {
        "hello.txt": b"Hello, world\r\n",
        "numbers.txt": b"123456789",
        "numbers [CBF43926].txt": b"123456789",
    }
    paths = []
    for name, data in files.items():
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    return paths


def finished(state):
    return state != b"Waiting" and not state.endswith(b"%")


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--title", default=TITLE)
    parser.add_argument("files", nargs="*")
    args = parser.parse_args(argv)

    os.makedirs(args.out, exist_ok=True)
    files = args.files or make_demo_files(os.path.join(args.out, "demo"))
    params = [e2e.wine_path(f) if os.path.exists(f) else f for f in files]
    inspector = e2e.Inspector()
    log_path = os.path.join(args.out, "run.log")
    with open(log_path, "wb") as log:
        program = subprocess.Popen(
            ["wine", args.exe] + params,
            stdin=subprocess.DEVNULL,
            stdout=log,
            stderr=subprocess.STDOUT,
            start_new_session=True,
        )
    try:
        inspector.wait_window(args.title, timeout=30)
        deadline = time.monotonic() + FINISH_TIMEOUT
        while True:
            view = inspector.list_view(args.title, LIST_ID)
            # The worker writes the verdict first and the checksum right
            # after it; a row is done when both are there.
            if all(len(r.cells) > 2 and finished(r.cells[2])
                   and (r.cells[1] or r.cells[2] == b"ReadError") for r in view.rows):
                break
            if time.monotonic() > deadline:
                print("some checksums did not finish in time", file=sys.stderr)
                break
            time.sleep(0.25)
        print("\t".join(c.text.decode(e2e.program_codepage(), "replace") for c in view.columns))
        for row in view.rows:
            print("\t".join(cell.decode(e2e.program_codepage(), "replace") for cell in row.cells))
        # The pointer goes out of the way first, so that the list's tip does
        # not cover the window; the screenshot is cut to the window.
        e2e.move_to(1, 1)
        time.sleep(0.5)
        shot = os.path.join(args.out, "run-screenshot.png")
        if e2e.screenshot(shot):
            window = inspector.window(args.title)
            if window is not None:
                r = window.rect
                geometry = "%dx%d+%d+%d" % (r.right - r.left, r.bottom - r.top, r.left, r.top)
                e2e.run_tool(["convert", shot, "-crop", geometry, "+repage", shot],
                             timeout=20, check=False)
            print("screenshot: %s" % shot, file=sys.stderr)
        inspector.close(args.title)
        code = program.wait(timeout=15)
        print("exit code: %d" % code, file=sys.stderr)
        return 0
    except (AssertionError, subprocess.TimeoutExpired) as exc:
        print("run_program: %s (log: %s)" % (exc, log_path), file=sys.stderr)
        return 1
    finally:
        if program.poll() is None:
            os.killpg(program.pid, 9)
            program.wait()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
