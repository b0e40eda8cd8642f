#!/usr/bin/env bash
# The whole job through the real Windows program, under Wine, driven from outside as a user
# would: zarnell-setup.exe on a private Xvfb display, in a Wine desktop of its own; the
# simulated unit behind COM5, which the serial device map lists; xdotool for clicks and keys.
#   wine-wholejob.sh EXE SIM SHIM WINWINDOWS [--shots DIR]
# It finds the dongle, sets the sliders with keys, downloads through the caution dialog to
# "Programmed", checks the unit's EEPROM byte for byte, closes the windows with their close
# boxes and expects the program to end with status 0. It prints the times it measured. With
# --shots it saves a screenshot of each state into DIR, and the unit answers slowly enough
# for the programming state to be seen.
set -euo pipefail
exe=$1 sim=$2 shim=$3 winwindows=$4
shift 4
shots=
if [[ ${1:-} == --shots ]]; then
    shots=$2
    mkdir -p "$shots"
fi
source "$(dirname "${BASH_SOURCE[0]}")/wine-desktop.sh"

port=COM5
link="$WINEPREFIX/dosdevices/${port,,}"
work=$(mktemp -d -t zarnell-wine-wholejob-XXXXXX)
xvfb_pid= sim_pid= program_pid=

fail() {
    echo "wine-wholejob: $*" >&2
    [[ -f $work/program.log ]] && tail -n 20 "$work/program.log" >&2
    exit 1
}

cleanup() {
    stop_all $program_pid $sim_pid $xvfb_pid
    rm -f "$link"
    rm -rf "$work"
}
trap cleanup EXIT

now_ms() { date +%s%3N; }

# Saves the screen's rectangle of a window's frame (LEFT TOP WIDTH HEIGHT) as NAME.png.
shoot() {
    [[ -n $shots ]] || return 0
    local name=$1 left=$2 top=$3 width=$4 height=$5
    # Let the window finish painting what it has just been told.
    sleep 0.5
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$shots/$name.png"

}

for file in "$exe" "$sim" "$shim" "$winwindows"; do
    [[ -f $file ]] || fail "missing $file"
done

start_display "$work" || fail "Xvfb did not start"
rm -f "$WINEPREFIX"/dosdevices/com*
start_wine_desktop
if compgen -G "$WINEPREFIX/dosdevices/com*" >/dev/null; then
    fail "Wine has mapped serial ports in $WINEPREFIX; refusing to run"
fi

