#!/usr/bin/env bash
# Signs a copy of install.exe with a throwaway self-signed certificate through the build's
# own signing script, and checks the signature; the unsigned and a tampered file must fail.
# Usage: signing_test.sh CMAKE SIGN_SCRIPT INSTALL_EXE
set -euo pipefail
cmake="$1" sign_script="$2" install_exe="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=install.exe test signer" \
  -addext "extendedKeyUsage=codeSigning" -keyout key.pem -out cert.pem 2>/dev/null
cp "$install_exe" unsigned.exe

verify() { osslsigncode verify -CAfile cert.pem -in "$1" >"$1.log" 2>&1; }

if verify unsigned.exe; then
  echo "FAIL: the unsigned file passes verification"; cat unsigned.exe.log; exit 1
fi
"$cmake" -DINPUT=unsigned.exe -DOUTPUT=signed.exe -DCERT=cert.pem -DKEY=key.pem -P "$sign_script"
cmp -s unsigned.exe "$install_exe" || { echo "FAIL: signing changed its input"; exit 1; }
if ! verify signed.exe; then
  echo "FAIL: the signed file does not verify"; cat signed.exe.log; exit 1
fi
grep -q "install.exe test signer" signed.exe.log || { echo "FAIL: signer not found"; exit 1; }

# One byte of code changed after signing must break the signature.
cp signed.exe tampered.exe
printf '\xcc' | dd of=tampered.exe bs=1 seek=1100 conv=notrunc status=none
if verify tampered.exe; then
  echo "FAIL: a tampered file passes verification"; exit 1
fi

# In place, as the build does it.
cp unsigned.exe inplace.exe
"$cmake" -DINPUT=inplace.exe -DCERT=cert.pem -DKEY=key.pem -P "$sign_script"
verify inplace.exe || { echo "FAIL: signing in place"; cat inplace.exe.log; exit 1; }
echo "signed and verified; unsigned and tampered files rejected"
