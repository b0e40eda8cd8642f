#!/usr/bin/env bash
# Tests the Debian package as a user would, on a throwaway minimal Debian 12 root:
#   packaging/test-deb.sh [PACKAGE.deb]
# 1. unpacks a minimal bookworm root (packaging/debian-root.sh: debootstrapped once, then kept
#    as a tarball in the cache, ZARNELL_CACHE, outside the git tree) into a fresh temporary folder;
# 2. installs the package there with apt-get from Debian's archive, without recommended
#    packages, so that the package's own dependencies must be enough;
# 3. starts zarnell-setup from PATH on a private Xvfb display against the simulated unit on a
#    pseudo-terminal, waits until the program has found the dongle and enabled Download, and
#    closes its window as a window manager would; the program must end with status 0;
#    then zarnell-cli from PATH shows its help and programs the same unit;
# 4. purges the package and checks that nothing of it is left.
# Everything it started, mounted or unpacked is undone on the way out, also after a failure.
# Runs as root. The simulator and the window-closing helper come from the native build
# (cmake --build --preset default --target zarnell-unit-sim zarnell-close-window).
source "$(dirname "${BASH_SOURCE[0]}")/../tools/prelude.sh"
deb=$(readlink -f "${1:-$root/build/packages/zarnell-setup_1.0_amd64.deb}")
sim=${ZARNELL_UNIT_SIM:-$root/build/default/tools/zarnell-unit-sim}
close_window=${ZARNELL_CLOSE_WINDOW:-$root/build/default/tools/closewindow/zarnell-close-window}
patience=60 # seconds, for each thing waited for; a bound, not an expectation
source "$root/packaging/debian-root.sh"

fail() {
    printf 'test-deb: %s\n' "$*" >&2
    exit 1
}

[[ -f $deb ]] || fail "no package at $deb (build it with packaging/build-deb.sh)"
[[ -x $sim ]] || fail "no simulated unit at $sim"
[[ -x $close_window ]] || fail "no zarnell-close-window at $close_window (it needs libx11-dev)"
command -v Xvfb >/dev/null || fail "Xvfb is missing"

started=$SECONDS

# The processes this script started, by pid; a pid is forgotten once its process is reaped.
xvfb_pid=
sim_pid=
program_pid=

