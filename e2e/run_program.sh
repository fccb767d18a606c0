#!/usr/bin/env bash
# Starts the built program under Wine, for `./dev run`.
#
#   run_program.sh WINDOWS_TREE [FILE...]
#
# WINDOWS_TREE is the build tree of either Windows build; ./dev run puts the
# commands of the right Wine first on PATH and sets WINEARCH (win64 for the
# x86_64 build; win32, the default, for the i686 one).
#
# With a display ($DISPLAY), the program opens there with the files given and
# this script returns when it ends. Without one, a virtual display is started,
# the program checksums the files (or a small demo set), the finished list is
# printed as text, a screenshot is saved in WINDOWS_TREE/run, and the program is
# closed again.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TREE=$(cd "${1:?usage: run_program.sh WINDOWS_TREE [FILE...]}" && pwd)
shift
EXE=$TREE/app/sumvane.exe
INSPECT=$TREE/e2e/sumvane_inspect.exe
OUT=$TREE/run

export WINEPREFIX=$TREE/wineprefix WINEARCH=${WINEARCH:-win32} WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# The same prefix settings as for the tests: no crash dialogs, and Wine draws
# its own window frames (there may be no window manager).
prepare_prefix() {
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/.sumvane-ready" ]; then
        echo "== creating the Wine prefix $WINEPREFIX" >&2
        wineboot -i </dev/null >/dev/null 2>&1 || true
        wineserver -w
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
            </dev/null >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
            </dev/null >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.sumvane-ready"
    fi
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine wineboot </dev/null >/dev/null 2>&1 || true
}

# Windows paths for Wine's drive Z:, which shows the whole Unix tree.
windows_path() {
    local p=$1
    if [ -e "$p" ]; then
        p=$(realpath -s "$p")
        printf 'Z:%s\n' "${p//\//\\}"
    else
        printf '%s\n' "$p"
    fi
}

if [ ! -f "$EXE" ]; then
    echo "run_program.sh: $EXE does not exist" >&2
    exit 1
fi

if [ -n "${DISPLAY:-}" ]; then
    prepare_prefix
    params=()
    for f in "$@"; do
        params+=("$(windows_path "$f")")
    done
    exec wine "$EXE" "${params[@]}"
fi

XVFB_PID=
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    timeout 20 wineserver -w >/dev/null 2>&1 || true
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for n in $(seq 141 190); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.05
    done
    if kill -0 "$XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
        export DISPLAY=":$n"
        break
    fi
    XVFB_PID=
done
if [ -z "${DISPLAY:-}" ]; then
    echo "run_program.sh: could not start Xvfb" >&2
    exit 1
fi

prepare_prefix
export SUMVANE_INSPECT=$INSPECT PYTHONDONTWRITEBYTECODE=1
/usr/bin/python3 "$HERE/run_program.py" --exe "$EXE" --out "$OUT" "$@"
