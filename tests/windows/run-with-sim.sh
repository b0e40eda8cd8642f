#!/usr/bin/env bash
# Runs a Windows test program under Wine against the simulated unit:
#   run-with-sim.sh UNIT_SIM PTYSHIM COMn [SIM-OPTIONS...] -- PROGRAM [ARGS...]
# starts UNIT_SIM with SIM-OPTIONS on a pseudo-terminal, links the Wine prefix's COMn to it, runs PROGRAM with
# ZARNELL_TEST_PORT=COMn and the pty shim preloaded into Wine alone, and takes all of it down
# again, also on failure.
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/windows/wine-env.sh"
sim=$1 shim=$2 port=$3
shift 3
sim_options=()
while (($#)) && [[ $1 != -- ]]; do
    sim_options+=("$1")
    shift
done
[[ ${1:-} == -- ]] && shift
wine_run="$root/tools/windows/wine-run.sh"
link="$WINEPREFIX/dosdevices/${port,,}"

for file in "$sim" "$shim"; do
    [[ -x $file || -f $file ]] || { echo "missing $file (build it natively first)" >&2; exit 1; }
done

sim_pid=
cleanup() {
    rm -f "$link"
    end_processes $sim_pid
}
trap cleanup EXIT

coproc SIM { exec "$sim" "${sim_options[@]}"; }
sim_pid=$SIM_PID
slave=
read -r -t 30 slave <&"${SIM[0]}" || true
[[ $slave == /dev/* ]] || { echo "the simulator named no port" >&2; exit 1; }

ln -sfn "$slave" "$link"

ZARNELL_TEST_PORT=$port LD_PRELOAD="$shim" "$wine_run" "$@"
