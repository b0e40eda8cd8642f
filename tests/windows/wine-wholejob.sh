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
source "$(dirname "${BASH_SOURCE[0]}")/wine-desktop.sh"
exe=$1 sim=$2 shim=$3 winwindows=$4
shift 4
shots=
if [[ ${1:-} == --shots ]]; then
    shots=$2
    mkdir -p "$shots"
fi

xvfb_pid= sim_pid= program_pid=
trap 'stop_all $program_pid $sim_pid $xvfb_pid' EXIT

for file in "$exe" "$sim" "$shim" "$winwindows"; do
    [[ -f $file ]] || fail "missing $file"
done

start_session

sim_options=()
[[ -n $shots ]] && sim_options+=(--frame-delay 400)
start_unit_on_com5 "${sim_options[@]}"

# The program; its loader log (see start_wine_desktop) tells the driver when the run is over.
started=$(now_ms)
start_program "$exe" "$shim"
shoot 1-setup-window-searching $setup_frame
within 60 test -e "$work/unit.ready" || fail "the dongle was not found"
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

download_to_programmed "$setup_x" "$setup_y" "$work/program.log" 1
end_program "$setup_close_x" "$setup_close_y"

kill -TERM "$sim_pid"
wait "$sim_pid" || fail "the simulator failed"
sim_pid=
# 31 and 4 from the sliders, then thirty 255s.
block=$(settings_block "$work/unit.json")
expected="1f 04$(printf ' ff%.0s' {1..30})"
[[ $block == "$expected" ]] || fail "the unit's settings block holds $block"

printf 'Windows program under Wine (simulated unit on COM5)\n'
printf '  start to Download enabled          %6d ms\n' $((found - started))
printf '  OK to "Programmed"                 %6d ms\n' $((programmed - ok_pressed))
awk -v ticks="$(getconf CLK_TCK)" -v used=$((cpu_after - cpu_before)) \
    'BEGIN { printf "  CPU while idle after discovery     %6.2f %% of one core\n", used * 100 / ticks / 3 }'
