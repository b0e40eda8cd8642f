# What the Wine tests that drive the program from outside share; sourced, not run. It makes
# the test's folder, work, and defines fail; the sourcing script sets sim (the simulated unit),
# winwindows (zarnell-winwindows) and program_pid once the program runs. They run on a private
# Xvfb display, with every Windows program in one desktop window that Wine draws with title bars
# and close boxes as Windows does, in a Wine prefix of their own beside the one of the other
# Windows tests, so that ending its server ends nobody else's programs.
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/prelude.sh"
export WINEPREFIX="${ZARNELL_WINE_DESKTOP_PREFIX:-$root/build/windows-wine-desktop}"
source "$root/tools/windows/wine-env.sh"

test_name=$(basename "$0" .sh)
work=$(mktemp -d -t "zarnell-$test_name-XXXXXX")
# Until the test names what else it starts (see stop_all).
trap 'rm -rf "$work"' EXIT

# Ends the test with a message, and the program's last words when it had any.
fail() {
    echo "$test_name: $*" >&2
    [[ -f $work/program.log ]] && tail -n 20 "$work/program.log" >&2
    exit 1
}

now_ms() { date +%s%3N; }

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

# The display and this prefix's Wine desktop, with no COM port linked: a link that an
# interrupted test left behind must not survive, and Wine itself maps none.
start_session() {
    start_display "$work" || fail "Xvfb did not start"
    rm -f "$WINEPREFIX"/dosdevices/com*
    start_wine_desktop
    if compgen -G "$WINEPREFIX/dosdevices/com*" >/dev/null; then
        fail "Wine has mapped serial ports in $WINEPREFIX; refusing to run"
    fi
}

# Ends what a test started, on its way out: the processes by their ids, then this prefix's
# Wine server; removes the COM links and the test's folder.
stop_all() {
    end_processes "$@"
    timeout 60 wineserver -k >/dev/null 2>&1 || true
    rm -f "$WINEPREFIX"/dosdevices/com*
    rm -rf "$work"
}

# Saves the screen's rectangle of a window's frame (NAME LEFT TOP WIDTH HEIGHT) as NAME.png in
# $shots, when the test takes screenshots.
shoot() {
    [[ -n ${shots:-} ]] || return 0
    local name=$1 left=$2 top=$3 width=$4 height=$5
    # Let the window finish painting what it has just been told.
    sleep 0.5
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$shots/$name.png"
}

# Starts the simulated unit $sim as NAME with further options: its report goes to
# $work/NAME.json, $work/NAME.ready appears once the dongle has taken "Z", its pid goes into
# NAME_pid and its pseudo-terminal into NAME_slave.
start_sim() {
    local name=$1
    shift
    "$sim" --ready-file "$work/$name.ready" --report "$work/$name.json" "$@" >"$work/$name.port" &
    printf -v "${name}_pid" %s $!
    within 30 test -s "$work/$name.port" || return 1
    printf -v "${name}_slave" %s "$(head -n 1 "$work/$name.port")"
}

# Links COMn to a pseudo-terminal, and lists it in the serial device map under Value
# (\Device\Serial0, …), in the order the program walks them.
link_com() {
    local port=$1 slave=$2 value=$3
    ln -sfn "$slave" "$WINEPREFIX/dosdevices/${port,,}"
    timeout 60 wine "$winwindows" list-port "$value" "$port"
}

