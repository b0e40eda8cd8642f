# The environment of every Wine call of the Windows build: its own prefix under build/, no
# debug output, no Mono or Gecko prompts, and no mount manager, so that Wine maps none of the
# machine's serial ports (/dev/ttyS*) to COM ports; the tests link their own COM ports.
# Sourced, not run.
source "$(dirname "${BASH_SOURCE[0]}")/../prelude.sh"
export WINEPREFIX="${WINEPREFIX:-$root/build/windows-wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;mountmgr.sys=d"
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY

# Wine hands no QT_* variable of the Unix environment to Windows programs; a variable in the
# prefix's user environment (HKCU\Environment) reaches every program started after it is set.
wine_environment() {
    timeout 300 wine reg add 'HKCU\Environment' /v "$1" /d "$2" /f >/dev/null 2>&1
}

# Ends processes that the calling script started, by their ids, and reaps them.
end_processes() {
    local pid
    for pid in "$@"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
