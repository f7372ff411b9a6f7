#!/bin/sh
# Measures KOR.EXE -q from process start to visible window against
# bare_window.exe, the same window with nothing behind it, side by side
# under Wine on an Xvfb display: bench/startup_timer.exe starts them in turn.
#   sh scripts/bench-startup.sh [RUNS [WARMUPS]]     (default 21 and 3)
# The prefix (build/win64/bench-wine) is made anew for each measurement; the
# warm-up rounds leave KOR's settings in its registry, as an operator's are.
# The figures and the machine they were taken on are in bench/BENCHMARKS.md.
set -eu
cd "$(dirname "$0")/.."
runs=${1:-21} warmups=${2:-3}
[ -f build/win64/build.ninja ] || cmake --preset win64 >/dev/null
cmake --build --preset win64 --target kor bare_window startup_timer >/dev/null

state=$PWD/build/win64/bench-wine
if [ -x /usr/lib/wine/wineserver64 ]; then server=/usr/lib/wine/wineserver64
else server=/usr/lib/wine/wineserver32; fi
export WINEPREFIX="$state/prefix" WINEARCH=win64 WINEDEBUG=-all LC_ALL=C.UTF-8
# No Mono or Gecko installer: neither program needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] && "$server" -k >/dev/null 2>&1 || true
rm -rf "$state"
mkdir -p "$state"

echo "Wine $(/usr/lib/wine/wine64 --version), $(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" sh -c '
  set -e
  /usr/lib/wine/wine64 wineboot --init >"$1/wineboot.log" 2>&1 </dev/null
  "$2" -w
  # One server for the whole run, started before the measurement, as it is
  # on a desktop where Wine already runs; its services started too.
  setsid "$2" -p >/dev/null 2>&1 </dev/null &
  /usr/lib/wine/wine64 wineboot >/dev/null 2>&1 </dev/null
  cd build/win64/bin
  status=0
  /usr/lib/wine/wine64 startup_timer.exe "$3" "$4" \
    "Korvel for Win32 3.0" "KOR.EXE -q" "Korvel bare window" "bare_window.exe" || status=$?
  "$2" -k || true
  exit $status
' sh "$state" "$server" "$runs" "$warmups"
