#!/usr/bin/env bash
# Runs a Windows program under Wine with a time limit, in the project's own Wine prefix unless
# the caller chose one. CTest uses this as its cross-compiling emulator.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec timeout -k 10 "${ZARNELL_WINE_TIMEOUT:-300}" wine "$@"
