# What the Wine tests that drive the program from outside share; sourced, not run. They run on
# a private Xvfb display, with every Windows program in one desktop window that Wine draws with
# title bars and close boxes as Windows does, in a Wine prefix of their own beside the one of
# the other Windows tests, so that ending its server ends nobody else's programs.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX="${ZARNELL_WINE_DESKTOP_PREFIX:-$(cd "$here/../.." && pwd)/build/windows-wine-desktop}"
source "$here/../../tools/windows/wine-env.sh"

# Waits at most Seconds for a condition that nothing announces (a file, a log line, a window of
# another process), asking again every 50 ms.
within() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

# Starts Xvfb with a display number of its own choosing, exports DISPLAY and sets xvfb_pid.
# Work is a folder for the number.
start_display() {
    local work=$1
    Xvfb -displayfd 4 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 4>"$work/display" \
        >/dev/null 2>&1 &
    xvfb_pid=$!
    within 30 test -s "$work/display" || return 1
    export DISPLAY=":$(<"$work/display")"
}

# Starts this prefix's Wine server and gives the programs the desktop window.
start_wine_desktop() {
    mkdir -p "$WINEPREFIX"
    # A server left running by an interrupted test would refuse to be started again.
    timeout 60 wineserver -k >/dev/null 2>&1 || true
    timeout 60 wineserver -p </dev/null >/dev/null 2>&1
    timeout 300 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f \
        >/dev/null 2>&1
    timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
        >/dev/null 2>&1
    # The loader's log tells the tests where a run is.
    wine_environment QT_LOGGING_RULES "zarnell.loader=true"
    # A new prefix has started its desktop before the settings above were there; the desktop
    # window comes with the next server.
    timeout 60 wineserver -k >/dev/null 2>&1 || true
    timeout 60 wineserver -p </dev/null >/dev/null 2>&1
}

# Ends what a test started: the processes by their ids, then this prefix's Wine server.
stop_all() {
    end_processes "$@"
    timeout 60 wineserver -k >/dev/null 2>&1 || true
}
