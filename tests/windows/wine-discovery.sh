#!/usr/bin/env bash
# Discovery of the Windows program under Wine on a technician's laptop, driven from outside as
# a user would (see wine-wholejob.sh): COM3 and COM4, listed before the dongle's COM5, take 5 s
# to open, as Bluetooth ports do; then the dongle is pulled out after discovery and put back
# behind the same COM name.
#   wine-discovery.sh EXE SIM PTYSHIM SLOWPORTS WINWINDOWS
# The Wine server opens a COM port's device, and a stall there would stop every Wine process, so
# the slow-ports library delays the program's own calls on the two ports' ttys instead (Wine's
# GetCommState asks the tty for its settings). It expects the dongle found before a slow port
# has opened, no probe on the slow ports, one box when the dongle goes, the dongle found again
# behind its name and a whole run to "Programmed" on the new unit with the sliders as they were
# set. It prints the times it measured.
source "$(dirname "${BASH_SOURCE[0]}")/wine-desktop.sh"
exe=$1 sim=$2 shim=$3 slowports=$4 winwindows=$5

slow_ms=5000
xvfb_pid= program_pid= slow3_pid= slow4_pid= dongle_pid= back_pid=
trap 'stop_all $program_pid $slow3_pid $slow4_pid $dongle_pid $back_pid $xvfb_pid' EXIT

# The probes a simulated unit received, from its report (written when it ends).
probes_of() { sed -n 's/.*"probes": *\([0-9]*\).*/\1/p' "$work/$1.json"; }

for file in "$exe" "$sim" "$shim" "$slowports" "$winwindows"; do
    [[ -f $file ]] || fail "missing $file"
done

start_session

start_sim slow3 --silent-dongle || fail "the simulator named no port"
start_sim slow4 --silent-dongle || fail "the simulator named no port"
start_sim dongle || fail "the simulator named no port"
link_com COM3 "$slow3_slave" '\Device\Serial0' || fail "cannot list COM3"
link_com COM4 "$slow4_slave" '\Device\Serial1' || fail "cannot list COM4"
link_com COM5 "$dongle_slave" '\Device\Serial2' || fail "cannot list COM5"

started=$(now_ms)
start_program "$exe" "$shim:$slowports" \
    ZARNELL_SLOW_TTY="$slow3_slave=$slow_ms:$slow4_slave=$slow_ms"
shown=$(now_ms)
within 60 test -e "$work/dongle.ready" || fail "the dongle was not found"
found=$(now_ms)
# A search that waited for the slow ports would take 5 s for each of them at least; a loaded
# machine may skip the dongle's own port for a pass, which costs a pass.
((found - shown < 2 * slow_ms)) || fail "the search waited for a slow port ($((found - shown)) ms)"

# ZN ID 2 and the other value 31, set with keys as in wine-wholejob.sh.
xdotool mousemove $((setup_x + 1 + 6 + 4)) $((setup_y + 132 + 6 + 8)) click 1
xdotool key Home Right
xdotool mousemove $((setup_x + 1 + 6 + 4)) $((setup_y + 51 + 6 + 8)) click 1
xdotool key End

# Pulled out: one box, which says so; then put back behind the same name.
unplugged=$(now_ms)
end_processes "$dongle_pid"
dongle_pid=
read -r _ _ _ _ _ < <(timeout 60 wine "$winwindows" wait zarnell-setup 20000) ||
    fail "no box told that the dongle was disconnected"
told=$(now_ms)
xdotool key Return
timeout 60 wine "$winwindows" wait-gone zarnell-setup 10000 || fail "the box stayed"
start_sim back || fail "the simulator named no port"
replugged=$(now_ms)
ln -sfn "$back_slave" "$WINEPREFIX/dosdevices/com5"
within 60 test -e "$work/back.ready" || fail "the dongle was not found again"
found_again=$(now_ms)
timeout 30 wine "$winwindows" wait-gone zarnell-setup 100 || fail "a second box came up"

download_to_programmed "$setup_x" "$setup_y" "$work/program.log" 1
end_program "$setup_close_x" "$setup_close_y"

end_processes "$back_pid" "$slow3_pid" "$slow4_pid"
back_pid= slow3_pid= slow4_pid=
block=$(settings_block "$work/back.json")
expected="1f 02$(printf ' ff%.0s' {1..30})"
[[ $block == "$expected" ]] || fail "the unit put back holds the settings block $block"
[[ $(probes_of slow3) == 0 && $(probes_of slow4) == 0 ]] ||
    fail "a slow port was probed ($(probes_of slow3), $(probes_of slow4))"

printf 'Windows program under Wine: COM3 and COM4 take %d ms to open, the dongle on COM5\n' \
    "$slow_ms"
printf '  window shown to Download enabled    %6d ms   (start to window: %d ms)\n' \
    $((found - shown)) $((shown - started))
printf '  dongle pulled out to the box        %6d ms\n' $((told - unplugged))
printf '  dongle put back to Download enabled %6d ms\n' $((found_again - replugged))
