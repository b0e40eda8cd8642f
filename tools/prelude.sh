# What every script of the project begins with, and the helpers that several of them share.
# Sourced first, by its path from the script's own place, not run:
#   source "$(dirname "${BASH_SOURCE[0]}")/../tools/prelude.sh"
# It sets strict mode, root (the project's root), jobs (ZARNELL_JOBS, or one job a core) and
# defines say and within. It stays in the caller's folder: a script whose arguments are paths
# reads them there, and then goes to $root itself.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${ZARNELL_JOBS:-$(nproc 2>/dev/null || echo 2)}

# The heading of a step. A script whose standard output is its result (a path, a folder) sends
# everything else, headings included, to standard error with `exec {result}>&1 >&2`, and its
# result to "$result".
say() { printf '\n== %s\n' "$*"; }

# Waits at most Seconds for a condition that nothing announces (a file, a log line, a window of
# another process), asking again every 50 ms.
within() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}
