#!/bin/sh
# Checks the shipped Windows files of a release build: each within its size
# budget, each with the version resource of the project's version, marked for
# Windows Vista and importing nothing that Vista lacks, and the programs with
# KOR's icon as icon group 100.
#   check-release.sh OBJDUMP VERSION FILE:BUDGET_KIB...
set -u
objdump=$1 version=$2
shift 2
status=0

# Windows Vista (6.0) is the oldest Windows the files run on (README). The PE
# header's subsystem and OS versions say so, and Windows XP refuses them.
vista_mark="MajorSubsystemVersion 6
MinorSubsystemVersion 0
MajorOSystemVersion 6
MinorOSystemVersion 0"
# Functions and DLLs that came after Vista and that the compiler's runtime or
# our code could come to import (a newer mingw-w64 runtime or a call of a
# newer API): any of them would keep the files from loading on Vista. Not
# every such function: those that a C++ runtime, a window or a console
# program plausibly uses.
after_vista="KERNEL32.dll!GetSystemTimePreciseAsFileTime KERNEL32.dll!WaitOnAddress
  KERNEL32.dll!WakeByAddressSingle KERNEL32.dll!WakeByAddressAll
  KERNEL32.dll!TryAcquireSRWLockExclusive KERNEL32.dll!TryAcquireSRWLockShared
  KERNEL32.dll!SetThreadDescription KERNEL32.dll!GetThreadDescription
  KERNEL32.dll!CreateFile2 KERNEL32.dll!SetDefaultDllDirectories KERNEL32.dll!AddDllDirectory
  KERNEL32.dll!GetCurrentProcessorNumberEx KERNEL32.dll!GetLogicalProcessorInformationEx
  KERNEL32.dll!QueryUnbiasedInterruptTime KERNEL32.dll!InitializeSynchronizationBarrier
  KERNEL32.dll!K32GetModuleFileNameExA KERNEL32.dll!K32EnumProcesses
  USER32.dll!GetDpiForWindow USER32.dll!GetDpiForSystem USER32.dll!GetSystemMetricsForDpi
  USER32.dll!SetProcessDpiAwarenessContext USER32.dll!SetThreadDpiAwarenessContext
  USER32.dll!AdjustWindowRectExForDpi USER32.dll!SystemParametersInfoForDpi
  USER32.dll!ChangeWindowMessageFilterEx USER32.dll!CalculatePopupWindowPosition
  shcore.dll api-ms-win-* ucrtbase.dll combase.dll"

late_pattern=$(printf '%s' "$after_vista" | tr -s '[:space:]' '\n' |
  sed 's/\./\\./g; s/\*/.*/g' | paste -sd '|')

# The imports of a PE file, one "DLL!Function" a line, and the DLLs alone.
imports() {  # FILE
  "$objdump" -p "$1" | awk '
    /^\tDLL Name: / { dll = $3; print dll; next }
    /^[^\t]/ { dll = "" }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll "!" $NF }'
}
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
  headers=$("$objdump" -p "$file")
  printf '%s\n' "$vista_mark" | while read -r field value; do
    printf '%s\n' "$headers" | grep -Eq "^$field[[:space:]]+$value\$" ||
      { echo "FAIL $name: $field is not $value (marked for Windows Vista):" \
             "$(printf '%s\n' "$headers" | grep "^$field")"; exit 1; }
  done || status=1
  imported=$(imports "$file")
  [ -n "$imported" ] || { echo "FAIL $name: no imports read"; status=1; }
  # Letter case ignored: import tables write the DLL names either way.
  late=$(printf '%s\n' "$imported" |
    grep -ixE "$late_pattern" | tr '\n' ' ')
  [ -z "$late" ] ||
    { echo "FAIL $name imports what Windows Vista lacks: $late"; status=1; }
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
