#!/usr/bin/env bash
# The Windows program under Wine with the dongle's own COM port slow to open, as behind a
# Bluetooth or a slow USB bridge, driven from outside as a user would (see wine-wholejob.sh):
# COM5 takes 1.5 s to open, and in a second run of the program 4 s. The first open runs past its
# bound and is given up; a later pass gives the port the time it took, finds the dongle, and a
# whole run programs the unit. It prints the times it measured.
#   wine-slowdongle.sh EXE SIM PTYSHIM SLOWPORTS WINWINDOWS
# As in wine-discovery.sh, the slow-ports library delays the program's own first call on the
# tty (Wine's GetCommState), not the Wine server's open.
source "$(dirname "${BASH_SOURCE[0]}")/wine-desktop.sh"
exe=$1 sim=$2 shim=$3 slowports=$4 winwindows=$5

xvfb_pid= program_pid= unit_pid=
trap 'stop_all $program_pid $unit_pid $xvfb_pid' EXIT

for file in "$exe" "$sim" "$shim" "$slowports" "$winwindows"; do
    [[ -f $file ]] || fail "missing $file"
done

start_session
printf 'Windows program under Wine: the dongle on COM5, slow to open\n'
for slow_ms in 1500 4000; do
    # A simulator and files of its own for each run.
    name=dongle$slow_ms
    start_sim "$name" || fail "the simulator named no port"
    slave_of=${name}_slave pid_of=${name}_pid
    unit_pid=${!pid_of}
    link_com COM5 "${!slave_of}" '\Device\Serial0' || fail "cannot list COM5"
    start_program "$exe" "$shim:$slowports" ZARNELL_SLOW_TTY="${!slave_of}=$slow_ms"
    shown=$(now_ms)
    within 60 test -e "$work/$name.ready" || fail "the dongle, $slow_ms ms to open, was not found"
    found=$(now_ms)
    download_to_programmed "$setup_x" "$setup_y" "$work/program.log" 1
    end_program "$setup_close_x" "$setup_close_y"
    end_processes "$unit_pid"
    unit_pid=
    block=$(settings_block "$work/$name.json")
    [[ $block == "00 01$(printf ' ff%.0s' {1..30})" ]] ||
        fail "the unit holds the settings block $block"
    printf '  COM5 takes %4d ms to open: window shown to Download enabled %6d ms\n' \
        "$slow_ms" $((found - shown))
done
