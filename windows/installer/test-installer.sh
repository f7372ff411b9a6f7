#!/bin/sh
# Checks the Windows release files that scripts/package.sh made: the two zips
# and the installer's contents and signatures always; then, in a fresh 64-bit
# Wine prefix (build/installer-wine), the installer's refusal of Windows XP, a
# silent install as Windows Vista, what it put on the system, the installed
# korvel and KOR at work, updates refused while an installed program runs or
# its DLL is loaded (silently, and with the operator at the pages: Retry),
# every key of HKLM\SOFTWARE\Calvek marked so that Windows never virtualises
# it (through a stand-in for reg.exe: Wine's has no flags command), an
# uninstall refused while KOR runs, and a silent uninstall that keeps the
# client passwords.
#
# The installer is a 32-bit program (it must start on 32-bit Windows too). On
# a machine that cannot run 32-bit programs the run of that file is skipped
# (a SKIPPED line says why) and the same script built as a 64-bit installer
# (build/package/korvel-test-setup-amd64.exe, made by scripts/package.sh
# with the other) runs in its place: it takes
# the 64-bit Windows branch, the one a 64-bit Windows takes.
#
# Code signing: with KORVEL_SIGN_CERT set (the certificate that
# scripts/package.sh signed with; scripts/test.sh makes a throwaway one), every
# shipped program and DLL, the installer and the uninstaller it writes must
# carry an intact signature by that certificate; without it none may carry a
# signature.
#
# Prints each check; exits non-zero when one fails.
set -u
cd "$(dirname "$0")/../.." || exit 1
# KOR needs a display: a virtual one when there is none.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a sh "$0" "$@"
fi
root=$PWD
failures=0
ok() { printf 'ok   %s\n' "$*"; }
fail() { printf 'FAIL %s\n' "$*"; failures=$((failures + 1)); }
check() {  # DESCRIPTION COMMAND...: ok when COMMAND succeeds
  what=$1
  shift
  if "$@" >/dev/null 2>&1; then ok "$what"; else fail "$what"; fi
}
not() { ! "$@"; }
# printf, not echo: sh's echo turns backslashes in Windows paths (\0...)
# into other characters.
lines() { printf '%s\n' "$@"; }
has_line() { lines "$1" | grep -qxF "$2"; }      # TEXT LINE
has_match() { lines "$1" | grep -Eq "$2"; }      # TEXT REGEX
member_is() { unzip -p "$1" "$2" | file - | grep -q "$3"; }  # ZIP MEMBER FILE-TYPE
member_has_crlf() { unzip -p "$1" "$2" | head -n 1 | grep -q "$(printf '\r')\$"; }

# Signatures. osslsigncode checks that the signature's digest matches the
# file and that the certificate chains to KORVEL_SIGN_CERT (a self-signed
# one chains to itself); whether Windows trusts the certificate is not
# something a test here can tell.
cert=${KORVEL_SIGN_CERT:-}
signed_intact() {  # FILE
  osslsigncode verify -CAfile "$cert" -in "$1"
}
unsigned() {  # FILE: the PE header's certificate table is empty
  x86_64-w64-mingw32-objdump -p "$1" |
    grep -Eq '^Entry 4 0+ 0+ Security Directory'
}
check_signature() {  # FILE DESCRIPTION
  if [ -n "$cert" ]; then
    check "$2 carries an intact signature by $(basename "$cert")" signed_intact "$1"
  else
    check "$2 is not signed (no KORVEL_SIGN_CERT)" unsigned "$1"
  fi
}
if [ -n "$cert" ] && [ ! -r "$cert" ]; then
  echo "FAIL cannot read KORVEL_SIGN_CERT $cert"
  exit 1
fi

cache=build/release-win64/CMakeCache.txt
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$cache" 2>/dev/null)
major=$(sed -n 's/^CMAKE_PROJECT_VERSION_MAJOR:[A-Z]*=//p' "$cache" 2>/dev/null)
minor=$(sed -n 's/^CMAKE_PROJECT_VERSION_MINOR:[A-Z]*=//p' "$cache" 2>/dev/null)
patch=$(sed -n 's/^CMAKE_PROJECT_VERSION_PATCH:[A-Z]*=//p' "$cache" 2>/dev/null)
setup=dist/korvel-$version-setup.exe
stage=build/package
if [ -z "$version" ] || [ ! -f "$setup" ]; then
  echo "FAIL no release files: run sh scripts/package.sh first"
  exit 1
