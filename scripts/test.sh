#!/bin/sh
# Installs what is missing, builds every preset and runs all their tests:
# linux (native, under AddressSanitizer and UndefinedBehaviorSanitizer), and
# win32 and win64 (cross-built, run under Wine in a prefix of their own);
# makes the release files (scripts/package.sh), signed with a throwaway
# certificate, and tries the installer under Wine
# (windows/installer/test-installer.sh); then runs each fuzz target for
# KORVEL_FUZZ_SECONDS (default 60, 0 skips).
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
status=0
for preset in linux win32 win64; do
  echo "==== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  if [ "$preset" = win32 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    # The 32-bit Wine loader is a 32-bit Linux program; a kernel built
    # without 32-bit support cannot start it. The build and its checks
    # that need no Wine still run.
    echo "SKIPPED: the win32 tests under Wine; this machine cannot run 32-bit" \
         "programs (/usr/lib/wine/wine: $(/usr/lib/wine/wine --version 2>&1 | head -n 1 | sed 's/.*: //'))." \
         "Skipped here:"
    ctest --preset "$preset" -L wine -N | sed -n 's/^ *Test *#[0-9]*: /  /p'
    ctest --preset "$preset" -LE wine || status=1
  else
    ctest --preset "$preset" || status=1
  fi
  if [ "$preset" = linux ]; then
    # The main command on a machine without a display shows the library at
    # work and succeeds.
    echo "==== scripts/run.sh without a display"
    if out=$(env -u DISPLAY sh scripts/run.sh 2>&1) &&
       printf '%s\n' "$out" | grep -q '^  reply: '; then
      echo "ok: it shows the library at work and exits 0"
    else
      printf '%s\n' "$out"
      echo "FAIL: scripts/run.sh without a display gave no reply or did not exit 0"
      status=1
    fi
  fi
  if [ "$preset" = win64 ]; then
    # The release files in dist/ and the installer at work under Wine, signed
    # with a throwaway self-signed certificate made for this run (its key
    # with a password, as a release key has one).
    echo "==== package"
    signing=build/signing-test
    rm -rf "$signing"
    mkdir -p "$signing"
    echo "throwaway-$$" >"$signing/password"
    if openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -subj "/CN=Korvel test signing" \
         -addext extendedKeyUsage=codeSigning -passout "file:$signing/password" \
         -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>"$signing/openssl.log"; then
      KORVEL_SIGN_CERT=$signing/cert.pem KORVEL_SIGN_KEY=$signing/key.pem \
        KORVEL_SIGN_PASS_FILE=$signing/password sh scripts/package.sh || status=1
      KORVEL_SIGN_CERT=$signing/cert.pem sh windows/installer/test-installer.sh || status=1
    else
      cat "$signing/openssl.log"
      echo "FAIL: openssl made no test certificate"
      status=1
    fi
  fi
done
seconds=${KORVEL_FUZZ_SECONDS:-60}
if [ "$seconds" -gt 0 ]; then
  echo "==== fuzz ($seconds s per target)"
  sh scripts/fuzz.sh "$seconds" || status=1
fi
exit $status
