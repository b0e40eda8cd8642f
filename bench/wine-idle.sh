#!/usr/bin/env bash
# The Windows program's CPU while it idles after discovery, under Wine, thread by thread:
#   wine-idle.sh EXE SIM SHIM WINWINDOWS [SECONDS]
# The program runs as a user runs it (on a private Xvfb display, in a Wine desktop, the simulated
# unit behind COM5) until it has found the dongle; then, for SECONDS (10 unless told), each
# thread's processor time is read from /proc. The main thread runs the windows and all of the
# program's logic; the serial port's event thread sleeps in WaitCommEvent, which Wine carries out
# with a poll of its own.
source "$(dirname "${BASH_SOURCE[0]}")/../tests/windows/wine-desktop.sh"
exe=$1 sim=$2 shim=$3 winwindows=$4 seconds=${5:-10}

xvfb_pid= sim_pid= program_pid=
trap 'stop_all $program_pid $sim_pid $xvfb_pid' EXIT

start_session
start_unit_on_com5
start_program "$exe" "$shim"
within 60 test -e "$work/unit.ready" || fail "the dongle was not found"
exe_pid=$(pgrep -f -n "$(basename "$exe")") || fail "no process of the program"
# Let the window finish what discovery's end started (the enabled button's first paint).
sleep 2

# Each thread of the program's process: "TID TICKS NAME", with TICKS its utime + stime in clock
# ticks; the name is the one Linux keeps for the thread (15 characters at most).
thread_ticks() {
    local task
    for task in /proc/"$exe_pid"/task/*; do
        awk -v tid="${task##*/}" -v name="$(<"$task/comm")" \
            '{ sub(/^.*\) /, ""); print tid, $12 + $13, name }' "$task/stat"
    done
}

# The main thread runs the windows and all of the program's logic. Wine names the threads that
# it and the graphics driver start inside the process (wine_*, llvmpipe-*, the shader cache's
# ...:disk$N); the other threads keep the program's name: the serial port's event thread, which
# waits in WaitCommEvent as Wine carries it out, and the workers of Wine's and Qt's pools.
role_of() {
    local tid=$1 name=$2
    if [[ $tid == "$exe_pid" ]]; then
        echo "the main thread: windows and program logic"
    elif [[ $name == "$(basename "$exe" | cut -c1-15)" ]]; then
        echo "event thread (WaitCommEvent) or pool worker"
    else
        echo "Wine's or the graphics driver's"
    fi
}

first=$(thread_ticks)
sleep "$seconds"
last=$(thread_ticks)

ticks=$(getconf CLK_TCK)
printf 'Windows program under Wine, idle after discovery, thread by thread (%d s)\n' "$seconds"
join <(sort <<<"$first") <(sort <<<"$last") | while read -r tid before _ after name; do
    awk -v tid="$tid" -v name="$name" -v role="$(role_of "$tid" "$name")" \
        -v used=$((after - before)) -v ticks="$ticks" -v seconds="$seconds" \
        'BEGIN { printf "  %-16s %-44s %5.2f %% of one core\n", name, role, used * 100 / ticks / seconds }'
done
