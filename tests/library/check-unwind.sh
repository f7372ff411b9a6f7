#!/bin/sh
# An exception thrown and caught inside ZORVA.DLL unwinds in a host that has
# loaded GCC's shared libgcc first (tests/library/zorva_unwind_host.cpp).
#   check-unwind.sh WINE_RUN HOST
# Runs HOST with the test build of the library whose first export call
# throws: the host must survive. Where the control build stands beside it
# (32-bit: the same library without its own registration of its unwind
# tables), runs HOST with that too: the host must die at the throw, or this
# test could not tell whether the registration works.
set -u
run=$(cd "$(dirname "$1")" && pwd)/$(basename "$1") host=$2
cd "$(dirname "$host")" || exit 2
name=$(basename "$host")

out=$("$run" "$name" 2>&1)
status=$?
printf '%s\n' "$out"
[ $status -eq 77 ] && exit 77
if [ $status -ne 0 ] || ! printf '%s\n' "$out" | grep -q '^survived'; then
  echo "FAIL: the host did not survive an exception inside ZORVA.DLL (exit status $status)"
  exit 1
fi

[ -f control/ZORVA.DLL ] || { echo "ok: no control build here (64-bit)"; exit 0; }
echo "---- control: the library without its own registration of its tables"
out=$("$run" "$name" control 2>&1)
status=$?
printf '%s\n' "$out"
if [ $status -eq 0 ] || printf '%s\n' "$out" | grep -q '^survived' ||
   ! printf '%s\n' "$out" | grep -q '^the first export call throws'; then
  echo "FAIL: without the library's own registration the host did not die at the throw" \
       "(exit status $status), so this test cannot tell whether the registration works"
  exit 1
fi
echo "ok: the host survives the throw with the registration and dies without it" \
     "(exit status $status)"
