#!/bin/sh
# Signs Windows programs and DLLs in place (Authenticode, SHA-256, with
# osslsigncode), for scripts/package.sh and the installer's makensis run:
#   sign.sh FILE...
# with the certificate and its private key that the environment names:
#   KORVEL_SIGN_CERT       the code-signing certificate, PEM or DER; the
#                          certificates of its chain may follow it (PEM)
#   KORVEL_SIGN_KEY        its private key, PEM or DER
#   KORVEL_SIGN_PASS_FILE  a file whose first line is the key's password,
#                          when the key has one (it never asks for one: a
#                          key with a password and no such file fails)
#   KORVEL_SIGN_TIMESTAMP  the URL of an RFC 3161 time-stamping server: the
#                          signature then stays valid after the certificate
#                          expires (needs the network)
#   sign.sh --check        says whether the files that are named can be read
set -eu
fail() { echo "sign.sh: $*" >&2; exit 1; }
cert=${KORVEL_SIGN_CERT:-} key=${KORVEL_SIGN_KEY:-}
[ -n "$cert" ] && [ -n "$key" ] ||
  fail "KORVEL_SIGN_CERT and KORVEL_SIGN_KEY must both name a file (the certificate, its key)"
for f in "$cert" "$key" ${KORVEL_SIGN_PASS_FILE:+"$KORVEL_SIGN_PASS_FILE"}; do
  [ -f "$f" ] && [ -r "$f" ] || fail "cannot read $f"
done
[ "${1:-}" = --check ] && exit 0

for file in "$@"; do
  signed=$file.signing
  rm -f "$signed"
  # Without a terminal (setsid, no input): a key with a password and no
  # password file then fails at once rather than asking at every file.
  if ! setsid -w osslsigncode sign -certs "$cert" -key "$key" \
         ${KORVEL_SIGN_PASS_FILE:+-readpass "$KORVEL_SIGN_PASS_FILE"} \
         ${KORVEL_SIGN_TIMESTAMP:+-ts "$KORVEL_SIGN_TIMESTAMP"} \
         -h sha256 -n Korvel -in "$file" -out "$signed" </dev/null >"$signed.log" 2>&1; then
    cat "$signed.log" >&2
    rm -f "$signed" "$signed.log"
    fail "could not sign $file"
  fi
  rm -f "$signed.log"
  mv "$signed" "$file"
  echo "signed $file"
done
