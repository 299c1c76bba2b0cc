#!/usr/bin/env bash
# Signing install.exe as a release is signed: a key generated in a SoftHSM2 token made for this
# run, a certificate from a throwaway CA, and a timestamp server on 127.0.0.1. A table of rows
# through cmake/sign.cmake: what must sign, and each fault, refused with its own message and
# leaving no signed file. Then a build tree configured for the token: no timestamp server
# fails the build and every re-run, the list's next server signs, and the PIN is nowhere in
# the tree or the build's output.
# Usage: signing_test.sh CMAKE SOURCE_DIR OSSLSIGNCODE PYTHON...
set -euo pipefail
cmake="$1" source_dir="$2" osslsigncode="$3"
shift 3
python=("$@")
resources="$source_dir/tests/resources"
# The timestamp server listens on 127.0.0.1; a network namespace of its own (unshare -n) starts
# with the loopback interface down, and there no row could run.
if ! "${python[@]}" -c 'import socket
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(1)
socket.create_connection(s.getsockname(), timeout=5).close()' 2>/dev/null; then
  echo "skipped: nothing connects to 127.0.0.1 here (loopback down), so no timestamp server runs"
  exit 77
fi
work="$(mktemp -d)"
server=""
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
"$osslsigncode" --version | head -n 1

"$resources/make_signing_token.sh" token >/dev/null
export SOFTHSM2_CONF="$work/token/softhsm2.conf"
module=/usr/lib/softhsm/libsofthsm2.so
uri="pkcs11:token=install-signing;object=code-signing;type=private"
pin="$(cat token/pin.txt)"

"${python[@]}" "$resources/timestamp_server.py" tsa 900 &
server=$!
for _ in $(seq 300); do [ -s tsa/port ] && break; sleep 0.1; done
tsa="http://127.0.0.1:$(cat tsa/port)/"
cat token/ca.pem tsa/tsa-ca.pem >trust.pem
# A port that was free a moment ago: nothing answers there.
dead="http://127.0.0.1:$("${python[@]}" -c 'import socket
s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')/"

# Certificates from the same throwaway CA for the faults: the token's key past its dates or
# without code signing, and a password-protected PEM key of its own.
printf '%s\n' "[ca]" "default_ca = throwaway" "[throwaway]" "database = index.txt" \
  "new_certs_dir = ." "certificate = token/ca.pem" "private_key = token/ca.key" \
  "rand_serial = yes" "default_md = sha256" "policy = any" "unique_subject = no" \
  "[any]" "commonName = supplied" >ca.cnf
: >index.txt
printf 'extendedKeyUsage=serverAuth\n' >server.ext
issue() { # OUT REQUEST EXTFILE START END
  openssl ca -batch -config ca.cnf -preserveDN -notext -in "$2" -extfile "$3" \
    -startdate "$4" -enddate "$5" -out "$1" 2>/dev/null
}
soon="$(date -u -d '+7 days' +%Y%m%d%H%M%SZ)" past="$(date -u -d '-1 hour' +%Y%m%d%H%M%SZ)"
issue expired.pem token/request.pem token/codesign.ext 20250101000000Z 20250201000000Z
issue server.pem token/request.pem server.ext "$past" "$soon"
printf 'pem key password\n' >pem-password.txt
printf 'not the PIN\n' >wrong-pin.txt
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -aes-256-cbc \
  -pass file:pem-password.txt -out pem.key 2>/dev/null
openssl req -new -key pem.key -passin file:pem-password.txt -subj "/CN=install.exe PEM signer" \
  -out pem.csr
issue pem.pem pem.csr token/codesign.ext "$past" "$soon"

# install.exe unsigned, from a build tree of this source configured for the token; the same
# tree signs further down.
configure() {
  "$cmake" -S "$source_dir" -B build --toolchain "$source_dir/cmake/i686-w64-mingw32.cmake" \
    -DOSSLSIGNCODE="$osslsigncode" "$@" >>build.log 2>&1 || { cat build.log; exit 1; }
}
build() { "$cmake" --build build --target install_exe -j2 >build.out 2>&1; }
configure
build || { cat build.out; exit 1; }
cp build/install.exe unsigned.exe

