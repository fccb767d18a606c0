#!/usr/bin/python3
"""Drops files on an X window with a real XDND drag, as a file manager would.

Usage:
    xdnd_drop.py [--timeout SECONDS] (--at X Y | --window XID [--at X Y]) PATH...

The drop lands on the XDND-aware window under the root position X, Y (with
--window: on that window, at X, Y or at its centre). The source offers one
type, text/uri-list, and answers the target's request with file:// URIs
joined by CRLF.

Exit codes: 0 the target accepted and finished the drop; 1 a step timed out;
2 bad usage or no XDND-aware window there; 3 the target refused the drop.

Needs Debian's python3-xlib, so run it with /usr/bin/python3.
"""

import argparse
import os
import sys
import time
import urllib.parse

from Xlib import X, Xatom, display, error
from Xlib.protocol import event

EXIT_OK = 0
EXIT_TIMEOUT = 1
EXIT_USAGE = 2
EXIT_REFUSED = 3

# The newest protocol version this source speaks.
XDND_VERSION = 5


class DropError(Exception):
    def __init__(self, code, message):
        super().__init__(message)
        self.code = code


def file_uri(path):
    """A file:// URI for a Unix path; every byte outside the safe set is
    percent-encoded, so spaces and non-ASCII names survive."""
    raw = os.fsencode(os.path.abspath(path))
    return "file://" + urllib.parse.quote_from_bytes(raw, safe="/-._~")


def uri_list(paths):
    return ("\r\n".join(file_uri(p) for p in paths) + "\r\n").encode("ascii")


class XdndSource:
    def __init__(self, disp, timeout):
        self.d = disp
        self.timeout = timeout
        self.root = disp.screen().root
        self.atom = {
            name: disp.intern_atom(name)
            for name in (
                "XdndAware",
                "XdndSelection",
                "XdndEnter",
                "XdndPosition",
                "XdndStatus",
                "XdndLeave",
                "XdndDrop",
                "XdndFinished",
                "XdndActionCopy",
                "XdndTypeList",
                "text/uri-list",
            )
        }
        # The selection owner: a window nobody sees.
        self.window = self.root.create_window(
            -10, -10, 1, 1, 0, X.CopyFromParent, X.InputOnly, X.CopyFromParent
        )
        self.data = b""
        self.requests = 0

    def aware_version(self, win):
        try:
            prop = win.get_full_property(self.atom["XdndAware"], Xatom.ATOM)
        except error.XError:
            return None
        if prop is None or not prop.value:
            return None
        return int(prop.value[0])

    def target_at(self, x, y):
        """The topmost viewable window under the root position that carries
        XdndAware, searched from the root downwards."""
        win = self.root
        wx, wy = x, y
        while True:
            found = None
            for child in reversed(win.query_tree().children):
                try:
                    attrs = child.get_attributes()
                    if attrs.map_state != X.IsViewable:
                        continue
                    geo = child.get_geometry()
                except error.XError:
                    continue
                if geo.x <= wx < geo.x + geo.width and geo.y <= wy < geo.y + geo.height:
                    found = (child, wx - geo.x, wy - geo.y)
                    break
            if found is None:
                return None
            child, wx, wy = found
            if self.aware_version(child) is not None:
                return child
            win = child

    def send(self, target, name, data):
        msg = event.ClientMessage(
            window=target,
            client_type=self.atom[name],
            data=(32, (data + [0] * 5)[:5]),
        )
        target.send_event(msg, event_mask=0)
        self.d.flush()

    def answer_selection_request(self, ev):
        """Hands the URI list to whoever asks for it as text/uri-list."""
        self.requests += 1
        prop = ev.property if ev.property != X.NONE else ev.target
        ok = ev.selection == self.atom["XdndSelection"] and ev.target == self.atom["text/uri-list"]
        if ok:
            # In pieces that each fit one X request (at most 256 KiB), so that
            # a list of thousands of files goes through too.
            piece = 1 << 17
            ev.requestor.change_property(prop, ev.target, 8, self.data[:piece])
            for at in range(piece, len(self.data), piece):
                ev.requestor.change_property(
                    prop, ev.target, 8, self.data[at:at + piece], X.PropModeAppend
                )
        reply = event.SelectionNotify(
            time=ev.time,
            requestor=ev.requestor,
            selection=ev.selection,
            target=ev.target,
            property=prop if ok else X.NONE,
        )
        ev.requestor.send_event(reply, event_mask=0)
        self.d.flush()

    def wait_for(self, name, deadline):
        """Serves selection requests until the named client message arrives;
        returns its data, or raises on timeout."""
        while time.monotonic() < deadline:
            while self.d.pending_events():
                ev = self.d.next_event()
                if ev.type == X.SelectionRequest:
                    self.answer_selection_request(ev)
                elif ev.type == X.ClientMessage and ev.client_type == self.atom[name]:
                    return ev.data[1]
            time.sleep(0.005)
        raise DropError(EXIT_TIMEOUT, "no %s within %.1f s" % (name, self.timeout))

    def drop(self, target, x, y, paths):
        self.data = uri_list(paths)
        timestamp = X.CurrentTime
        self.window.set_selection_owner(self.atom["XdndSelection"], timestamp)
        self.d.flush()
        version = min(XDND_VERSION, self.aware_version(target) or XDND_VERSION)
        src = self.window.id
        deadline = time.monotonic() + self.timeout

        self.send(target, "XdndEnter", [src, version << 24, self.atom["text/uri-list"], 0, 0])
        self.send(
            target,
            "XdndPosition",
            [src, 0, (x << 16) | y, timestamp, self.atom["XdndActionCopy"]],
        )
        status = self.wait_for("XdndStatus", deadline)
        if not status[1] & 1:
            self.send(target, "XdndLeave", [src, 0, 0, 0, 0])
            raise DropError(EXIT_REFUSED, "the target refused the drop at %d,%d" % (x, y))

        self.send(target, "XdndDrop", [src, 0, timestamp, 0, 0])
        finished = self.wait_for("XdndFinished", deadline)
        # Version 5 says in bit 0 whether the drop was taken.
        if version >= 5 and not finished[1] & 1:
            raise DropError(EXIT_REFUSED, "the target finished without taking the drop")


