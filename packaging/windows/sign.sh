#!/usr/bin/env bash
# Signs Windows files (programs, installers, MSI packages) in place with an Authenticode
# signature, with the key that the environment names; without a key, leaves them unsigned and
# says so:
#   packaging/windows/sign.sh FILE...
#
#   ZARNELL_SIGN_PKCS12         a PKCS#12 file (.p12, .pfx) with the key and its certificate chain
#   ZARNELL_SIGN_PKCS11_MODULE  or a PKCS#11 module for a token or smart card, with
#   ZARNELL_SIGN_PKCS11_KEY       the key on it (a PKCS#11 URI, "pkcs11:object=...;type=private")
#   ZARNELL_SIGN_CERTS            and the certificate chain that goes with it (a PEM file)
#   ZARNELL_SIGN_PKCS11_ENGINE    the OpenSSL engine for it, where osslsigncode needs one
#   ZARNELL_SIGN_PASSWORD       the PKCS#12 file's password or the token's PIN; it reaches
#                               osslsigncode in a file that only this user can read, which is
#                               removed however the script ends; never on a command line or in
#                               osslsigncode's environment
#   ZARNELL_SIGN_TIMESTAMP_URL  an RFC 3161 timestamping server (the certificate authority's)
#   ZARNELL_SIGN_UNSTAMPED      1 to sign without a timestamp on purpose; with a key and neither
#                               this nor a timestamping server, signing fails
#
# Without a timestamp a signature is trusted only while its certificate is valid; with one it
# stays valid after the certificate expires. Without a timestamp the signing time is that of
# the release (SOURCE_DATE_EPOCH), so that a release signed twice with the same key is the same.
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/prelude.sh"

key=()
if [[ -n ${ZARNELL_SIGN_PKCS12:-} ]]; then
    [[ -f $ZARNELL_SIGN_PKCS12 ]] || { echo "sign: no PKCS#12 file at $ZARNELL_SIGN_PKCS12" >&2; exit 1; }
    key=(-pkcs12 "$ZARNELL_SIGN_PKCS12")
    source_of_key="the PKCS#12 file $(basename "$ZARNELL_SIGN_PKCS12")"
elif [[ -n ${ZARNELL_SIGN_PKCS11_MODULE:-} ]]; then
    : "${ZARNELL_SIGN_PKCS11_KEY:?sign: ZARNELL_SIGN_PKCS11_KEY names no key on the token}"
    : "${ZARNELL_SIGN_CERTS:?sign: ZARNELL_SIGN_CERTS names no certificate chain for the token}"
    key=(-pkcs11module "$ZARNELL_SIGN_PKCS11_MODULE" -key "$ZARNELL_SIGN_PKCS11_KEY"
        -certs "$ZARNELL_SIGN_CERTS")
    if [[ -n ${ZARNELL_SIGN_PKCS11_ENGINE:-} ]]; then
        key=(-pkcs11engine "$ZARNELL_SIGN_PKCS11_ENGINE" "${key[@]}")
    fi
    source_of_key="the PKCS#11 token of $(basename "$ZARNELL_SIGN_PKCS11_MODULE")"
else
    say "unsigned (no key: set ZARNELL_SIGN_PKCS12 or ZARNELL_SIGN_PKCS11_MODULE): $*"
    exit 0
fi

when=()
if [[ -n ${ZARNELL_SIGN_TIMESTAMP_URL:-} ]]; then
    when=(-ts "$ZARNELL_SIGN_TIMESTAMP_URL")
    stamp="timestamped by $ZARNELL_SIGN_TIMESTAMP_URL"
elif [[ ${ZARNELL_SIGN_UNSTAMPED:-} == 1 ]]; then
    : "${SOURCE_DATE_EPOCH:?sign: SOURCE_DATE_EPOCH is not set}"
    when=(-time "$SOURCE_DATE_EPOCH")
    stamp="NO TIMESTAMP (ZARNELL_SIGN_UNSTAMPED=1): valid only while the certificate is"
else
    echo "sign: no timestamping server (set ZARNELL_SIGN_TIMESTAMP_URL): a signature without a" \
        "timestamp stops being trusted when the certificate expires; set" \
        "ZARNELL_SIGN_UNSTAMPED=1 to sign without one on purpose" >&2
    exit 1
fi

password=()
if [[ -n ${ZARNELL_SIGN_PASSWORD:-} ]]; then
    # A file, not standard input: before 2.9 (Debian 12 has 2.5), osslsigncode takes "-" for a file.
    secrets=$(mktemp -d "${TMPDIR:-/tmp}/zarnell-sign.XXXXXX")
    trap 'rm -rf "$secrets"' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    (umask 077 && printf '%s' "$ZARNELL_SIGN_PASSWORD" >"$secrets/password")
    password=(-readpass "$secrets/password")
fi

for file in "$@"; do
    # osslsigncode cannot sign in place.
    signed="$file.signing"
    rm -f "$signed"
    env -u ZARNELL_SIGN_PASSWORD osslsigncode sign "${key[@]}" "${password[@]}" -h sha256 \
        "${when[@]}" -n "Zarnell Setup" -i https://github.com/zarnell/zarnell-setup \
        -in "$file" -out "$signed" </dev/null >"$signed.log" 2>&1 ||
        { cat "$signed.log" >&2; rm -f "$signed" "$signed.log"; exit 1; }
    rm -f "$signed.log"
    mv "$signed" "$file"
    say "signed $(basename "$file") with $source_of_key; $stamp"
done