# Goes on past a failed step, so that every process is ended and every mount undone.
cleanup() {
    local status=$? pid
    set +e
    for pid in $program_pid $sim_pid $xvfb_pid; do
        kill -TERM "$pid"
        wait "$pid"
    done
    close_debian_root || status=1
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

open_debian_root

# --- Install -------------------------------------------------------------------------------

package=$(basename "$deb")
cp "$deb" "$debian_root/tmp/$package"
chmod 0644 "$debian_root/tmp/$package"
say "apt-get update"
quietly apt-update in_root apt-get update
say "apt-get install ./$package"
quietly apt-install in_root sh -c "cd /tmp && apt-get install -y --no-install-recommends ./$package"
sed -n '/^[0-9]* upgraded/p' "$work/apt-install.log"
in_root dpkg -L zarnell-setup >"$work/files"
program_path=$(in_root sh -c 'command -v zarnell-setup') || fail "zarnell-setup is not on PATH"
[[ $program_path == /usr/bin/zarnell-setup ]] || fail "zarnell-setup found at $program_path"
cli_path=$(in_root sh -c 'command -v zarnell-cli') || fail "zarnell-cli is not on PATH"
[[ $cli_path == /usr/bin/zarnell-cli ]] || fail "zarnell-cli found at $cli_path"
grep -qx /usr/share/man/man1/zarnell-cli.1.gz "$work/files" || fail "zarnell-cli has no manual page"
in_root zarnell-cli --help >"$work/cli-help.log" 2>&1 ||
    { cat "$work/cli-help.log" >&2; fail "zarnell-cli --help failed"; }
grep -q '^Exit status:' "$work/cli-help.log" || fail "zarnell-cli --help lists no exit statuses"
say "zarnell-cli --help runs"

# --- Run -----------------------------------------------------------------------------------

# Xvfb picks a free display itself and names it on descriptor 3 once it accepts clients.
mkfifo "$work/xvfb.fifo" "$work/sim.fifo"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/xvfb.fifo" \
    </dev/null >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec {xvfb_out}<"$work/xvfb.fifo"
read -r -t "$patience" -u "$xvfb_out" display ||
    { cat "$work/xvfb.log" >&2; fail "Xvfb named no display"; }
say "Xvfb on :$display"
bind_into_root /tmp/.X11-unix

"$sim" --ready-file "$work/ready" </dev/null >"$work/sim.fifo" 2>"$work/sim.log" &
sim_pid=$!
exec {sim_out}<"$work/sim.fifo"
read -r -t "$patience" -u "$sim_out" port || fail "the simulated unit named no port"
say "simulated unit on $port"

say "starting zarnell-setup in the root"
chroot "$debian_root" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root LANG=C.UTF-8 \
    DISPLAY=":$display" ZARNELL_PORTS="$port" zarnell-setup </dev/null >"$work/program.log" 2>&1 &
program_pid=$!

program_output() {
    echo "--- zarnell-setup said:" >&2
    cat "$work/program.log" >&2
}

ready_or_ended() { [[ -e $work/ready ]] || ! kill -0 "$program_pid" 2>/dev/null; }
within "$patience" ready_or_ended || { program_output; fail "Download was not enabled within ${patience} s"; }
kill -0 "$program_pid" 2>/dev/null || { program_output; fail "zarnell-setup ended before Download"; }
say "the program has found the dongle and enabled Download"

DISPLAY=":$display" "$close_window" "$program_pid" || fail "could not ask zarnell-setup's window to close"
ended() { ! kill -0 "$program_pid" 2>/dev/null; }
within "$patience" ended || { program_output; fail "zarnell-setup did not end within ${patience} s"; }
program_status=0
wait "$program_pid" || program_status=$?
program_pid=
((program_status == 0)) || { program_output; fail "zarnell-setup ended with status $program_status"; }
say "zarnell-setup closed with status 0"

say "zarnell-cli program on the same unit"
cli_status=0
chroot "$debian_root" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root LANG=C.UTF-8 \
    ZARNELL_PORTS="$port" zarnell-cli program --zn-id 3 --value 17 --yes \
    </dev/null >"$work/cli.log" 2>&1 || cli_status=$?
((cli_status == 0)) || { cat "$work/cli.log" >&2; fail "zarnell-cli program ended with status $cli_status"; }
grep -qx Programmed "$work/cli.log" || { cat "$work/cli.log" >&2; fail "zarnell-cli did not say Programmed"; }
say "zarnell-cli programmed the unit"

kill -TERM "$sim_pid"
sim_status=0
wait "$sim_pid" || sim_status=$?
sim_pid=
((sim_status == 0)) || { cat "$work/sim.log" >&2; fail "the simulated unit ended with status $sim_status"; }

# --- Remove --------------------------------------------------------------------------------

say "apt-get remove --purge zarnell-setup"
quietly apt-remove in_root apt-get remove --purge -y zarnell-setup
if in_root dpkg -s zarnell-setup >/dev/null 2>&1; then
    fail "dpkg still knows zarnell-setup after the purge"
fi
# What the package installed must be gone, except folders that other packages own as well.
left=()
while IFS= read -r path; do
    [[ $path == /. ]] && continue
    if [[ -e $debian_root$path || -L $debian_root$path ]] &&
        ! in_root dpkg -S "$path" >/dev/null 2>&1; then
        left+=("$path")
    fi
done <"$work/files"
((${#left[@]} == 0)) || fail "left behind after the purge: ${left[*]}"

say "the package installed, ran, closed and left nothing behind ($((SECONDS - started)) s)"