def parse_args(argv):
    parser = argparse.ArgumentParser(description="Drop files with a real XDND drag.")
    parser.add_argument("--at", nargs=2, type=int, metavar=("X", "Y"))
    parser.add_argument("--window", type=lambda s: int(s, 0), metavar="XID")
    parser.add_argument("--timeout", type=float, default=10.0)
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args(argv)
    if args.at is None and args.window is None:
        parser.error("give --at X Y or --window XID")
    return args


def main(argv):
    args = parse_args(argv)
    try:
        disp = display.Display()
    except Exception as exc:  # no display: nothing to drop on
        print("xdnd_drop: cannot open the display: %s" % exc, file=sys.stderr)
        return EXIT_USAGE
    try:
        source = XdndSource(disp, args.timeout)
        if args.window is not None:
            target = disp.create_resource_object("window", args.window)
            if args.at is None:
                geo = target.get_geometry()
                pos = target.translate_coords(source.root, 0, 0)
                args.at = [-pos.x + geo.width // 2, -pos.y + geo.height // 2]
            if source.aware_version(target) is None:
                raise DropError(EXIT_USAGE, "window 0x%x is not XDND-aware" % args.window)
        else:
            target = source.target_at(*args.at)
            if target is None:
                raise DropError(EXIT_USAGE, "no XDND-aware window at %d,%d" % tuple(args.at))
        source.drop(target, args.at[0], args.at[1], args.paths)
        return EXIT_OK
    except DropError as exc:
        print("xdnd_drop: %s" % exc, file=sys.stderr)
        return exc.code
    finally:
        disp.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