sim_options=(--ready-file "$work/ready" --report "$work/report.json")
[[ -n $shots ]] && sim_options+=(--frame-delay 400)
coproc SIM { exec "$sim" "${sim_options[@]}"; }
sim_pid=$SIM_PID
slave=
read -r -t 30 slave <&"${SIM[0]}" || true
[[ $slave == /dev/* ]] || fail "the simulator named no port"
ln -sfn "$slave" "$link"
timeout 60 wine "$winwindows" list-port '\Device\Serial0' "$port" || fail "cannot list $port"
for other in "$WINEPREFIX"/dosdevices/com*; do
    [[ $other == "$link" ]] || fail "an unexpected COM link $other appeared; refusing to run"
done

# The program; its loader log (see start_wine_desktop) tells the driver when the run is over.
started=$(now_ms)
LD_PRELOAD="$shim" wine "$exe" >"$work/program.log" 2>&1 &
program_pid=$!

read -r setup_x setup_y setup_close_x setup_close_y setup_frame < <(timeout 120 wine \
    "$winwindows" wait "Zarnell Setup V1.0" 60000) || fail "the setup window did not show"
shoot 1-setup-window-searching $setup_frame
within 60 test -e "$work/ready" || fail "the dongle was not found"
found=$(now_ms)

# Idle after discovery: the program should sleep in the kernel. The Windows process runs as a
# process of its own under Wine's loader.
cpu_of() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
exe_pid=$(pgrep -f -n "$(basename "$exe")") || fail "no process of the program"
cpu_before=$(cpu_of "$exe_pid")
sleep 3
cpu_after=$(cpu_of "$exe_pid")

# Keys on the sliders, each focused by a click on its track near the left end; Home and End
# make the value independent of where the click left it.
xdotool mousemove $((setup_x + 1 + 6 + 4)) $((setup_y + 132 + 6 + 8)) click 1
xdotool key Home Right Right Right
xdotool mousemove $((setup_x + 1 + 6 + 4)) $((setup_y + 51 + 6 + 8)) click 1
xdotool key End
shoot 2-setup-window-dongle-found $setup_frame

xdotool mousemove $((setup_x + 54 + 37)) $((setup_y + 205 + 12)) click 1
read -r dialog_x dialog_y _ _ dialog_frame < <(timeout 60 wine "$winwindows" wait \
    "Zarnell Settings Update" 20000) || fail "the caution dialog did not show"
shoot 3-caution-dialog $dialog_frame
ok_pressed=$(now_ms)
xdotool mousemove $((dialog_x + 300 + 37)) $((dialog_y + 8 + 12)) click 1

read -r _ _ boot_close_x boot_close_y boot_frame < <(timeout 60 wine "$winwindows" wait \
    "Boot Loader V3.0" 20000) || fail "the loader window did not show"
if [[ -n $shots ]]; then
    shoot 4-loader-window-waiting $boot_frame
    within 30 grep -q "step 21" "$work/program.log" || fail "the run did not start"
    shoot 5-loader-window-programming $boot_frame
fi
within 60 grep -q "step 26" "$work/program.log" || fail "the run did not end \"Programmed\""
# The moment comes from the log's time stamp: finding the windows costs more than the run.
programmed_line=$(grep -m 1 "step 26" "$work/program.log")
programmed=$(date -d "${programmed_line:0:23}" +%s%3N)
shoot 6-loader-window-programmed $boot_frame

# Wine may take the first click on a window that another one was active before as the click
# that activates it, so a close box is pressed again, as a user would, until its window goes.
loader_gone=
for press in 1 2 3; do
    xdotool mousemove "$boot_close_x" "$boot_close_y" click 1
    if timeout 60 wine "$winwindows" wait-gone "Boot Loader V3.0" 5000 2>/dev/null; then
        loader_gone=yes
        break
    fi
done
[[ -n $loader_gone ]] || fail "the loader window stayed after three presses of its close box"
for press in 1 2 3; do
    xdotool mousemove "$setup_close_x" "$setup_close_y" click 1
    within 10 bash -c "! kill -0 $program_pid 2>/dev/null" && break
done
status=0
kill -0 "$program_pid" 2>/dev/null && fail "the program did not end after three presses of its close box"
wait "$program_pid" || status=$?
program_pid=
((status == 0)) || fail "the program ended with status $status"

kill -TERM "$sim_pid"
wait "$sim_pid" || fail "the simulator failed"
sim_pid=
# The settings block sits at addresses 5 to 36: 31 and 4 from the sliders, then thirty 255s.
eeprom=$(sed -n 's/.*"eeprom": *"\([0-9a-f ]*\)".*/\1/p' "$work/report.json")
block=$(cut -d' ' -f6-37 <<<"$eeprom")
expected="1f 04$(printf ' ff%.0s' {1..30})"
[[ $block == "$expected" ]] || fail "the unit's settings block holds $block"

printf 'Windows program under Wine (simulated unit on COM5)\n'
printf '  start to Download enabled          %6d ms\n' $((found - started))
printf '  OK to "Programmed"                 %6d ms\n' $((programmed - ok_pressed))
awk -v ticks="$(getconf CLK_TCK)" -v used=$((cpu_after - cpu_before)) \
    'BEGIN { printf "  CPU while idle after discovery     %6.2f %% of one core\n", used * 100 / ticks / 3 }' 
