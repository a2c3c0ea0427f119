# Sourced by the other scripts: one private Wine prefix per build tree, quiet,
# and without the .NET and HTML engines (nothing here needs them, and their
# installers would ask questions on a fresh prefix).
ORVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ORVO_BUILD=${ORVO_BUILD:-$ORVO_ROOT/build/x86_64}
export WINEPREFIX=${WINEPREFIX:-$ORVO_BUILD/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}

# Creates the prefix on first use (10 to 20 s) and keeps a wineserver alive,
# so each later Wine process starts in a fraction of a second. A server left
# from an earlier session may be tied to another X display: it goes first.
wine_prefix_up() {
    wine_prefix_down
    mkdir -p "$(dirname "$WINEPREFIX")"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1 || true
    fi
    wineserver -p >/dev/null 2>&1 || true
    # Wine's own services start with the first program and live on; started
    # here they do not inherit (and hold open) a test runner's output pipe.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_prefix_down() {
    wineserver -k >/dev/null 2>&1 || true
}

# Starts an Xvfb of its own and sets DISPLAY and XVFB_PID. Xvfb picks a free
# display number itself (-displayfd), so runs that start at the same moment
# (a developer's tests beside CI's) never end up sharing one X server.
# XVFB_SIZE (WIDTHxHEIGHT) sets the screen, 1280x1024 by default.
xvfb_up() {
    local fifo n
    fifo=$(mktemp -u /tmp/orvo-xvfb.XXXXXX)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${XVFB_SIZE:-1280x1024}x24" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    XVFB_PID=$!
    n=$(timeout 60 head -n 1 "$fifo" || true)
    rm -f "$fifo"
    if [ -z "$n" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        echo "could not start Xvfb" >&2
        return 1
    fi
    export DISPLAY=":$n"
    for _ in $(seq 600); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "Xvfb on $DISPLAY does not answer" >&2
    return 1
}
