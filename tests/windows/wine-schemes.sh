#!/usr/bin/env bash
# The windows under Windows' colour schemes, under Wine: the normal scheme, then a dark and a
# light contrast theme ("Night sky" and "Desert"), each set as the system colours in the prefix's
# registry, on a private display. zarnell-winschemes shows the windows and measures, on the
# screen, the contrast of each text, tick, ruler, value box and button.
#   wine-schemes.sh WINSCHEMES [--shots DIR]
# Wine answers that no contrast theme is on whatever its registry holds, so the program is told
# that one is; the colours are Wine's own, read from the registry as Windows reads them.
source "$(dirname "${BASH_SOURCE[0]}")/wine-desktop.sh"
winschemes=$1
shift
shots=
if [[ ${1:-} == --shots ]]; then
    shots=$2
    mkdir -p "$shots"
fi

xvfb_pid= kept=()
trap 'restore_scheme; stop_all $xvfb_pid' EXIT
[[ -f $winschemes ]] || fail "missing $winschemes"
start_session

# The system colours, and the visual style, which Windows switches off under a contrast theme
# so that controls are drawn in the system colours.
colours='HKCU\Control Panel\Colors'
theme='HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager'
# The prefix is shared with the other tests on the desktop, which expect the normal scheme: the
# two keys are kept here and put back on the way out.
for key in "$colours" "$theme"; do
    file="$work/key-${#kept[@]}.reg"
    timeout 60 wine reg export "$key" "$(winepath -w "$file")" >/dev/null 2>&1 &&
        kept+=("$key=$file")
done
restore_scheme() {
    local entry
    for entry in "${kept[@]}"; do
        timeout 60 wine reg delete "${entry%%=*}" /f >/dev/null 2>&1 || true
        timeout 60 wine reg import "$(winepath -w "${entry#*=}")" >/dev/null 2>&1 ||
            echo "$test_name: cannot put ${entry%%=*} back into $WINEPREFIX" >&2
    done
}

# Sets the system colours: pairs of a name under the colours' key and "R G B".
set_colours() {
    while (($#)); do
        timeout 60 wine reg add "$colours" /v "$1" /d "$2" /f >/dev/null 2>&1 ||
            fail "cannot set the colour $1"
        shift 2
    done
}

# Runs the windows under the scheme NAME (normal or contrast) and expects their face FACE.
check_scheme() {
    local title=$1 scheme=$2 face=$3 folder=
    if [[ -n $shots ]]; then
        folder="$shots/$title"
        mkdir -p "$folder"
    fi
    timeout 120 wine "$winschemes" "$scheme" "$face" ${folder:+"$(winepath -w "$folder")"} \
        >"$work/$title.log" 2>&1 || fail "$title: $(cat "$work/$title.log")"
    echo "$title: every part reads at 4.5:1 or better"
}

check_scheme normal normal '#a6caf0'

timeout 60 wine reg add "$theme" /v ThemeActive /d 0 /f >/dev/null 2>&1 ||
    fail "cannot switch the visual style off"

# A dark contrast theme: white on black, the selection lilac.
set_colours Window '0 0 0' WindowText '255 255 255' ButtonFace '0 0 0' ButtonText '255 255 255' \
    ButtonHilight '255 255 255' ButtonLight '0 0 0' ButtonShadow '255 255 255' \
    ButtonDkShadow '255 255 255' Hilight '214 180 253' HilightText '43 43 43' \
    GrayText '166 166 166' WindowFrame '255 255 255' InfoWindow '0 0 0' InfoText '255 255 255'
check_scheme dark-contrast contrast '#000000'

# A light contrast theme: dark grey on cream, the selection brown.
set_colours Window '255 250 239' WindowText '61 61 61' ButtonFace '255 250 239' \
    ButtonText '61 61 61' ButtonHilight '61 61 61' ButtonLight '255 250 239' \
    ButtonShadow '61 61 61' ButtonDkShadow '61 61 61' Hilight '144 57 9' \
    HilightText '255 245 227' GrayText '103 103 103' WindowFrame '61 61 61' \
    InfoWindow '255 250 239' InfoText '61 61 61'
check_scheme light-contrast contrast '#fffaef'