token=(CERT=token/cert.pem "KEY=$uri" PKCS11_MODULE=$module PASSWORD_FILE=token/pin.txt)
pem=(CERT=pem.pem KEY=pem.key PASSWORD_FILE=pem-password.txt)
failures=0
# row NAME EXPECTED NAME=VALUE...: signs unsigned.exe into NAME.exe; EXPECTED is "signed" or
# the line the refusal must print.
row() {
  local name="$1" expected="$2" options=()
  shift 2
  for option in INPUT=unsigned.exe "OUTPUT=$name.exe" "TIMESTAMP_URL=$tsa" CA_FILE=trust.pem \
                "DESCRIPTION=install.exe test" "OSSLSIGNCODE=$osslsigncode" "$@"; do
    options+=("-D$option")
  done
  local status=0
  "$cmake" "${options[@]}" -P "$source_dir/cmake/sign.cmake" >"$name.log" 2>&1 || status=$?
  if [ "$expected" = signed ]; then
    if [ "$status" -ne 0 ] ||
       ! "$osslsigncode" verify -CAfile trust.pem -TSA-CAfile trust.pem -in "$name.exe" \
         >"$name.verify" 2>&1 ||
       ! grep -qE 'Timestamp time|signature is timestamped' "$name.verify" ||
       ! "$osslsigncode" remove-signature -in "$name.exe" -out "$name.unsigned.exe" \
         >/dev/null 2>&1 ||
       ! cmp -s "$name.unsigned.exe" unsigned.exe; then
      echo "FAIL $name: not signed, timestamped and reversible"; cat "$name.log" "$name.verify"
      failures=$((failures + 1))
    fi
  elif [ "$status" -eq 0 ] || ! grep -qF "signing refused: $expected" "$name.log" ||
       [ -e "$name.exe" ] || [ -e "$name.exe.signing" ]; then
    echo "FAIL $name: expected the refusal \"$expected\" and no file"; cat "$name.log"
    failures=$((failures + 1))
  fi
}

row token        signed "${token[@]}"
row pem_key      signed "${pem[@]}"
row expired      "the certificate CN=install.exe demo signer,O=Demo vendor expired on 2025-02-01" \
                 "${token[@]}" CERT=expired.pem
row no_codesign  "the certificate CN=install.exe demo signer,O=Demo vendor has no code-signing" \
                 "${token[@]}" CERT=server.pem
row mismatched   "the key pem.key does not match the certificate CN=install.exe demo signer" \
                 "${pem[@]}" CERT=token/cert.pem
row wrong_pin    "wrong PIN for the token of $uri" "${token[@]}" PASSWORD_FILE=wrong-pin.txt

# The build tree, configured for the token: no server answers, so the build fails and leaves
# no install.exe, and so does a re-run; with a server after the dead one it signs.
configure "-DINSTALL_SIGNING_CERT=$work/token/cert.pem" "-DINSTALL_SIGNING_KEY=$uri" \
  "-DINSTALL_SIGNING_PKCS11_MODULE=$module" "-DINSTALL_SIGNING_PASSWORD_FILE=$work/token/pin.txt" \
  "-DINSTALL_SIGNING_CA_FILE=$work/trust.pem" "-DINSTALL_SIGNING_TIMESTAMP_URL=$dead"
for run in first re-run; do
  if build || [ -e build/install.exe ] ||
     ! grep -qF "signing refused: no timestamp server answered" build.out; then
    echo "FAIL no_server ($run build): expected a failed build without install.exe"
    cat build.out; failures=$((failures + 1))
  fi
  cat build.out >>build.log
done
configure "-DINSTALL_SIGNING_TIMESTAMP_URL=$dead;$tsa"
if ! build || ! "$osslsigncode" verify -CAfile trust.pem -TSA-CAfile trust.pem \
     -in build/install.exe >/dev/null 2>&1; then
  echo "FAIL server_list: the second server did not sign"; cat build.out
  failures=$((failures + 1))
fi
cat build.out >>build.log
if grep -rlF -- "$pin" build build.log; then
  echo "FAIL pin_secret: the PIN is in the files above"; failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] || exit 1
echo "all signing rows passed"
