"""Helpers for end-to-end suites that drive a Win32 program under Wine in Xvfb.

A suite subclasses WineTestCase. Each test starts the program with
self.start(...), drives it with real X input (xdotool) and real XDND drops,
and reads what a user would see through sumvane_inspect.exe: windows,
controls, list rows, tooltips, message boxes and the clipboard's exact bytes.

Every wait is bounded. When a test fails, a screenshot, a list of the open
windows and the logs of the programs it started are saved under
$SUMVANE_E2E_ARTIFACTS/<test id>/ before anything is cleaned up. After every
test, each program it started is ended (by pid; `wineserver -k` is the last
resort), so no instance leaks into the next test.

Environment (set by ./dev test and the ctest registration):
    DISPLAY, WINEPREFIX          the X display and the private Wine prefix
    SUMVANE_INSPECT              path of sumvane_inspect.exe
    SUMVANE_E2E_FIXTURE          path of the fixture window (tool tests)
    SUMVANE_EXE                  path of the program under test, if built
    SUMVANE_E2E_ARTIFACTS        where failures leave their evidence
    SUMVANE_E2E_WORK             where tests make their files
    SUMVANE_WIN_ARCH             the build whose tests run: i686 or x86_64
    SUMVANE_RUNS_32BIT           1 where this machine runs 32-bit code, else 0,
    SUMVANE_NO_32BIT_WHY           with what was seen
    SUMVANE_EXE_I686,            the program of each build
    SUMVANE_EXE_X86_64
"""

import dataclasses
import functools
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import types
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SYSTEM_PYTHON = "/usr/bin/python3"
XDND_DROP = os.path.join(HERE, "xdnd_drop.py")

DEFAULT_TIMEOUT = 10.0
POLL_INTERVAL = 0.05
# xdotool's double click: two clicks 80 ms apart arrive as a Win32 double click.
DOUBLE_CLICK_DELAY_MS = 80
KEY_DELAY_MS = 30


# ---------------------------------------------------------------------------
# Small utilities


def wait_until(predicate, timeout=DEFAULT_TIMEOUT, interval=POLL_INTERVAL, message="condition"):
    """Calls predicate until it returns a true value and returns that value.
    Raises AssertionError after timeout seconds, naming the last value seen."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = predicate()
        if last:
            return last
        if time.monotonic() >= deadline:
            raise AssertionError(
                "timed out after %.1f s waiting for %s (last: %r)" % (timeout, message, last)
            )
        time.sleep(interval)


def crc32_hex(data):
    """The CRC-32 of bytes, or of a file's contents when given a path, as eight
    upper-case hexadecimal digits, as the program shows it."""
    if isinstance(data, (str, os.PathLike)):
        crc = 0
        with open(data, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                crc = zlib.crc32(block, crc)
    else:
        crc = zlib.crc32(data)
    return "%08X" % (crc & 0xFFFFFFFF)


def pe_machine(exe):
    """The build a Windows program is of, from its PE header: "i686" or
    "x86_64"."""
    with open(exe, "rb") as f:
        header = f.read(4096)
    (pe,) = struct.unpack_from("<I", header, 0x3C)
    if header[pe : pe + 4] != b"PE\0\0":
        raise AssertionError("%s is not a PE program" % exe)
    (machine,) = struct.unpack_from("<H", header, pe + 4)
    return {0x14C: "i686", 0x8664: "x86_64"}[machine]


def wine_path(path):
    """The Windows path under which Wine's drive Z: shows a Unix path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


@functools.lru_cache(maxsize=None)
def program_codepage():
    """The Python codec of the program's ANSI code page. The inspector carries
    the program's manifest, so the code page it runs with is the program's:
    UTF-8 where Wine honours the manifest, else the prefix's (cp1252)."""
    _, records, _ = Inspector().run("codepage")
    acp = int(records[0][1]["acp"])
    return "utf-8" if acp == 65001 else "cp%d" % acp


def ansi(text, codepage=None):
    """text as the bytes the program holds for it: in its code page, unless
    another is named."""
    return text.encode(codepage or program_codepage())


def wine_path_bytes(path, codepage=None):
    """wine_path as the ANSI bytes a program receives: in the program's code
    page, unless another is named (the fixture window has no manifest and
    runs with the prefix's cp1252)."""
    return ansi(wine_path(path), codepage)


# ---------------------------------------------------------------------------
# The inspector's line format

_ESCAPE = re.compile(rb"\\(\\|t|r|n|x[0-9A-Fa-f]{2})")
_SIMPLE = {b"\\": b"\\", b"t": b"\t", b"r": b"\r", b"n": b"\n"}


def unescape(text):
    """Decodes the inspector's escapes into the exact bytes."""
    if isinstance(text, str):
        text = text.encode("ascii")

    def one(match):
        code = match.group(1)
        return _SIMPLE[code] if code in _SIMPLE else bytes([int(code[1:], 16)])

    return _ESCAPE.sub(one, text)


def escape(data):
    """Encodes bytes (or a str, in the program's code page, which is the
    inspector's too) for a text argument of the inspector.
    Only printable ASCII goes through as itself, so the command line's code
    page conversions cannot touch the bytes."""
    if isinstance(data, str):
        data = ansi(data)
    out = []
    for b in data:
        c = chr(b)
        if c == "\\":
            out.append("\\\\")
        elif 0x20 <= b < 0x7F and c not in "\"=":
            out.append(c)
        else:
            out.append("\\x%02X" % b)
    return "".join(out)


def parse_records(output):
    """Splits the inspector's output into (kind, {key: raw bytes}) pairs."""
    records = []
    for line in output.split(b"\n"):
        line = line.rstrip(b"\r")
        if not line:
            continue
        kind, *fields = line.split(b"\t")
        values = {}
        for field in fields:
            key, _, value = field.partition(b"=")
            values[key.decode("ascii")] = value
        records.append((kind.decode("ascii"), values))
    return records


