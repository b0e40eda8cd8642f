#!/usr/bin/env bash
# Runs a Windows test program under Wine with pairs of COM ports linked back to back, for tests
# that play the device themselves (the simulated unit, the loader window's tests):
#   run-with-pairs.sh PTYSHIM PROGRAM [ARGS...]
# Each pair is two pseudo-terminals joined by socat. A holder keeps the program side's slave open,
# so that the pair lives while the program closes and reopens its port. socat lets go of the
# device side's slave and waits until the test opens it (wait-slave): only then does closing it
# end the pair, which the program sees as a device that vanished. The pairs are named in
# ZARNELL_TEST_PAIRS ("COM20=COM21,..."); each can be used once. Test programs that run side by
# side take different COM numbers: each takes a free slot of ten, COM20 to COM89.
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/windows/wine-env.sh"
shim=$1
shift
wine_run="$root/tools/windows/wine-run.sh"
pairs=5

[[ -f $shim ]] || { echo "missing $shim (build it natively first)" >&2; exit 1; }

work=$(mktemp -d -t zarnell-pairs-XXXXXX)
pids=()
links=()
cleanup() {
    end_processes "${pids[@]}"
    rm -f "${links[@]}"
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$WINEPREFIX/slots"
slot=
for candidate in 2 3 4 5 6 7 8; do
    exec {lock}>"$WINEPREFIX/slots/$candidate"
    if flock -n "$lock"; then
        slot=$candidate
        break
    fi
    exec {lock}>&-
done
[[ -n $slot ]] || { echo "no free slot of COM ports" >&2; exit 1; }

names=()
for ((i = 0; i < pairs; ++i)); do
    program=COM$((slot * 10 + 2 * i)) device=COM$((slot * 10 + 2 * i + 1))
    # -t: once the device side is gone, the program side follows at once.
    socat -t 0.05 "pty,raw,echo=0,link=$work/$program" \
        "pty,raw,echo=0,wait-slave,pty-interval=0.01,link=$work/$device" {lock}>&- &
    pids+=($!)
    for side in "$program" "$device"; do
        within 30 test -e "$work/$side" || { echo "socat made no $work/$side" >&2; exit 1; }
        link="$WINEPREFIX/dosdevices/${side,,}"
        ln -sfn "$(readlink -f "$work/$side")" "$link"
        links+=("$link")
    done
    sleep infinity <>"$(readlink -f "$work/$program")" {lock}>&- &
    pids+=($!)
    names+=("$program=$device")
done

# Wine's own helper processes may outlive the program, so they must not inherit the slot's lock.
ZARNELL_TEST_PAIRS=$(IFS=,; echo "${names[*]}") LD_PRELOAD="$shim" "$wine_run" "$@" {lock}>&-
