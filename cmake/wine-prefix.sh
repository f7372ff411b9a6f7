#!/bin/sh
# Sets up and tears down the Wine prefix and X server that one build tree's
# Windows tests run in. Called by CTest as the setup and cleanup of the "wine"
# fixture:  wine-prefix.sh setup|cleanup STATE_DIR LOADER WINEARCH
# STATE_DIR holds the prefix, the X display number and the logs.
set -u
action=$1 state=$2 loader=$3 arch=$4
prefix="$state/prefix"
if [ -x /usr/lib/wine/wineserver64 ]; then server=/usr/lib/wine/wineserver64
else server=/usr/lib/wine/wineserver32; fi
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all LC_ALL=C.UTF-8
# No Mono or Gecko installer: the tests need neither, and their prompts would block.
export WINEDLLOVERRIDES="mscoree,mshtml="

stop() {
  [ -d "$prefix" ] && "$server" -k >/dev/null 2>&1
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null
    rm -f "$state/xvfb.pid" "$state/display"
  fi
  return 0
}

case "$action" in
setup)
  mkdir -p "$state"
  stop
  rm -rf "$prefix"
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp \
    >"$state/xvfb.log" 2>&1 </dev/null &
  echo $! >"$state/xvfb.pid"
  i=0
  while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  [ -e "/tmp/.X11-unix/X$n" ] || { echo "Xvfb did not start" >&2; exit 1; }
  echo ":$n" >"$state/display"
  export DISPLAY=":$n"
  "$loader" wineboot --init >"$state/wineboot.log" 2>&1 </dev/null
  "$server" -w
  [ -f "$prefix/system.reg" ] || { echo "wineboot made no prefix" >&2; cat "$state/wineboot.log" >&2; exit 1; }
  # One server for the whole run keeps every process start short.
  setsid "$server" -p >/dev/null 2>&1 </dev/null &
  # The first program of a server session starts Wine's services, which live
  # on and keep the standard handles they inherit. Start them here, on
  # /dev/null, not from a test whose output CTest waits to see closed.
  "$loader" wineboot >/dev/null 2>&1 </dev/null
  echo "Wine prefix ready: $prefix (DISPLAY :$n)"
  ;;
cleanup)
  stop
  echo "Wine prefix stopped"
  ;;
*)
  echo "usage: $0 setup|cleanup STATE_DIR LOADER WINEARCH" >&2
  exit 2
  ;;
esac