fi
echo "==== release files of Korvel $version"

# ---- the zips ---------------------------------------------------------------
shipped="KOR.EXE ZORVA.DLL korvel.exe include/zorva.h lib/libzorva.dll.a README.txt LICENSE.txt"
# KOR's help pages, when the build put them beside KOR.EXE.
help=$(cd "$stage/korvel-$version-win64" && ls -- *.html 2>/dev/null)
shipped="$shipped $help"
for bits in 64 32; do
  zip_file=dist/korvel-$version-win$bits.zip
  top=korvel-$version-win$bits
  listing=$(unzip -Z1 "$zip_file" 2>/dev/null)
  for f in $shipped; do
    check "$(basename "$zip_file") holds $top/$f" has_line "$listing" "$top/$f"
  done
  if [ "$bits" = 64 ]; then machine="x86-64"; else machine="Intel 80386"; fi
  for f in KOR.EXE ZORVA.DLL korvel.exe; do
    check "$(basename "$zip_file"): $f is for $machine" member_is "$zip_file" "$top/$f" "$machine"
  done
  check "$(basename "$zip_file"): README.txt has CR LF line ends" \
    member_has_crlf "$zip_file" "$top/README.txt"
  unpacked=$stage/unzipped
  rm -rf "$unpacked"
  mkdir -p "$unpacked"
  unzip -q "$zip_file" -d "$unpacked"
  for f in KOR.EXE ZORVA.DLL korvel.exe; do
    check_signature "$unpacked/$top/$f" "$(basename "$zip_file"): $f"
  done
  if [ -n "$cert" ] && [ "$bits" = 64 ]; then
    # The check can tell: one changed byte breaks the signature.
    cp "$unpacked/$top/KOR.EXE" "$stage/KOR-changed.EXE"
    printf 'X' | dd of="$stage/KOR-changed.EXE" bs=1 seek=4096 conv=notrunc 2>/dev/null
    check "a KOR.EXE with one byte changed fails the signature check" \
      not signed_intact "$stage/KOR-changed.EXE"
  fi
  # A C program builds against the zip's header and import library (the
  # 32-bit one must keep the decorated stdcall names).
  if [ "$bits" = 64 ]; then gcc=x86_64-w64-mingw32-gcc; else gcc=i686-w64-mingw32-gcc; fi
  check "$(basename "$zip_file"): examples/zorva_demo.c links with -Llib -lzorva" \
    $gcc -o "$stage/zorva-demo-win$bits.exe" examples/zorva_demo.c \
      -I"$unpacked/$top/include" -L"$unpacked/$top/lib" -lzorva
done

# ---- the installer's contents -----------------------------------------------
check "$(basename "$setup") is a 32-bit program (starts on 32-bit and 64-bit Windows)" \
  has_match "$(file "$setup")" "PE32 executable.*Intel 80386"
