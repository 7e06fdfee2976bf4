#!/usr/bin/env bash
# Authenticode-signs a launcher build in place, with Debian's osslsigncode:
#   scripts/sign-launcher.sh EXE CERTIFICATE KEY [TIMESTAMP_URL]
# CERTIFICATE is the code-signing certificate with its chain (PEM or DER), KEY its private key. With
# KYR_SIGN_PASSFILE set, the key's passphrase is read from that file. The signed program is written
# beside EXE and moved onto it only when signing succeeded, so a failure leaves EXE as it was.
set -euo pipefail

if [ "$#" -lt 3 ] || [ "$#" -gt 4 ]; then
    echo "usage: $0 EXE CERTIFICATE KEY [TIMESTAMP_URL]" >&2
    exit 2
fi
exe=$1 certificate=$2 key=$3 timestamp=${4:-}
for file in "$exe" "$certificate" "$key"; do
    [ -f "$file" ] || { echo "sign-launcher: no such file: $file" >&2; exit 2; }
done

options=(-certs "$certificate" -key "$key" -n "KYR Launcher" -h sha256)
[ -n "$timestamp" ] && options+=(-t "$timestamp")
[ -n "${KYR_SIGN_PASSFILE:-}" ] && options+=(-readpass "$KYR_SIGN_PASSFILE")

# A private folder beside EXE: the same file system, so the final move replaces EXE in one step.
work=$(mktemp -d "$(dirname "$exe")/.sign-launcher.XXXXXX")
trap 'rm -rf "$work"' EXIT
osslsigncode sign "${options[@]}" -in "$exe" -out "$work/signed.exe" >/dev/null
chmod --reference="$exe" "$work/signed.exe"
mv -f "$work/signed.exe" "$exe"
echo "sign-launcher: signed $exe"