@dataclasses.dataclass(frozen=True)
class Rect:
    left: int
    top: int
    right: int
    bottom: int

    @property
    def width(self):
        return self.right - self.left

    @property
    def height(self):
        return self.bottom - self.top

    @property
    def center(self):
        return ((self.left + self.right) // 2, (self.top + self.bottom) // 2)

    def contains(self, x, y):
        return self.left <= x < self.right and self.top <= y < self.bottom


def _int(raw):
    return int(raw, 0)


def _pair(raw):
    a, b = raw.split(b",")
    return (int(a), int(b))


def _rect(raw):
    return Rect(*(int(v) for v in raw.split(b",")))


@dataclasses.dataclass
class Window:
    hwnd: int
    pid: int  # the Windows process id (not the Unix one)
    tid: int
    visible: bool
    enabled: bool
    style: int
    exstyle: int
    rect: Rect  # screen coordinates, frame included
    client_size: tuple
    origin: tuple  # the client area's top left corner on the screen
    owner: int
    class_name: str
    title: bytes

    @classmethod
    def from_record(cls, v):
        return cls(
            hwnd=_int(v["hwnd"]),
            pid=int(v["pid"]),
            tid=int(v["tid"]),
            visible=v["visible"] == b"1",
            enabled=v["enabled"] == b"1",
            style=_int(v["style"]),
            exstyle=_int(v["exstyle"]),
            rect=_rect(v["rect"]),
            client_size=_pair(v["client"]),
            origin=_pair(v["origin"]),
            owner=_int(v["owner"]),
            class_name=unescape(v["class"]).decode("cp1252"),
            title=unescape(v["title"]),
        )

    def client_to_screen(self, x, y):
        return (self.origin[0] + x, self.origin[1] + y)


@dataclasses.dataclass
class Control:
    hwnd: int
    id: int
    parent: int
    visible: bool
    enabled: bool
    style: int
    exstyle: int
    rect: Rect  # screen coordinates
    class_name: str
    text: bytes

    @classmethod
    def from_record(cls, v):
        return cls(
            hwnd=_int(v["hwnd"]),
            id=int(v["id"]),
            parent=_int(v["parent"]),
            visible=v["visible"] == b"1",
            enabled=v["enabled"] == b"1",
            style=_int(v["style"]),
            exstyle=_int(v["exstyle"]),
            rect=_rect(v["rect"]),
            class_name=unescape(v["class"]).decode("cp1252"),
            text=unescape(v["text"]),
        )


@dataclasses.dataclass
class Column:
    index: int
    width: int
    fmt: int
    text: bytes


@dataclasses.dataclass
class Row:
    index: int
    selected: bool
    focused: bool
    rect: Rect  # the whole row, screen coordinates
    cells: list  # bytes per column


@dataclasses.dataclass
class ListView:
    hwnd: int
    id: int
    selected: int  # -1 when no row is selected
    style: int
    ex_style: int  # LVS_EX_* bits
    rect: Rect
    header: Rect
    columns: list
    rows: list

    @property
    def cells(self):
        """Every row's cells, as a list of lists of bytes."""
        return [row.cells for row in self.rows]


@dataclasses.dataclass
class Tool:
    flags: int
    hwnd: int
    id: int
    text: bytes


@dataclasses.dataclass
class Tooltip:
    hwnd: int
    owner: int
    visible: bool
    rect: Rect
    max_width: int
    initial_delay: int
    title: bytes
    title_source: str  # "message", "memory" (Wine 8) or "none"
    shown: bytes  # the text of the tip last shown, empty if none was
    tools: list


@dataclasses.dataclass
class MessageBox:
    window: Window
    controls: list

    @property
    def title(self):
        return self.window.title

    @property
    def texts(self):
        """The non-empty texts of its Static controls, in window order."""
        return [c.text for c in self.controls if c.class_name.lower() == "static" and c.text]

    @property
    def text(self):
        return b"\n".join(self.texts)

    @property
    def buttons(self):
        return [c.text for c in self.controls if c.class_name.lower() == "button"]


class InspectorError(AssertionError):
    pass


# Inspector commands that change nothing, so that running one again is safe.
LOOKING_COMMANDS = frozenset(
    "windows window controls rows tooltips wait-window wait-gone clip-get handles version "
    "manifest codepage modules".split()
)
WINE_START_RETRIES = 2
# What the harness's Wine processes report: Wine's own errors only, so that a
# process Wine ends at its start says why in its log or on stderr.
WINE_DEBUG = "-all,err+all"


def wine_env():
    """The environment of a Wine process the harness starts: Wine's errors on,
    unless someone asked for other diagnostics."""
    env = dict(os.environ)
    if env.get("WINEDEBUG", "-all") == "-all":
        env["WINEDEBUG"] = WINE_DEBUG
    return env


def only_wine_errors(output):
    """Whether every line of a program's output is one of Wine's diagnostics
    ("0024:err:winediag:...", "wine: ..."), or there is none."""
    return all(
        re.match(rb"^([0-9a-f]+:(err|fixme|warn|trace):|wine: )", line)
        for line in output.splitlines()
        if line.strip()
    )


def note_wine_failure(what, output, attempt):
    print(
        "%s: Wine ended the process with exit 1 (attempt %d)%s"
        % (what, attempt + 1, ": " + output[-2000:] if output else ", saying nothing"),
        file=sys.stderr,
    )


class Inspector:
    """Runs sumvane_inspect.exe under the same wineserver as the program."""

    def __init__(self, exe=None, timeout=DEFAULT_TIMEOUT):
        self.exe = exe or os.environ.get("SUMVANE_INSPECT")
        if not self.exe or not os.path.exists(self.exe):
            raise InspectorError("sumvane_inspect.exe not found (SUMVANE_INSPECT=%r)" % self.exe)
        self.timeout = timeout

    def run(self, *args, check=True, timeout=None):
        """Returns (exit code, records, stderr text). With check, a non-zero
        exit code raises InspectorError.

        The inspector explains every failure of its own on stderr. Exit code 1
        with no such line means that Wine ended the process under it (Wine
        does so, and says why only in its diagnostics, when for instance a
        thread cannot open the X display); a command that only looks is then
        run again."""
        for attempt in range(1 + WINE_START_RETRIES):
            code, records, err = self._run_once(args, timeout)
            if code != 1 or "sumvane_inspect:" in err or args[0] not in LOOKING_COMMANDS:
                break
            note_wine_failure("sumvane_inspect %s" % args[0], err, attempt)
        if check and code != 0:
            raise InspectorError(
                "sumvane_inspect %s: exit %d: %s" % (" ".join(map(str, args)), code, err)
            )
        return code, records, err

    def _run_once(self, args, timeout):
        cmd = ["wine", self.exe] + [str(a) for a in args]
        # Output goes to files, not pipes: a Wine process may start the
        # desktop process (explorer.exe), which inherits its output handles
        # and lives on; a pipe would then never reach its end.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err_file:
            proc = subprocess.Popen(
                cmd, stdin=subprocess.DEVNULL, stdout=out, stderr=err_file,
                start_new_session=True, env=wine_env(),
            )  # fmt: skip
            try:
                code = proc.wait(timeout=(timeout or self.timeout) + 5)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
                raise InspectorError("sumvane_inspect %s did not finish" % " ".join(cmd[2:]))
            out.seek(0)
            err_file.seek(0)
            output = out.read()
            err = err_file.read().decode("utf-8", "replace").strip()
        return code, parse_records(output), err

    @staticmethod
    def _query(title=None, pid=None, class_name=None, visible=False):
        args = []
        if pid is not None:
            args += ["--pid", str(pid)]
        if class_name is not None:
            args += ["--class", escape(class_name)]
        if visible:
            args.append("--visible")
        if title is not None:
            args.append(escape(title))
        return args

    def windows(self, title=None, pid=None, class_name=None, visible=False):
        """All top-level windows that match, as Window objects."""
        _, records, _ = self.run("windows", *self._query(title, pid, class_name, visible))
        return [Window.from_record(v) for k, v in records if k == "window"]

    def window(self, title, pid=None, class_name=None, visible=False):
        """The window with this exact title, or None."""
        code, records, _ = self.run(
            "window", *self._query(title, pid, class_name, visible), check=False
        )
        if code != 0:
            return None
        return Window.from_record(records[0][1])

    def wait_window(self, title, timeout=DEFAULT_TIMEOUT, pid=None, class_name=None):
        """Waits until a visible window with this title exists; returns it."""
        code, records, err = self.run(
            "wait-window",
            *self._query(title, pid, class_name, True),
            int(timeout * 1000),
            check=False,
            timeout=timeout,
        )
        if code != 0:
            raise InspectorError("window %r did not appear within %.1f s" % (title, timeout))
        return Window.from_record(records[0][1])

    def wait_window_gone(self, title, timeout=DEFAULT_TIMEOUT, pid=None, class_name=None):
        code, _, _ = self.run(
            "wait-gone",
            *self._query(title, pid, class_name),
            int(timeout * 1000),
            check=False,
            timeout=timeout,
        )
        if code != 0:
            raise InspectorError("window %r still there after %.1f s" % (title, timeout))

    def controls(self, title, pid=None, class_name=None):
        """(the Window, its child controls in enumeration order)."""
        _, records, _ = self.run("controls", *self._query(title, pid, class_name))
        window = Window.from_record(records[0][1])
        return window, [Control.from_record(v) for k, v in records if k == "control"]

    def list_view(self, title, control_id, pid=None):
        """Columns, rows (cells as exact bytes), selection and geometry of the
        list view control_id in the window with this title."""
        # A message per cell: while the worker goes through many small files,
        # each waits for the window to finish painting, and a list of 800
        # rows took 6 to 8 s to read on an idle machine.
        _, records, _ = self.run("rows", *self._query(title, pid), control_id,
                                 timeout=max(self.timeout, 60))
        head = records[0][1]
        columns = [
            Column(int(v["index"]), int(v["width"]), int(v["fmt"]), unescape(v["text"]))
            for k, v in records
            if k == "column"
        ]
        rows = []
        for k, v in records:
            if k != "row":
                continue
            n = 0
            cells = []
            while "col%d" % n in v:
                cells.append(unescape(v["col%d" % n]))
                n += 1
            rows.append(
                Row(
                    int(v["index"]),
                    v["selected"] == b"1",
                    v["focused"] == b"1",
                    _rect(v["rect"]),
                    cells,
                )
            )
        return ListView(
            hwnd=_int(head["hwnd"]),
            id=int(head["id"]),
            selected=int(head["selected"]),
            style=_int(head["style"]),
            ex_style=_int(head["lvexstyle"]),
            rect=_rect(head["rect"]),
            header=_rect(head["header"]),
            columns=columns,
            rows=rows,
        )

    def tooltips(self, title=None, pid=None):
        """The tooltip windows of the process that owns the window with this
        title (or of process pid), with their tools."""
        args = ["tooltips"] + self._query(title, pid)
        _, records, _ = self.run(*args)
        tips = []
        for kind, v in records:
            if kind == "tooltip":
                tips.append(
                    Tooltip(
                        hwnd=_int(v["hwnd"]),
                        owner=_int(v["owner"]),
                        visible=v["visible"] == b"1",
                        rect=_rect(v["rect"]),
                        max_width=int(v["maxwidth"]),
                        initial_delay=int(v["initial"]),
                        title=unescape(v["title"]),
                        title_source=v["titlesource"].decode("ascii"),
                        shown=unescape(v["shown"]),
                        tools=[],
                    )
                )
            elif kind == "tool" and tips:
                tips[-1].tools.append(
                    Tool(
                        _int(v["flags"]), _int(v["hwnd"]), _int(v["id"]), unescape(v["text"])
                    )
                )
        return tips

    def message_box(self, title, pid=None, timeout=DEFAULT_TIMEOUT):
        """Waits for a dialog (class #32770) with this title and returns its
        texts and buttons."""
        window = self.wait_window(title, timeout, pid=pid, class_name="#32770")
        _, controls = self.controls(title, pid=window.pid, class_name="#32770")
        return MessageBox(window, controls)

    def close(self, title, pid=None):
        """Posts WM_CLOSE to the window, as the close box does."""
        self.run("close", *self._query(title, pid))

    def terminate(self, pid, exit_code=1):
        """Ends a process by its Windows pid; False if there is none."""
        code, _, _ = self.run("terminate", "--pid", pid, exit_code, check=False)
        return code == 0

    def handle_count(self, pid):
        """How many handles the process with this Windows pid holds."""
        _, records, _ = self.run("handles", "--pid", pid)
        return _int(records[0][1]["count"])

    def send(self, title, *messages, text=None, size=0, timeout=DEFAULT_TIMEOUT):
        """Sends window messages to the window with this title, in order, as
        another program would; each message is (message, wparam, lparam).
        A value may be "pid" (the inspector's process id), "addr" (where
        `text` lies in the inspector's memory, followed by zero bytes up to
        `size`) or "len" (the length of that area), so the inspector can play
        the part of a second instance. Each message waits at most timeout
        seconds; returns the answers, None for a message that got none in
        time."""
        args = ["send", "--timeout", int(timeout * 1000), "--size", int(size)]
        if text is not None:
            args += ["--text", escape(text)]
        args += self._query(title)
        for message in messages:
            args += [str(v) for v in message]
        _, records, _ = self.run(*args, timeout=timeout * len(messages) + 5)
        return [
            int(v["result"]) if v["answered"] == b"1" else None
            for k, v in records
            if k == "answer"
        ]

    # --- clipboard ---

    def clipboard_state(self):
        """(CF_TEXT bytes or None when there is no text, sequence number)."""
        _, records, _ = self.run("clip-get")
        v = records[0][1]
        text = unescape(v["text"]) if v["present"] == b"1" else None
        return text, int(v["sequence"])

    def clipboard(self):
        """The exact bytes of CF_TEXT (CR/LF kept), or None."""
        return self.clipboard_state()[0]

    def set_clipboard(self, data):
        self.run("clip-set", escape(data))

    def wait_clipboard(self, data, timeout=DEFAULT_TIMEOUT):
        """Waits until CF_TEXT holds exactly data; returns True, or False with
        the clipboard still different at the timeout."""
        code, _, _ = self.run(
            "clip-wait", escape(data), int(timeout * 1000), check=False, timeout=timeout
        )
        return code == 0


class BackgroundInspector:
    """Runs one lasting inspector command (e.g. "watch" or "hold") for as long
    as it is open; it opens once the command has said "ready". Its output is
    in .output afterwards."""

    def __init__(self, inspector, args, what):
        self.inspector = inspector
        self.args = [str(a) for a in args]
        self.what = what
        self.output = b""
        self._proc = None
        self._path = None

    def _output(self):
        with open(self._path, "rb") as f:  # its own offset, apart from the writer's
            return f.read()

    def __enter__(self):
        fd, self._path = tempfile.mkstemp(prefix="sumvane-%s-" % self.args[0])
        try:
            self._proc = subprocess.Popen(
                ["wine", self.inspector.exe] + self.args,
                stdin=subprocess.DEVNULL,
                stdout=fd,
                stderr=subprocess.DEVNULL,
                start_new_session=True,
            )
        finally:
            os.close(fd)
        try:
            wait_until(lambda: b"ready" in self._output() or self._proc.poll() is not None,
                       message="%s to start" % self.what)
            if b"ready" not in self._output():
                raise InspectorError("%s ended at once" % self.what)
        except BaseException:
            self._stop()
            raise
        return self

    def _stop(self):
        if self._proc.poll() is None:
            try:
                os.killpg(self._proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self._proc.wait(timeout=10)
        output = self._output()
        os.unlink(self._path)
        return output

    def __exit__(self, *exc):
        self.output = self._stop()
        return False


class WindowWatch(BackgroundInspector):
    """Records the top-level windows that appear while it is open (with
    visible: those that are shown), e.g. to prove that a program started and
    ended without ever showing a window. It polls every 5 ms, so a window
    shown for less than that can slip through.

        with WindowWatch(inspector) as watch:
            ...
        watch.windows  # Window objects, in the order they appeared
    """

    def __init__(self, inspector, title=None, pid=None, class_name=None, visible=True,
                 max_seconds=120):
        query = Inspector._query(title, pid, class_name, visible)
        super().__init__(inspector, ["watch"] + query + [int(max_seconds * 1000)],
                         "the window watch")
        self.windows = []

    def __exit__(self, *exc):
        super().__exit__(*exc)
        self.windows = [
            Window.from_record(v) for k, v in parse_records(self.output) if k == "window"
        ]
        return False


class CountWatch(BackgroundInspector):
    """The row count of a list view, looked at every 10 ms while it is open,
    or until it holds `rows` rows or more (none, when rows is 0). Afterwards
    .counts holds (Unix time, rows) of the first look and of every change,
    and .reached the moment the count was reached, or None."""

    def __init__(self, inspector, title, rows=None, max_seconds=120, control_id=None):
        args = ["count-watch", escape(title), control_id or LIST_ID, int(max_seconds * 1000)]
        super().__init__(inspector, args + ([] if rows is None else [rows]), "the count watch")
        self.max_seconds = max_seconds

    def seen(self, rows):
        """Whether a look so far found exactly `rows` rows."""
        return b"\trows=%d\n" % rows in self._output()

    def wait(self, timeout=None):
        """Waits until the watch has ended by itself, at most timeout seconds."""
        try:
            self._proc.wait(timeout=self.max_seconds + 10 if timeout is None else max(0.1, timeout))
        except subprocess.TimeoutExpired:
            pass

    def __exit__(self, *exc):
        super().__exit__(*exc)
        records = parse_records(self.output)
        self.counts = [(float(v["at"]), int(v["rows"])) for k, v in records if k == "count"]
        ends = [v for k, v in records if k == "end"]
        self.reached = self.counts[-1][0] if ends and ends[0]["reached"] == b"1" else None
        return False


class FileHold(BackgroundInspector):
    """Holds files (Unix paths) open in a Windows process while it is open,
    sharing only reading, as another program that has them open would: they
    can still be read, but renaming them is refused. With write, they are
    held open for writing, and no program that shares only reading (as the
    checksum worker does) can open them."""

    def __init__(self, inspector, paths, max_seconds=120, write=False):
        args = ["hold"] + (["--write"] if write else [])
        args += [escape(wine_path(p)) for p in paths] + [int(max_seconds * 1000)]
        super().__init__(inspector, args, "the file hold")


# ---------------------------------------------------------------------------
# X input


def run_tool(args, timeout=DEFAULT_TIMEOUT, check=True):
    done = subprocess.run(
        args, stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout
    )
    if check and done.returncode != 0:
        raise AssertionError(
            "%s failed (exit %d): %s"
            % (" ".join(map(str, args)), done.returncode, done.stderr.decode(errors="replace"))
        )
    return done


def xdotool(*args, timeout=DEFAULT_TIMEOUT):
    return run_tool(["xdotool"] + [str(a) for a in args], timeout=timeout)


# Pointer moves go without --sync: xdotool waits forever when the pointer is
# already there, and the X server delivers the move before a later click
# anyway.
def move_to(x, y):
    xdotool("mousemove", x, y)


# Win32 makes two clicks of one button within the double-click time (500 ms)
# and a few pixels of each other a double click, even with a popup menu in
# between. A single click that would merge with the previous one waits.
DOUBLE_CLICK_TIME = 0.55
DOUBLE_CLICK_DISTANCE = 4
_last_click = (0.0, -100, -100, 0)


def click_at(x, y, button=1, double=False):
    """Moves the pointer to the screen position and clicks; double gives a
    double click that Win32 sees as one (NM_DBLCLK). A single click never
    turns the previous click into a double click."""
    global _last_click
    when, lx, ly, lbutton = _last_click
    near = abs(x - lx) <= DOUBLE_CLICK_DISTANCE and abs(y - ly) <= DOUBLE_CLICK_DISTANCE
    if button == lbutton and near:
        time.sleep(max(0.0, DOUBLE_CLICK_TIME - (time.monotonic() - when)))
    if double:
        xdotool(
            "mousemove", x, y,
            "click", "--repeat", 2, "--delay", DOUBLE_CLICK_DELAY_MS, button,
        )  # fmt: skip
    else:
        xdotool("mousemove", x, y, "click", button)
    _last_click = (time.monotonic(), x, y, button)


def key(*keys, at=None):
    """Presses keys (xdotool key names, e.g. "Down", "Return", "ctrl+c").
    Keys reach a Wine window only while the pointer is over one of the
    program's windows, so give at=(x, y) when the pointer may be elsewhere."""
    if at is not None:
        move_to(*at)
    xdotool("key", "--delay", KEY_DELAY_MS, *keys)


def type_text(text, at=None):
    """Types text as key presses, with the same pointer rule as key()."""
    if at is not None:
        move_to(*at)
    xdotool("type", "--delay", KEY_DELAY_MS, "--", text)


def screenshot(path, region=None):
    """Saves the whole X screen as PNG, or only region (a Rect in screen
    coordinates); returns True on success."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    crop = []
    if region is not None:
        geometry = "%dx%d+%d+%d" % (region.width, region.height, region.left, region.top)
        crop = ["-crop", geometry, "+repage"]
    try:
        done = run_tool(["import", "-window", "root"] + crop + [path], timeout=20, check=False)
    except subprocess.TimeoutExpired:
        return False
    return done.returncode == 0 and os.path.exists(path)


def x_clipboard(timeout=2.0):
    """What X clients get from the clipboard selection (Wine turns CR/LF into
    LF on export), or None."""
    try:
        done = run_tool(
            ["xclip", "-o", "-selection", "clipboard"], timeout=timeout, check=False
        )
    except subprocess.TimeoutExpired:
        return None
    return done.stdout if done.returncode == 0 else None


def drop_files(paths, at=None, window=None, timeout=DEFAULT_TIMEOUT):
    """Drops Unix paths with a real XDND drag on the window under the screen
    position at=(x, y), or on the X window id `window`. Returns the exit code
    of xdnd_drop.py: 0 accepted and finished, 1 timed out, 2 no target,
    3 refused."""
    args = [SYSTEM_PYTHON, XDND_DROP, "--timeout", str(timeout)]
    if window is not None:
        args += ["--window", str(window)]
    if at is not None:
        args += ["--at", str(at[0]), str(at[1])]
    done = run_tool(args + ["--"] + [os.fspath(p) for p in paths], timeout=timeout + 5,
                    check=False)
    return done.returncode


# ---------------------------------------------------------------------------
# Wine processes


def restart_wine_detached():
    """Kills the wineserver and starts a new one the way ./dev test does:
    detached, so that no test's output pipe is handed to it."""
    print("restarting the wineserver", file=sys.stderr)
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-k"], timeout=30, **quiet)
    subprocess.run(["wineserver", "-w"], timeout=30, **quiet)
    subprocess.run(["wineserver", "-p"], timeout=30, **quiet)
    subprocess.run(["wine", "wineboot"], timeout=60, **quiet)


class Program:
    """One program started under wine by WineTestCase.start."""

    def __init__(self, popen, exe, args, log_path):
        self.popen = popen
        self.exe = exe
        self.args = args
        self.log_path = log_path
        self.window = None  # the Window it opened, when start() waited for one

    @property
    def unix_pid(self):
        return self.popen.pid

    @property
    def win_pid(self):
        return self.window.pid if self.window else None

    def running(self):
        return self.popen.poll() is None

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        """The program's exit code (what Win32 passed to ExitProcess, modulo
        256); raises AssertionError if it is still running after timeout."""
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("%s still running after %.1f s" % (self.exe, timeout))

    def log(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read()
        except OSError:
            return b""

    def kill(self):
        """Ends the program and everything in its process group at once."""
        if self.popen.poll() is None:
            try:
                os.killpg(self.popen.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        try:
            self.popen.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass


# ctest passes folders in the build tree; run by hand, the suites use /tmp.
def _artifact_root():
    default = os.path.join(tempfile.gettempdir(), "sumvane-e2e", "artifacts")
    return os.environ.get("SUMVANE_E2E_ARTIFACTS") or default


def _work_root():
    default = os.path.join(tempfile.gettempdir(), "sumvane-e2e", "work")
    return os.environ.get("SUMVANE_E2E_WORK") or default


def _safe_name(text):
    return re.sub(r"[^A-Za-z0-9_.-]+", "_", text)


class WineTestCase(unittest.TestCase):
    """Base class for suites that drive Wine programs.

    Per test: self.work is a fresh folder for the test's files, self.inspector
    the inspector; programs started with self.start() are ended afterwards.
    A failure saves the evidence first (see save_failure_artifacts)."""

    timeout = DEFAULT_TIMEOUT

    def __init__(self, methodName="runTest"):
        super().__init__(methodName)
        # Wraps the test method so that a failure saves its evidence while
        # the program is still on the screen, before cleanup ends it.
        # It stays a bound method, as unittest's loader expects.
        method = getattr(type(self), methodName, None)
        if method is not None and callable(method):

            @functools.wraps(method)
            def guarded(this, *args, **kwargs):
                try:
                    return method(this, *args, **kwargs)
                except unittest.SkipTest:
                    raise
                except BaseException:
                    this.save_failure_artifacts()
                    raise

            setattr(self, methodName, types.MethodType(guarded, self))

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        missing = [n for n in ("DISPLAY", "WINEPREFIX") if not os.environ.get(n)]
        if missing:
            raise unittest.SkipTest(
                "needs %s; run the suites through ./dev test" % " and ".join(missing)
            )
        cls.inspector = Inspector()
        # Wine ends its desktop process (explorer.exe, which also runs the
        # clipboard manager) about a second after the last program using it
        # exits, and starts a new one on demand. A restart between two steps
        # of a test can drop the clipboard's contents, so a helper that does
        # nothing but wait keeps the desktop alive for the whole class.
        cls._desktop_keeper = subprocess.Popen(
            ["wine", cls.inspector.exe, "wait-window", "sumvane e2e desktop keeper", "900000"],
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            start_new_session=True,
        )

    @classmethod
    def tearDownClass(cls):
        keeper = getattr(cls, "_desktop_keeper", None)
        if keeper is not None:
            try:
                os.killpg(keeper.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            keeper.wait(timeout=10)
            cls._desktop_keeper = None
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        self.programs = []
        self.artifacts_saved = None
        self.work = os.path.join(_work_root(), _safe_name(self.id()))
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.addCleanup(self.end_programs)

    # --- programs ---

    def start(self, exe, args=(), cwd=None, title=None, timeout=None):
        """Starts exe under wine with args (each one argument of the command
        line; wine quotes those with spaces) in cwd (default self.work), its
        stdout and stderr going to a log file. With title, waits until a new
        visible window with that title appears and keeps it in .window."""
        timeout = timeout or self.timeout
        before = set()
        if title is not None:
            before = {w.hwnd for w in self.inspector.windows(title)}
        n = len(self.programs)

        def spawn(log_path):
            with open(log_path, "wb") as log:
                return subprocess.Popen(
                    ["wine", exe] + [os.fspath(a) for a in args],
                    cwd=cwd or self.work,
                    stdin=subprocess.DEVNULL,
                    stdout=log,
                    stderr=subprocess.STDOUT,
                    start_new_session=True,
                    env=wine_env(),
                )

        log_path = os.path.join(self.work, "program-%d.log" % n)
        program = Program(spawn(log_path), exe, list(args), log_path)
        self.programs.append(program)
        if title is not None:
            attempts = 0

            def new_window():
                nonlocal attempts
                for w in self.inspector.windows(title, visible=True):
                    if w.hwnd not in before:
                        return w
                if program.running():
                    return None
                log = program.log()
                # Exit 1 with only Wine's errors in the log is Wine ending the
                # process at its start (the programs here never end so before
                # their window shows): it is started again.
                if (program.popen.returncode == 1 and attempts < WINE_START_RETRIES
                        and only_wine_errors(log)):
                    note_wine_failure(os.path.basename(exe), log.decode("utf-8", "replace"),
                                      attempts)
                    attempts += 1
                    program.log_path = "%s.%d" % (log_path, attempts)
                    program.popen = spawn(program.log_path)
                    return None
                raise AssertionError(
                    "%s ended (exit %s) before showing %r: %r"
                    % (exe, program.popen.returncode, title, log[-2000:])
                )

            program.window = wait_until(new_window, timeout, message="window %r" % title)
        return program

    def end_programs(self):
        """Ends every program this test started: by Unix pid, then any window
        of their Windows processes is waited out; if one stays, the whole
        wineserver goes (and comes back detached)."""
        for program in self.programs:
            program.kill()
        leftovers = []
        for program in self.programs:
            if program.win_pid is None:
                continue
            try:
                wait_until(
                    lambda: not self.inspector.windows(pid=program.win_pid),
                    timeout=5,
                    message="windows of process %d to go" % program.win_pid,
                )
            except AssertionError:
                leftovers.append(program.win_pid)
        if leftovers:
            for pid in leftovers:
                self.inspector.terminate(pid)
            restart_wine_detached()

    # --- evidence ---

    def artifact_dir(self):
        path = os.path.join(_artifact_root(), _safe_name(self.id()))
        os.makedirs(path, exist_ok=True)
        return path

    def save_failure_artifacts(self):
        """Saves screenshot.png, windows.txt (every top-level window) and the
        logs of the started programs; returns the folder. Safe to call twice."""
        if self.artifacts_saved:
            return self.artifacts_saved
        path = self.artifact_dir()
        screenshot(os.path.join(path, "screenshot.png"))
        try:
            _, records, _ = self.inspector.run("windows", check=False)
            with open(os.path.join(path, "windows.txt"), "w") as f:
                codepage = program_codepage()
                for kind, v in records:
                    f.write(kind + "\t" + "\t".join(
                        "%s=%s" % (k, unescape(x).decode(codepage, "replace")) for k, x in v.items()
                    ) + "\n")
        except Exception as exc:  # evidence is best effort; the failure matters
            print("could not list windows: %s" % exc, file=sys.stderr)
        for n, program in enumerate(getattr(self, "programs", [])):
            if os.path.exists(program.log_path):
                shutil.copy(program.log_path, os.path.join(path, "program-%d.log" % n))
        print("evidence saved in %s" % path, file=sys.stderr)
        self.artifacts_saved = path
        return path

    # --- pointer and keys on a window ---

    def _window(self, window):
        if isinstance(window, Window):
            return window
        found = self.inspector.window(window)
        if found is None:
            self.fail("no window %r" % (window,))
        return found

    def click_client(self, window, x, y, button=1, double=False):
        """Clicks at client coordinates of a window (a Window or a title)."""
        w = self._window(window)
        click_at(*w.client_to_screen(x, y), button=button, double=double)

    def double_click_client(self, window, x, y):
        self.click_client(window, x, y, double=True)

    def right_click_client(self, window, x, y):
        self.click_client(window, x, y, button=3)

    def control(self, title, control_id):
        _, controls = self.inspector.controls(title)
        for c in controls:
            if c.id == control_id:
                return c
        self.fail("window %r has no control %d" % (title, control_id))

    def click_control(self, title, control_id, button=1):
        """Clicks the middle of a control, e.g. a button."""
        click_at(*self.control(title, control_id).rect.center, button=button)

    def row_point(self, title, row, control_id=3):
        """A screen point inside the first column of a list row."""
        view = self.inspector.list_view(title, control_id)
        if not 0 <= row < len(view.rows):
            self.fail("list %d of %r has no row %d" % (control_id, title, row))
        r = view.rows[row].rect
        return (r.left + min(40, r.width // 2), (r.top + r.bottom) // 2)

    def click_row(self, title, row, control_id=3, button=1, double=False):
        click_at(*self.row_point(title, row, control_id), button=button, double=double)

    def key_on(self, window, *keys):
        """Presses keys with the pointer over the window's client area."""
        w = self._window(window)
        key(*keys, at=w.client_to_screen(w.client_size[0] // 2, 2))

    def close_box_point(self, window):
        """Where the close box of a captioned window is. Wine draws the frame
        itself (no window manager), with the caption buttons at its right."""
        w = self._window(window)
        caption_height = w.origin[1] - w.rect.top
        frame = w.origin[0] - w.rect.left
        return (w.rect.right - frame - caption_height // 2, w.rect.top + caption_height // 2 + 1)

    def popup_menu(self, pid, timeout=DEFAULT_TIMEOUT):
        """Waits for a visible popup menu (class #32768) of process pid."""
        return wait_until(
            lambda: self.inspector.windows(pid=pid, class_name="#32768", visible=True),
            timeout,
            message="a popup menu",
        )[0]

    def no_popup_menu(self, pid, timeout=DEFAULT_TIMEOUT):
        wait_until(
            lambda: not self.inspector.windows(pid=pid, class_name="#32768", visible=True),
            timeout,
            message="the popup menu to close",
        )

    # --- clipboard ---

    def prime_clipboard(self, sentinel=b"sumvane e2e sentinel"):
        """Puts a sentinel on the clipboard and waits until both the Win32 side
        and the X side hold it; returns the clipboard's sequence number.
        Without this, Wine's clipboard manager can pick up an older X
        selection late and overwrite what the program copies next."""
        self.inspector.set_clipboard(sentinel)
        if not self.inspector.wait_clipboard(sentinel, self.timeout):
            self.fail("the clipboard did not take the sentinel")
        x_text = sentinel.replace(b"\r\n", b"\n")
        wait_until(lambda: x_clipboard() == x_text, self.timeout, message="X clipboard sentinel")
        return self.inspector.clipboard_state()[1]

    def assert_clipboard(self, expected, timeout=None):
        """Waits until the clipboard holds exactly expected (bytes)."""
        if not self.inspector.wait_clipboard(expected, timeout or self.timeout):
            self.fail("clipboard holds %r, not %r" % (self.inspector.clipboard(), expected))

    # --- open-file dialog ---

    def choose_files(self, dialog_title, folder, names, timeout=None):
        """Fills Wine's open-file dialog like a user: types the folder (as a
        Z:\\ path) and Return, then the names, each in double quotes, and
        Return. With no names, cancels with Escape. Waits until it closes."""
        timeout = timeout or self.timeout
        dialog = self.inspector.wait_window(dialog_title, timeout, class_name="#32770")
        # The pointer must stay over the dialog for the keys to arrive there.
        at = (dialog.rect.left + dialog.rect.width // 2, dialog.rect.top + 8)
        if not names:
            key("Escape", at=at)
        else:
            type_text(wine_path(folder), at=at)
            key("Return")
            type_text(" ".join('"%s"' % n for n in names))
            key("Return")
        self.inspector.wait_window_gone(dialog_title, timeout, class_name="#32770")

    # --- the list ---

    def wait_rows(self, title, condition, control_id=3, timeout=None):
        """Waits until condition(cells) holds for the list's cells (a list of
        rows, each a list of bytes), or until the cells equal condition when
        it is a list; returns the ListView."""
        if isinstance(condition, list):
            expected = condition
            condition = lambda cells: cells == expected  # noqa: E731

        def check():
            view = self.inspector.list_view(title, control_id)
            return view if condition(view.cells) else None

        try:
            return wait_until(check, timeout or self.timeout, message="the list's rows")
        except AssertionError:
            cells = self.inspector.list_view(title, control_id).cells
            raise AssertionError("the list's rows never matched; they are %r" % (cells,))

    def watch_windows(self, title=None, pid=None, class_name=None, visible=True):
        """A WindowWatch on this test's inspector."""
        return WindowWatch(self.inspector, title, pid, class_name, visible)

    def hold_files(self, paths, write=False):
        """A FileHold on this test's inspector."""
        return FileHold(self.inspector, paths, write=write)

    # --- files ---

    def make_file(self, name, data=b"", folder=None):
        """Writes a file under self.work (or folder); returns its Unix path."""
        path = os.path.join(folder or self.work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def make_large_file(self, name, size, folder=None):
        """A file of `size` bytes, all zero, stored as a hole so that it takes
        no disk space: for checksums that run long. Returns its Unix path."""
        path = os.path.join(folder or self.work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.truncate(size)
        return path


def fixture_exe():
    return os.environ.get("SUMVANE_E2E_FIXTURE")


def program_exe():
    """The program under test, when the build has it; else None."""
    exe = os.environ.get("SUMVANE_EXE")
    return exe if exe and os.path.exists(exe) else None


def build_exe(build):
    """The program of a build ("i686" or "x86_64"), as ./dev names it."""
    return os.environ.get("SUMVANE_EXE_" + build.upper())


def why_not_both_builds():
    """None where this prefix runs the programs of both builds (a 64-bit
    prefix on a machine that runs 32-bit code), else why not."""
    if os.environ.get("SUMVANE_RUNS_32BIT") != "1":
        return os.environ.get("SUMVANE_NO_32BIT_WHY") or "this machine runs no 32-bit code"
    if os.environ.get("SUMVANE_WIN_ARCH") != "x86_64":
        return "the i686 build's tests run in a 32-bit prefix, which runs no 64-bit program"
    if not all(build_exe(b) and os.path.exists(build_exe(b)) for b in ("i686", "x86_64")):
        return "the programs of both builds are needed (SUMVANE_EXE_I686, SUMVANE_EXE_X86_64)"
    return None


def inspector_for(exe):
    """An inspector of exe's own build. The inspector reads another
    process's list rows and tips by placing structures in its memory, which
    must have that process's layout: a 32-bit program is read by the 32-bit
    inspector."""
    build = pe_machine(exe)
    if build == os.environ.get("SUMVANE_WIN_ARCH", build):
        return Inspector()
    tree = os.path.dirname(os.path.dirname(build_exe(build)))
    return Inspector(exe=os.path.join(tree, "e2e", "sumvane_inspect.exe"))


# ---------------------------------------------------------------------------
# Suites that drive the program itself

PROGRAM_TITLE = "Sumvane  v. 1.3"
LIST_ID = 3
VERDICTS = (b"CRC32 in filename", b"CRC32 mismatch", b"no CRC32 in filename", b"ReadError")
# "[" + eight hexadecimal digits + "]": a checksum that a file name carries.
CHECKSUM_TOKEN = re.compile(r"\[[0-9A-Fa-f]{8}\]")


def finished(state):
    """Whether a State cell holds a verdict (not "Waiting" or a percentage)."""
    return state in VERDICTS


def row_finished(cells):
    """Whether a row is done: its verdict and, after it, its checksum are in
    (the verdict comes first, so for a moment a row has only that)."""
    return finished(cells[2]) and (cells[1] != b"" or cells[2] == b"ReadError")


def verdict(windows_path, crc):
    """The verdict the program gives a file with this full path and checksum:
    whether the path carries the checksum, letter case ignored, or else
    whether the file name carries another one in brackets."""
    if isinstance(windows_path, bytes):
        windows_path = windows_path.decode(program_codepage())
    if crc.lower() in windows_path.lower():
        return b"CRC32 in filename"
    if CHECKSUM_TOKEN.search(windows_path.rsplit("\\", 1)[-1]):
        return b"CRC32 mismatch"
    return b"no CRC32 in filename"


def expected_row(path, param=None):
    """The finished row of the file at the Unix path `path`, listed under the
    text `param` (default: its Z:\\ path): name > path, CRC, verdict."""
    shown = param if param is not None else wine_path(path)
    name = shown.rsplit("\\", 1)[-1]
    crc = crc32_hex(path)
    return [
        ansi(name + " > " + shown),
        crc.encode("ascii"),
        verdict(shown, crc),
    ]


def waiting_row(path, param=None):
    shown = param if param is not None else wine_path(path)
    name = shown.rsplit("\\", 1)[-1]
    return [ansi(name + " > " + shown), b"", b"Waiting"]


class ProgramTestCase(WineTestCase):
    """A suite that drives sumvane.exe. Each test starts from a display with
    no instance of the program on it and the pointer parked off every window
    (a pointer resting on the list would show its tip over the rows)."""

    title = PROGRAM_TITLE

    @classmethod
    def setUpClass(cls):
        if program_exe() is None:
            raise unittest.SkipTest("sumvane.exe is not built (SUMVANE_EXE)")
        super().setUpClass()
        cls.exe = program_exe()

    def setUp(self):
        super().setUp()
        wait_until(
            lambda: not self.inspector.windows(self.title),
            timeout=5,
            message="no instance left from an earlier test",
        )
        move_to(1, 1)

    def start_program(self, *params, cwd=None, window=True, timeout=None):
        """Starts the program with these command-line parameters (Unix paths
        of existing things become Z:\\ paths; other texts go as they are).
        With window, waits until its main window shows."""
        args = [wine_path(p) if os.path.isabs(p) and os.path.exists(p) else p for p in params]
        return self.start(
            self.exe, args, cwd=cwd, title=self.title if window else None, timeout=timeout
        )

    def view(self, program=None):
        """The list of the program (default: the only instance on screen)."""
        pid = program.win_pid if program is not None else None
        return self.inspector.list_view(self.title, LIST_ID, pid=pid)

    def cells(self, program=None):
        return self.view(program).cells

    def wait_cells(self, condition, program=None, timeout=None, message="the list's rows"):
        """Waits until condition(cells) holds (or cells == condition, for a
        list); returns the cells."""
        if isinstance(condition, list):
            expected = condition
            condition = lambda cells: cells == expected  # noqa: E731
        seen = []

        def check():
            cells = self.cells(program)
            seen[:] = [cells]
            return [cells] if condition(cells) else None

        try:
            return wait_until(check, timeout or self.timeout, message=message)[0]
        except AssertionError:
            raise AssertionError("%s never matched; the rows are %r" % (message, seen[0]))

    def wait_finished(self, count, program=None, timeout=None):
        """Waits until the list has `count` rows, each with its verdict."""
        return self.wait_cells(
            lambda cells: len(cells) == count and all(row_finished(c) for c in cells),
            program,
            timeout or self.timeout + count * 0.6,
            message="%d finished rows" % count,
        )

    def wait_progress(self, row, program=None, timeout=None):
        """Waits until a row shows a percentage: its checksum is running."""
        return self.wait_cells(
            lambda cells: len(cells) > row and cells[row][2].endswith(b"%"),
            program,
            timeout,
            message="row %d in progress" % row,
        )

    def click_button(self, control_id, program=None):
        title_or_window = program.window if program is not None else self.title
        w = self._window(title_or_window)
        _, controls = self.inspector.controls(self.title, pid=w.pid)
        for c in controls:
            if c.id == control_id and c.parent == w.hwnd:
                click_at(*c.rect.center)
                return
        self.fail("no control %d" % control_id)

    def assert_ended(self, program, timeout=DEFAULT_TIMEOUT):
        """The program ends by itself with exit code 0 and leaves no window."""
        self.assertEqual(program.wait_exit(timeout), 0)
        if program.win_pid is not None:
            self.assertEqual(self.inspector.windows(pid=program.win_pid), [])
