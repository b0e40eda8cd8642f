#!/usr/bin/env bash
# zarnell-cli.exe under Wine, as batch scripts and console windows run it, against simulated
# units behind COM11 and COM12, which ZARNELL_PORTS lists:
# - one command programs the unit behind COM11, which refuses one block and escapes every answer:
#   the JSON on standard output holds the outcome, and the unit's EEPROM the block, byte for byte;
# - with a second dongle behind COM12 it writes nothing to either and names both (status 9);
#   --port COM12 then programs that unit alone;
# - the console window closed, the user logging off or the system shutting down mid-run (each
#   event raised as Windows raises it) ends the command by itself, the frame under way sent whole
#   and the port closed, saying that the unit's EEPROM was left unfinished (status 7).
#   wine-cli.sh CLI SIM SHIM CONSOLEEVENT
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/windows/wine-env.sh"
cli=$1 sim=$2 shim=$3 consoleevent=$4
wine_run="$root/tools/windows/wine-run.sh"
work=$(mktemp -d -t zarnell-wine-cli-XXXXXX)
units=()
links=()
stop_units() {
    end_processes "${units[@]}"
    rm -f "${links[@]}"
    units=() links=()
}
trap 'stop_units; rm -rf "$work"' EXIT
fail() {
    echo "wine-cli: $*" >&2
    [[ -f $work/cli.err ]] && tail -n 20 "$work/cli.err" >&2
    exit 1
}

# A simulated unit behind COMn that writes its report to $work/NAME.json when it stops:
#   start_unit COMn NAME [SIMULATOR OPTIONS...]
start_unit() {
    local port=$1 name=$2 slave= fd
    shift 2
    exec {fd}< <(exec "$sim" --report "$work/$name.json" "$@")
    units+=("$!")
    read -r -t 30 slave <&"$fd" || true
    exec {fd}<&-
    [[ $slave == /dev/* ]] || fail "the simulator named no port"
    links+=("$WINEPREFIX/dosdevices/${port,,}")
    ln -sfn "$slave" "${links[-1]}"
}

# Runs the command line on the listed ports: cli PORTS [ARGUMENTS...]; its status in $status.
cli() {
    status=0
    ZARNELL_PORTS=$1 LD_PRELOAD="$shim" "$wine_run" "$cli" "${@:2}" \
        >"$work/cli.out" 2>"$work/cli.err" || status=$?
}

# Checks the files of a case with Python: check WHAT PYTHON-CODE; $work is the folder.
check() {
    python3 - "$work" <<<"import json, sys
work = sys.argv[1]
def load(name):
    return json.load(open(f'{work}/{name}'))
$2" || fail "$1"
}

block="1f04$(printf 'ff%.0s' {1..30})"
start_unit COM11 one --refuse-frame 3 --escaped
cli COM11 program --zn-id 4 --value 31 --yes --json
((status == 0)) || fail "zarnell-cli.exe ended with status $status"
stop_units
check "the run's record is wrong" "
run, unit = load('cli.out'), load('one.json')
assert run['outcome'] == 'programmed' and run['exit_status'] == 0, run
assert run['port'] == 'COM11' and run['block'] == '$block', run
assert ''.join(unit['eeprom'].split()[5:37]) == '$block', unit['eeprom']
kinds = [frame['kind'] for frame in unit['frames']]
assert kinds[:6] == ['SN', 'SB', 'SB', 'SB', 'SE', 'SZ'], kinds"
echo "zarnell-cli.exe programmed the unit on COM11 in $(python3 -c 'import json, sys
print(json.load(open(sys.argv[1]))["seconds"])' "$work/cli.out") s"

start_unit COM11 first
start_unit COM12 second
cli COM11:COM12 program --zn-id 4 --value 31 --yes --json
((status == 9)) || fail "two dongles: zarnell-cli.exe ended with status $status, not 9"
grep -q 'COM11, COM12' "$work/cli.err" || fail "two dongles: the ports are not named"
cli COM11:COM12 program --zn-id 4 --value 31 --yes --port COM12
((status == 0)) || fail "--port COM12: zarnell-cli.exe ended with status $status"
stop_units
check "two dongles: a unit was written that should not have been" "
first, second = load('first.json'), load('second.json')
assert not first['frames'], first['frames']
assert ''.join(second['eeprom'].split()[5:37]) == '$block', second['eeprom']"
echo "zarnell-cli.exe refused two dongles and programmed the one that --port chose"

for event in close logoff shutdown; do
    start_unit COM11 "$event" --frame-delay 400
    status=0
    # Once the first block has been acknowledged: it went out whole before the event.
    ZARNELL_PORTS=COM11 LD_PRELOAD="$shim" "$wine_run" "$consoleevent" "$event" block-high \
        "$cli" program --zn-id 4 --value 31 --yes >"$work/cli.out" 2>"$work/cli.err" || status=$?
    ((status == 7)) || fail "console $event: zarnell-cli.exe ended with status $status, not 7"
    grep -q "the port is closed. The unit's EEPROM was left unfinished" "$work/cli.err" ||
        fail "console $event: the command did not say that the EEPROM was left unfinished"
    stop_units
    check "console $event: the run went on, or a frame was cut short" "
frames = [frame['kind'] for frame in load('$event.json')['frames']]
assert 2 <= len(frames) < 4 and 'malformed' not in frames, frames"
done
echo "zarnell-cli.exe closed its port and said so when its console closed, at logoff and shutdown"