# Every file of both builds, by path and size (7z lists NSIS installers; it
# shows the 32-bit build's files by their names in the folder, as the 64-bit
# ones, and stores identical files once).
contents=$(7z l -slt "$setup" 2>/dev/null | awk -F' = ' '
  $1 == "Path" { path = $2 } $1 == "Size" { print path " " $2 }')
has_file() {  # PATH SIZE
  has_line "$contents" "$1 $2"
}
for bits in 64 32; do
  for f in $shipped; do
    size=$(stat -c %s "$stage/korvel-$version-win$bits/$f")
    check "$(basename "$setup") holds the win$bits $f ($size bytes)" has_file "$f" "$size"
  done
done
for f in ZORVA.DLL lib/libzorva.dll.a; do
  size=$(stat -c %s "$stage/korvel-$version-win32/$f")
  check "$(basename "$setup") holds x86/$f, the 32-bit one ($size bytes)" has_file "x86/$f" "$size"
done
check "$(basename "$setup") writes Uninstall.exe" has_match "$contents" "^Uninstall.exe "
check_signature "$setup" "$(basename "$setup")"

# ---- install and uninstall under Wine -------------------------------------
export WINEPREFIX="$root/build/installer-wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
rm -rf "$WINEPREFIX"
$wine wineboot --init >/dev/null 2>&1
# wine64 starts a 32-bit program through Wine's 32-bit loader; a kernel
# without 32-bit support refuses that loader.
installer=$setup
runs32=1
if probe=$(timeout 60 $wine build/release-win32/bin/korvel.exe --version 2>&1) &&
   echo "$probe" | grep -q "$version"; then
  echo "32-bit programs run here: $probe"
elif loader=$(/usr/lib/wine/wine --version 2>&1); then
  fail "a 32-bit program does not start under Wine ($probe) though the 32-bit loader does ($loader)"
  installer=""
else
  echo "SKIPPED: running $setup: it is a 32-bit program, and this machine cannot run" \
       "32-bit programs (/usr/lib/wine/wine: $(echo "$loader" | head -n 1 | sed 's/.*: //'))." \
       "The same installer script built as a 64-bit program runs in its place."
  runs32=0
  installer=$stage/korvel-test-setup-amd64.exe
  if [ ! -f "$installer" ] || [ "$installer" -ot "$setup" ]; then
    # Older than the installer: left from an earlier run, not the files
    # checked above.
    fail "no $installer as new as $setup: make both with sh scripts/package.sh"
    installer=""
  fi
fi
if [ -z "$installer" ]; then
  echo "==== $failures check(s) failed"
  exit 1
fi

# The exit code of a Windows command line, as Windows reports it (a Linux
# exit status keeps its low 8 bits only).
exit_code() {  # COMMAND LINE (for cmd)
  $wine cmd /v:on /c "$1 & echo !ERRORLEVEL!" 2>/dev/null | tr -d '\r' | tail -n 1
}
install() {  # the installer's exit code, run silently from its folder
  (cd "$(dirname "$installer")" && exit_code "start /wait $(basename "$installer") /S")
}
dir="$WINEPREFIX/drive_c/Program Files/Korvel"
windir='C:\Program Files\Korvel'

echo "==== $(basename "$installer") /S on Windows XP (as Wine shows it)"
$wine winecfg -v winxp64
code=$(install)
check "the installer refuses Windows XP with exit code 1150 ($code)" test "$code" = 1150
check "it installed nothing" test ! -e "$dir"

echo "==== $(basename "$installer") /S in a fresh Wine prefix, as Windows Vista"
# Vista is the oldest Windows the programs run on; the installed programs
# run below as Vista too.
$wine winecfg -v vista
day_before=$(date +%Y%m%d)
code=$(install)
check "the installer ended with 0 ($code)" test "$code" = 0
day_after=$(date +%Y%m%d)

for f in $shipped x86/ZORVA.DLL x86/lib/libzorva.dll.a Uninstall.exe; do
  check "installed $windir\\$(echo "$f" | sed 's|/|\\\\|g')" test -f "$dir/$f"
done
for f in KOR.EXE ZORVA.DLL korvel.exe; do
  check "$f is the 64-bit build's" cmp "$dir/$f" "$stage/korvel-$version-win64/$f"
done
check "x86\\ZORVA.DLL is the 32-bit build's" cmp "$dir/x86/ZORVA.DLL" "$stage/korvel-$version-win32/ZORVA.DLL"
check "Start-menu shortcut KOR.lnk" \
  test -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KOR.lnk"
check_signature "$dir/Uninstall.exe" "the installed Uninstall.exe"

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvel'
zorva_key='HKLM\SOFTWARE\Calvek\ZORVA\CurrentVersion'
reg_value() {  # KEY NAME VIEW: the value's data
  $wine reg query "$1" /v "$2" "/reg:$3" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
value_is() {  # KEY NAME VIEW DATA
  [ "$(reg_value "$1" "$2" "$3")" = "$4" ]
}
value_is_set() {  # KEY NAME VIEW
  [ -n "$(reg_value "$1" "$2" "$3")" ]
}
check "Apps & features: DisplayName Korvel $version" value_is "$uninstall_key" DisplayName 64 "Korvel $version"
check "Apps & features: DisplayVersion $version" value_is "$uninstall_key" DisplayVersion 64 "$version"
check "Apps & features: InstallLocation $windir" value_is "$uninstall_key" InstallLocation 64 "$windir"
check "Apps & features: UninstallString" \
  value_is "$uninstall_key" UninstallString 64 "\"$windir\\Uninstall.exe\""
check "Apps & features: QuietUninstallString with /S" \
  value_is "$uninstall_key" QuietUninstallString 64 "\"$windir\\Uninstall.exe\" /S"
check "Apps & features: DisplayIcon" value_is "$uninstall_key" DisplayIcon 64 "$windir\\KOR.EXE,0"
for name in Publisher NoModify NoRepair; do
  check "Apps & features: $name" value_is_set "$uninstall_key" $name 64
done
hex() { printf '0x%x' "$1"; }
check "ZORVA MajorVersion $major (32-bit view)" value_is "$zorva_key" MajorVersion 32 "$(hex "$major")"
check "ZORVA MinorVersion $minor (32-bit view)" value_is "$zorva_key" MinorVersion 32 "$(hex "$minor")"
check "ZORVA Build ${patch:-0} (32-bit view)" value_is "$zorva_key" Build 32 "$(hex "${patch:-0}")"
date_value=$(reg_value "$zorva_key" InstallationDate 32)
if [ "$date_value" = "$(hex "$day_before")" ] || [ "$date_value" = "$(hex "$day_after")" ]; then
  ok "ZORVA InstallationDate $day_after as YYYYMMDD (32-bit view)"
else
  fail "ZORVA InstallationDate is '$date_value', not $(hex "$day_after") ($day_after)"
fi
check "no version values in the 64-bit view" not $wine reg query "$zorva_key" /reg:64

echo "==== the installed programs"
korvel="$windir\\korvel.exe"
echo pw | $wine "$korvel" add t --type md5 --prompt "P>" >/dev/null 2>&1
check "installed korvel.exe adds a client password" test $? -eq 0
reply=$($wine "$korvel" reply "P> <1>" 2>/dev/null | tr -d '\r')
check "installed korvel.exe answers 'P> <1>' ($reply)" has_match "$reply" "^[0-9a-f]{32}\$"
# A program that calls the installed ZORVA.DLL answers the same from the
# same store.
demo=$(WINEPATH="$windir" $wine "$stage/zorva-demo-win64.exe" "P> <1>" 2>/dev/null | tr -d '\r')
check "a program calling the installed ZORVA.DLL gives the same reply" \
  has_match "$demo" "reply: *$reply\$"
# KOR's main window appears on a virtual display.
kor_window() {
  $wine "$windir\\KOR.EXE" -q >/dev/null 2>&1 &
  kor=$!
  shown=1
  for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do
    sleep 1
    if xwininfo -root -tree | grep '("kor.exe"' | grep -vq '"Default IME"'; then
      shown=0
      break
    fi
  done
  kill "$kor" 2>/dev/null
  wait "$kor" 2>/dev/null
  return $shown
}
check "installed KOR.EXE -q shows its window" kor_window

echo "==== updates while the installed files are in use"
# hold_in_use keeps one installed file in use as operators' programs do.
holder=$stage/hold_in_use.exe
temp=$WINEPREFIX/drive_c/windows/temp
check "tests/release/hold_in_use.c builds" \
  x86_64-w64-mingw32-gcc -o "$holder" tests/release/hold_in_use.c
hold() {  # HOW FILE [ARGUMENT]: holds FILE until let_go; false when it cannot
  rm -f "$temp/korvel-held.ready" "$temp/korvel-held.stop"
  $wine "$holder" 'C:\windows\temp\korvel-held.ready' 'C:\windows\temp\korvel-held.stop' \
    "$@" </dev/null >/dev/null 2>&1 &
  held=$!
  for _ in $(seq 300); do
    [ -e "$temp/korvel-held.ready" ] && return 0
    kill -0 "$held" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
let_go() {
  touch "$temp/korvel-held.stop"
  wait "$held"
}
# An update that goes ahead writes README.txt again: its absence afterwards
# shows that nothing was written.
update_refused_while() {  # WHAT HOW FILE [ARGUMENT]
  what=$1
  shift
  rm -f "$dir/README.txt"
  if hold "$@"; then
    code=$(install)
    check "an update while $what ends with exit code 32 ($code)" test "$code" = 32
    check "  and writes nothing" test ! -e "$dir/README.txt"
  else
    fail "$what: hold_in_use $* did not hold the file"
  fi
  let_go
}
update_refused_while "KOR runs" run "$windir\\KOR.EXE" -q
update_refused_while "korvel runs" run "$windir\\korvel.exe" reply
update_refused_while "a program has ZORVA.DLL loaded" load "$windir\\ZORVA.DLL"
# The 32-bit DLL: loaded by a 32-bit program where those run; elsewhere mapped
# as an image by a 64-bit one, which holds the file as a loaded DLL does.
if [ "$runs32" = 1 ]; then
  check "tests/release/hold_in_use.c builds as a 32-bit program" \
    i686-w64-mingw32-gcc -o "$stage/hold_in_use32.exe" tests/release/hold_in_use.c
  holder64=$holder
  holder=$stage/hold_in_use32.exe
  update_refused_while "a 32-bit program has x86\\ZORVA.DLL loaded" load "$windir\\x86\\ZORVA.DLL"
  holder=$holder64
else
  echo "SKIPPED: an update while a 32-bit program has x86\\ZORVA.DLL loaded: this machine" \
       "cannot run 32-bit programs. x86\\ZORVA.DLL mapped as an image instead:"
  update_refused_while "x86\\ZORVA.DLL is mapped as an image" map "$windir\\x86\\ZORVA.DLL"
fi
code=$(install)
check "with them closed the update ends with 0 ($code)" test "$code" = 0
check "  and puts README.txt back" test -f "$dir/README.txt"

# The same with the operator at the installer's pages: press_button clicks
# through them; the message names the file and asks again on Retry while
# KOR still runs; once KOR has ended, Retry updates.
presser=$stage/press_button.exe
check "tests/release/press_button.c builds" \
  x86_64-w64-mingw32-gcc -o "$presser" tests/release/press_button.c
press() {  # ID [--label TEXT] [--closes]: presses the installer's button ID, prints the window's texts
  $wine "$presser" "Korvel $version Setup" "$@" </dev/null 2>/dev/null | tr -d '\r'
}
rm -f "$dir/README.txt"
if hold run "$windir\\KOR.EXE" -q; then
  (cd "$(dirname "$installer")" &&
     exit_code "start /wait $(basename "$installer")" >"$root/$stage/installer-code.txt") &
  running=$!
  press 1 --label Next >/dev/null && press 1 --label "I Agree" >/dev/null &&
    press 1 --label Install >/dev/null
  message=$(press 4 --closes)
  check "an update while KOR runs asks to close it and retry" \
    has_match "$message" "^Close KOR.*Retry"
  check "  naming $windir\\KOR.EXE" has_line "$(lines "$message" | sed 's/^ *//')" "$windir\\KOR.EXE"
  message=$(press 4 --closes)
  check "  and asks again on Retry while KOR runs" has_match "$message" "KOR\.EXE"
  let_go
  press 4 --closes >/dev/null
  check "  goes ahead on Retry once KOR has ended" press 1 --label Finish
  for _ in $(seq 60); do
    kill -0 "$running" 2>/dev/null || break
    sleep 1
  done
  kill "$running" 2>/dev/null
  wait "$running"
  code=$(cat "$root/$stage/installer-code.txt")
  check "  and ends with 0 ($code)" test "$code" = 0
  check "  having put README.txt back" test -f "$dir/README.txt"
else
  fail "hold_in_use did not start KOR"
  let_go
fi

echo "==== HKLM\\SOFTWARE\\Calvek marked so that Windows never virtualises it"
calvek_key='HKLM\SOFTWARE\Calvek'
flags_set="DONT_VIRTUALIZE DONT_SILENT_FAIL RECURSE_FLAG"
if query=$($wine reg flags "$calvek_key" QUERY /reg:32 2>&1); then
  for f in $flags_set; do
    check "reg flags shows $f set on $calvek_key (32-bit view)" has_match "$query" "$f:? *SET"
  done
else
  echo "NOT SHOWN: Wine's reg.exe has no flags command ($(lines "$query" | tr -d '\r' | head -n 1))," \
       "so the installs above could not set them and went on, as they must. Below," \
       "record_reg stands in for reg.exe. That Windows then never virtualises the" \
       "keys is Windows' documented behaviour, which Wine does not have."
fi
# record_reg, in place of reg.exe (Wine runs it with reg.exe=n), logs each
# reg flags command and whether its key existed then.
recorder=$stage/record_reg.exe
windows=$WINEPREFIX/drive_c/windows
reg_log=$temp/korvel-reg.log
check "tests/release/record_reg.c builds" \
  x86_64-w64-mingw32-gcc -o "$recorder" tests/release/record_reg.c
cp "$windows/system32/reg.exe" "$stage/reg-wine64.exe"
cp "$recorder" "$windows/system32/reg.exe"
if [ "$runs32" = 1 ]; then
  # The 32-bit installer's reg.exe, as WOW64 shows it.
  cp "$windows/syswow64/reg.exe" "$stage/reg-wine32.exe"
  check "tests/release/record_reg.c builds as a 32-bit program" \
    i686-w64-mingw32-gcc -o "$windows/syswow64/reg.exe" tests/release/record_reg.c
fi
install_recorded() {  # EXIT: an update with record_reg ending with EXIT
  rm -f "$reg_log"
  (export KORVEL_FAKE_REG_EXIT="$1" WINEDLLOVERRIDES="$WINEDLLOVERRIDES;reg.exe=n" && install)
}
# Every key of the tree, the installer's and the library's lists, which
# korvel made above before this update: each marked in the 32-bit view,
# after it was made.
code=$(install_recorded 0)
check "an update that marks the keys ends with 0 ($code)" test "$code" = 0
keys=$( (lines "$calvek_key"
         $wine reg query "$calvek_key" /s /reg:32 2>/dev/null | tr -d '\r' |
           sed -n 's/^HKEY_LOCAL_MACHINE\\/HKLM\\/p'))
expected=$(lines "$keys" | sed "s/\$/|32|$flags_set|exists/" | LC_ALL=C sort)
recorded=$(LC_ALL=C sort "$reg_log" 2>/dev/null)
if [ "$recorded" = "$expected" ]; then
  ok "reg.exe flags KEY SET $flags_set /reg:32 on each of the $(lines "$keys" | wc -l) keys"
else
  fail "reg.exe flags KEY SET $flags_set /reg:32 on each key; expected:"
  lines "$expected" | sed 's/^/       /'
  echo "     recorded:"
  lines "$recorded" | sed 's/^/       /'
fi
check "  down to ZORVA\\CurrentVersion\\ClientPasswords" \
  has_line "$keys" "$calvek_key\\ZORVA\\CurrentVersion\\ClientPasswords"
# A reg.exe that cannot set the flags leaves the installation as it is.
rm -f "$dir/README.txt"
code=$(install_recorded 1)
check "an update whose reg.exe flags fails still ends with 0 ($code)" test "$code" = 0
check "  having asked reg.exe" test -s "$reg_log"
check "  and installed the files" test -f "$dir/README.txt"
cp "$stage/reg-wine64.exe" "$windows/system32/reg.exe"
if [ "$runs32" = 1 ]; then
  cp "$stage/reg-wine32.exe" "$windows/syswow64/reg.exe"
fi

echo "==== silent uninstall"
# The uninstaller copies itself away and returns at once unless it is told
# its folder with _?= (unquoted, last); it then runs where it is, so a copy
# runs from the temporary folder and the installed one can go too.
cp "$dir/Uninstall.exe" "$WINEPREFIX/drive_c/windows/temp/korvel-uninstall.exe"
uninstall="C:\\windows\\temp\\korvel-uninstall.exe /S _?=$windir"
installed() { (cd "$dir" && find . | sort); }
before=$(installed)
if hold run "$windir\\KOR.EXE" -q; then
  code=$(exit_code "$uninstall")
  check "uninstalling while KOR runs ends with exit code 32 ($code)" test "$code" = 32
  check "  and removes nothing" test "$(installed)" = "$before"
  check "  nor the Apps & features entry" $wine reg query "$uninstall_key" /reg:64
else
  fail "hold_in_use did not start KOR"
fi
let_go
code=$(exit_code "$uninstall")
check "the uninstaller ended with 0 ($code)" test "$code" = 0
for _ in 1 2 3 4 5 6 7 8 9 10; do
  [ -e "$dir" ] || break
  sleep 1
done
left=$(find "$dir" 2>/dev/null)
check "no program file left in $windir${left:+: $left}" test -z "$left"
check "Start-menu shortcut removed" \
  test ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KOR.lnk"
check "Apps & features entry removed" not $wine reg query "$uninstall_key" /reg:64
check "the client passwords stay in the registry" \
  has_match "$($wine reg query "$zorva_key\\ClientPasswords" /reg:32 /s 2>/dev/null)" "P>"
listed=$($wine build/release-win64/bin/korvel.exe list 2>/dev/null | tr -d '\r')
check "korvel list (the build's korvel.exe) still shows them" \
  has_match "$listed" "$(printf '\tt\tMD5\tP>')"

/usr/lib/wine/wineserver -k 2>/dev/null  # this test's own prefix only
if [ "$failures" -gt 0 ]; then
  echo "==== $failures check(s) failed"
  exit 1
fi
echo "==== all checks passed"
