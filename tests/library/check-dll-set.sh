#!/bin/sh
# Every program and DLL in each folder finds each DLL it imports beside it or
# among Windows' own: a DLL that a test copies beside a program must come with
# what it imports, or it cannot load on any machine.
#   check-dll-set.sh OBJDUMP FOLDER...
set -u
objdump=$1
shift
status=0
checked=0
for dir in "$@"; do
  [ -d "$dir" ] || { echo "FAIL $dir: no such folder"; status=1; continue; }
  for file in "$dir"/*; do
    case $(printf '%s' "$file" | tr 'A-Z' 'a-z') in *.exe|*.dll) ;; *) continue ;; esac
    checked=$((checked + 1))
    for import in $("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
      lower=$(printf '%s' "$import" | tr 'A-Z' 'a-z')
      case $lower in
      kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|\
      comctl32.dll|comdlg32.dll|msvcrt.dll|ntdll.dll|shlwapi.dll|version.dll|winmm.dll|\
      imm32.dll|uxtheme.dll|ws2_32.dll|crypt32.dll|bcrypt.dll|secur32.dll|rpcrt4.dll|\
      userenv.dll|shcore.dll|dwmapi.dll|ucrtbase.dll|api-ms-win-*.dll)
        continue ;;
      esac
      ls "$dir" | tr 'A-Z' 'a-z' | grep -qxF "$lower" && continue
      echo "FAIL $(basename "$file") in $dir imports $import, which is neither beside it" \
           "nor part of Windows"
      status=1
    done
  done
done
echo "checked the imports of $checked programs and DLLs"
[ $checked -gt 0 ] || status=1
exit $status
