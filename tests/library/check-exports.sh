#!/bin/sh
# Checks that a built library exports exactly the given names, undecorated.
#   check-exports.sh elf|pe TOOL LIBRARY NAME...   (TOOL: nm for elf, objdump for pe)
set -u
kind=$1 tool=$2 library=$3
shift 3
case "$kind" in
elf) found=$("$tool" -D --defined-only "$library" | awk '$2 ~ /^[TtWDdBbRrVvi]$/ {print $3}' | sort) ;;
pe)  found=$("$tool" -p "$library" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && NF==0 {t=0} t {print $NF}' | sort) ;;
*) echo "unknown kind $kind" >&2; exit 2 ;;
esac
expected=$(printf '%s\n' "$@" | sort)
if [ "$found" != "$expected" ]; then
  echo "exports of $library:"; echo "$found"
  echo "expected:"; echo "$expected"
  exit 1
fi
echo "$library exports exactly: $(echo $expected)"
