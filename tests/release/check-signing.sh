#!/usr/bin/env bash
# Checks packaging/windows/sign.sh with the osslsigncode of Debian 12 itself (2.5, which takes
# "-readpass -" for a file's name), on a throwaway minimal Debian 12 root
# (packaging/debian-root.sh), with a throwaway key (tests/release/make-test-key.sh):
#   tests/release/check-signing.sh
# - with the key and no timestamping server, signing fails and leaves the file as it was,
#   unless ZARNELL_SIGN_UNSTAMPED=1 says that it is to be unstamped on purpose;
# - with a wrong password, signing fails and leaves the file as it was;
# - otherwise a small Windows program is signed, and its signature verifies;
# - the password reaches osslsigncode only in a file that only its user can read, never on its
#   command line or in its environment, and nothing of it is left, whether signing failed or not.
# Runs as root; x86_64-w64-mingw32-gcc makes the program.
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/prelude.sh"
source "$root/packaging/debian-root.sh"
source "$root/packaging/source-date.sh"

fail() {
    printf 'check-signing: %s\n' "$*" >&2
    exit 1
}

cleanup() {
    local status=$?
    set +e
    close_debian_root || status=1
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

open_debian_root
say "apt-get install osslsigncode, Debian 12's own"
quietly apt-update in_root apt-get update
quietly apt-install in_root apt-get install -y --no-install-recommends osslsigncode
in_root osslsigncode --version | head -n 1

# sign.sh as it lies in the tree, the key, the program, and the temporary folder of every
# signing, which must be empty after each.
inside=/opt/zarnell
here=$debian_root$inside
mkdir -p "$here/packaging/windows" "$here/tools" "$here/tmp" "$here/seen"
cp "$root/packaging/windows/sign.sh" "$here/packaging/windows/"
cp "$root/tools/prelude.sh" "$here/tools/"
bash "$root/tests/release/make-test-key.sh" "$here/key"
printf 'int main(void) { return 0; }\n' | x86_64-w64-mingw32-gcc -x c - -s -o "$here/small.exe"

# osslsigncode as sign.sh finds it on PATH: notes how it was called, then runs Debian's own.
cat >"$debian_root/usr/local/bin/osslsigncode" <<SHIM
#!/bin/sh
printf '%s\n' "\$@" >$inside/seen/arguments
env >$inside/seen/environment
previous=
for argument; do
    if [ "\$previous" = -readpass ]; then
        stat -c '%a %U' "\$(dirname "\$argument")" "\$argument" >$inside/seen/password-file
    fi
    previous=\$argument
done
exec /usr/bin/osslsigncode "\$@"
SHIM
chmod 0755 "$debian_root/usr/local/bin/osslsigncode"

# The password must have gone no other way than through its private file.
password_kept_private() {
    local case=$1 password=$2 seen=$here/seen
    [[ -f $seen/arguments ]] || return 0
    ! grep -Fxq -- "$password" "$seen/arguments" ||
        fail "$case: the password is on osslsigncode's command line"
    ! cut -d= -f2- "$seen/environment" | grep -Fxq -- "$password" ||
        fail "$case: the password is in osslsigncode's environment"
    [[ $(<"$seen/password-file") == $'700 root\n600 root' ]] ||
        fail "$case: the password's folder and file were $(<"$seen/password-file")"
}

# One case: what it is, whether sign.sh signs or fails, the password, and further variables.
check_case() {
    local case=$1 outcome=$2 password=$3 status=0
    shift 3
    say "signing: $case"
    cp "$here/small.exe" "$here/signed.exe"
    rm -f "$here/seen/"*
    in_root SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" TMPDIR=$inside/tmp \
        ZARNELL_SIGN_PKCS12=$inside/key/key.p12 ZARNELL_SIGN_PASSWORD="$password" "$@" \
        bash $inside/packaging/windows/sign.sh $inside/signed.exe >"$work/sign.log" 2>&1 ||
        status=$?
    [[ -z $(ls -A "$here/tmp") ]] || fail "$case: sign.sh left $(ls -A "$here/tmp") behind"
    password_kept_private "$case" "$password"
    if [[ $outcome == fails ]]; then
        ((status != 0)) || fail "$case: sign.sh signed"
        cmp -s "$here/small.exe" "$here/signed.exe" || fail "$case: sign.sh changed the file"
        echo "fails as it must: $(grep -v '^$' "$work/sign.log" | head -n 1)"
        return
    fi
    ((status == 0)) || { cat "$work/sign.log" >&2; fail "$case: sign.sh failed"; }
    [[ -f $here/seen/password-file ]] || fail "$case: osslsigncode was given no password file"
    in_root /usr/bin/osslsigncode verify -CAfile $inside/key/cert.pem -in $inside/signed.exe \
        >"$work/verify.log" 2>&1 || { cat "$work/verify.log" >&2; fail "$case: does not verify"; }
    echo "signed, and the signature verifies"
}

check_case "no timestamping server, not unstamped on purpose" fails test
check_case "a wrong password" fails wrong ZARNELL_SIGN_UNSTAMPED=1
check_case "unstamped on purpose" signs test ZARNELL_SIGN_UNSTAMPED=1
