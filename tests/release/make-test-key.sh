#!/usr/bin/env bash
# Makes a throwaway self-signed code-signing certificate and its key, for tests of signing:
#   tests/release/make-test-key.sh FOLDER
# writes FOLDER/cert.pem and FOLDER/key.p12 (password "test"). The tests point
# ZARNELL_SIGN_PKCS12 and ZARNELL_SIGN_PASSWORD at them, and verify with -CAfile cert.pem.
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/prelude.sh"
folder=$1
mkdir -p "$folder"
openssl req -x509 -newkey rsa:3072 -nodes -days 7 -subj "/CN=Zarnell Setup test signing" \
    -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
    -keyout "$folder/key.pem" -out "$folder/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$folder/key.pem" -in "$folder/cert.pem" -passout pass:test \
    -out "$folder/key.p12"
rm "$folder/key.pem"
