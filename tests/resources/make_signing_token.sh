#!/usr/bin/env bash
# Makes a SoftHSM2 token whose code-signing key is generated inside it and never leaves it, and
# a certificate for that key from a throwaway CA, made from a request the token's key signed,
# as a vendor gets one. For the signing test, and by hand for a demo of a signed release.
# Usage: make_signing_token.sh DIR
# DIR must not exist yet. Then, to sign with it:
#   export SOFTHSM2_CONF=DIR/softhsm2.conf
#   -DINSTALL_SIGNING_CERT=DIR/cert.pem        the certificate, then the CA's
#   -DINSTALL_SIGNING_KEY="pkcs11:token=install-signing;object=code-signing;type=private"
#   -DINSTALL_SIGNING_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so
#   -DINSTALL_SIGNING_PASSWORD_FILE=DIR/pin.txt the token's user PIN
#   -DINSTALL_SIGNING_CA_FILE=...             DIR/ca.pem with the timestamp server's root
# DIR/ca.pem, DIR/ca.key and DIR/request.pem issue other certificates for the same key.
# PINs go to the tools through the environment (pkcs11-tool's env:) or files, never arguments.
set -euo pipefail
dir="$1"
module=/usr/lib/softhsm/libsofthsm2.so
token=install-signing object=code-signing
mkdir "$dir"
dir="$(cd "$dir" && pwd)"
umask 077
mkdir "$dir/tokens"
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' \
  "$dir" >"$dir/softhsm2.conf"
export SOFTHSM2_CONF="$dir/softhsm2.conf"
# The security officer's PIN is needed once, to set the user's; nobody keeps it.
SIGNING_SO_PIN="$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')"
SIGNING_PIN="$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')"
export SIGNING_SO_PIN SIGNING_PIN
printf '%s' "$SIGNING_PIN" >"$dir/pin.txt"

p11() {
  local output
  output="$(pkcs11-tool --module "$module" "$@" 2>&1)" || { printf '%s\n' "$output" >&2; return 1; }
}
p11 --init-token --label "$token" --so-pin env:SIGNING_SO_PIN
p11 --token-label "$token" --login --login-type so --so-pin env:SIGNING_SO_PIN \
  --init-pin --new-pin env:SIGNING_PIN
p11 --token-label "$token" --login --pin env:SIGNING_PIN --keypairgen --key-type rsa:3072 \
  --id 01 --label "$object"

openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 30 -subj "/CN=Throwaway signing CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null
PKCS11_MODULE_PATH="$module" openssl req -new -engine pkcs11 -keyform engine \
  -key "pkcs11:token=$token;object=$object;type=private" -passin "file:$dir/pin.txt" \
  -subj "/O=Demo vendor/CN=install.exe demo signer" -out "$dir/request.pem" \
  </dev/null >/dev/null 2>&1
printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
  "extendedKeyUsage=codeSigning" >"$dir/codesign.ext"
openssl x509 -req -in "$dir/request.pem" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -sha256 \
  -days 7 -set_serial "0x$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')" \
  -extfile "$dir/codesign.ext" -out "$dir/signer.pem" 2>/dev/null
cat "$dir/signer.pem" "$dir/ca.pem" >"$dir/cert.pem"
chmod 0644 "$dir"/*.pem
echo "token $token in $dir, key $object, certificate $dir/cert.pem"