# The simulated unit as "unit" (see start_sim; further options go to it) behind COM5, the only
# COM port there is; sets sim_pid.
start_unit_on_com5() {
    start_sim unit "$@" && [[ $unit_slave == /dev/* ]] || fail "the simulator named no port"
    sim_pid=$unit_pid
    link_com COM5 "$unit_slave" '\Device\Serial0' || fail "cannot list COM5"
    local other
    for other in "$WINEPREFIX"/dosdevices/com*; do
        [[ $other == "$WINEPREFIX/dosdevices/com5" ]] ||
            fail "an unexpected COM link $other appeared; refusing to run"
    done
}

# Starts the program EXE under Wine with the libraries PRELOAD (a colon-separated list, the pty
# shim first) and further environment settings, its output in $work/program.log; sets
# program_pid. Then waits for its setup window and sets setup_x setup_y (its client area),
# setup_close_x setup_close_y (its close box) and setup_frame (LEFT TOP WIDTH HEIGHT).
start_program() {
    local exe=$1 preload=$2
    shift 2
    env "$@" LD_PRELOAD="$preload" wine "$exe" >"$work/program.log" 2>&1 &
    program_pid=$!
    read -r setup_x setup_y setup_close_x setup_close_y setup_frame < <(timeout 120 wine \
        "$winwindows" wait "Zarnell Setup V1.0" 60000) || fail "the setup window did not show"
}

# Presses a close box until its window has gone: Wine may take the first click on a window that
# another one was active before as the click that activates it. Title, then the box's centre.
close_window() {
    local title=$1 x=$2 y=$3 press
    for press in 1 2 3; do
        xdotool mousemove "$x" "$y" click 1
        timeout 60 wine "$winwindows" wait-gone "$title" 5000 2>/dev/null && return 0
    done
    return 1
}

# Presses Download on the setup window whose client area starts at SETUP_X SETUP_Y, answers the
# caution dialog with OK, waits until the program's loader log (LOG) shows the RUN-th end of a
# run ("Programmed") and closes the loader window. Sets ok_pressed and programmed (ms).
download_to_programmed() {
    local setup_x=$1 setup_y=$2 log=$3 run=$4
    local dialog_x dialog_y dialog_frame boot_close_x boot_close_y boot_frame programmed_line
    xdotool mousemove $((setup_x + 54 + 37)) $((setup_y + 205 + 12)) click 1
    read -r dialog_x dialog_y _ _ dialog_frame < <(timeout 60 wine "$winwindows" wait \
        "Zarnell Settings Update" 20000) || fail "the caution dialog did not show"
    shoot 3-caution-dialog $dialog_frame
    ok_pressed=$(now_ms)
    xdotool mousemove $((dialog_x + 300 + 37)) $((dialog_y + 8 + 12)) click 1
    read -r _ _ boot_close_x boot_close_y boot_frame < <(timeout 60 wine "$winwindows" wait \
        "Boot Loader V3.0" 20000) || fail "the loader window did not show"
    if [[ -n ${shots:-} ]]; then
        shoot 4-loader-window-waiting $boot_frame
        within 30 grep -q "step block-low" "$log" || fail "the run did not start"
        shoot 5-loader-window-programming $boot_frame
    fi
    within 60 test "$(grep -c "step programmed" "$log")" -ge "$run" ||
        fail "the run did not end \"Programmed\""
    # The moment comes from the log's time stamp: finding the windows costs more than the run.
    programmed_line=$(grep "step programmed" "$log" | sed -n "${run}p")
    programmed=$(date -d "${programmed_line:0:23}" +%s%3N)
    shoot 6-loader-window-programmed $boot_frame
    close_window "Boot Loader V3.0" "$boot_close_x" "$boot_close_y" ||
        fail "the loader window stayed after three presses of its close box"
}

# Closes the setup window by its close box (CLOSE_X CLOSE_Y) and expects the program (WHAT
# names it in messages) to end with status 0. The box is pressed again if Wine took a press for
# the one that activates the window.
end_program() {
    local close_x=$1 close_y=$2 what=${3:-the program} press status=0
    for press in 1 2 3; do
        xdotool mousemove "$close_x" "$close_y" click 1
        within 10 bash -c "! kill -0 $program_pid 2>/dev/null" && break
    done
    kill -0 "$program_pid" 2>/dev/null &&
        fail "$what did not end after three presses of its close box"
    wait "$program_pid" || status=$?
    program_pid=
    ((status == 0)) || fail "$what ended with status $status"
}

# The settings block of a simulated unit's report (addresses 5 to 36), as hexadecimal bytes.
settings_block() {
    local eeprom
    eeprom=$(sed -n 's/.*"eeprom": *"\([0-9a-f ]*\)".*/\1/p' "$1")
    cut -d' ' -f6-37 <<<"$eeprom"
}
