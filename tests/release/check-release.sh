#!/bin/sh
# Checks the shipped Windows files of a release build: each within its size
# budget, each with the version resource of the project's version, and the
# programs with KOR's icon as icon group 100.
#   check-release.sh OBJDUMP VERSION FILE:BUDGET_KIB...
set -u
objdump=$1 version=$2
shift 2
status=0
for entry in "$@"; do
  file=${entry%:*} budget=${entry##*:}
  name=$(basename "$file")
  size=$(stat -c %s "$file")
  kib=$(( (size + 1023) / 1024 ))
  if [ "$size" -gt $((budget * 1024)) ]; then
    echo "FAIL $name: $kib KiB, over its budget of $budget KiB"; status=1
  else
    echo "ok   $name: $kib KiB (budget $budget KiB)"
  fi
  texts=$(strings -el -n 3 "$file")
  for want in ProductName Korvel ProductVersion FileVersion "$version" "$name"; do
    printf '%s\n' "$texts" | grep -qx -- "$want" ||
      { echo "FAIL $name: no '$want' in its version resource"; status=1; }
  done
  case $name in
  *.EXE|*.exe)
    # Type 14 (RT_GROUP_ICON) must hold the name 100.
    "$objdump" -p "$file" | awk '/^[0-9a-f]+   Entry: ID:/ {type = $4}
         /^[0-9a-f]+     Entry: ID:/ && type == "0x00000e," && $4 == "0x000064," {found = 1}
         END {exit !found}' ||
      { echo "FAIL $name: no icon group 100"; status=1; } ;;
  esac
done
exit $status
