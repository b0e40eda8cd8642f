#!/usr/bin/env bash
# zarnell-cli.exe under Wine, as a batch script runs it: one command programs the simulated unit
# behind COM5, found by discovery on the port list that ZARNELL_PORTS gives, refusing one block
# and escaping every answer; the JSON on standard output holds the outcome, and the unit's
# EEPROM holds the block, byte for byte.
#   wine-cli.sh CLI SIM SHIM
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/prelude.sh"
cli=$1 sim=$2 shim=$3
work=$(mktemp -d -t zarnell-wine-cli-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "wine-cli: $*" >&2
    [[ -f $work/cli.err ]] && tail -n 20 "$work/cli.err" >&2
    exit 1
}

status=0
ZARNELL_PORTS=COM5 bash "$root/tests/windows/run-with-sim.sh" "$sim" "$shim" COM5 \
    --report "$work/unit.json" --refuse-frame 3 --escaped -- \
    "$cli" program --zn-id 4 --value 31 --yes --json >"$work/cli.json" 2>"$work/cli.err" ||
    status=$?
((status == 0)) || fail "zarnell-cli.exe ended with status $status"

python3 - "$work/cli.json" "$work/unit.json" <<'CHECK' || fail "the run's record is wrong"
import json, sys
run = json.load(open(sys.argv[1]))
unit = json.load(open(sys.argv[2]))
block = "1f04" + "ff" * 30
assert run["outcome"] == "programmed" and run["exit_status"] == 0, run
assert run["port"] == "COM5" and run["block"] == block, run
eeprom = unit["eeprom"].split()
assert "".join(eeprom[5:37]) == block, eeprom[5:37]
kinds = [frame["kind"] for frame in unit["frames"]]
assert kinds[:6] == ["SN", "SB", "SB", "SB", "SE", "SZ"], kinds
CHECK
echo "zarnell-cli.exe programmed the unit on COM5 in $(python3 -c 'import json, sys
print(json.load(open(sys.argv[1]))["seconds"])' "$work/cli.json") s"
