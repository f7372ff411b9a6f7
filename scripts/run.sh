#!/bin/sh
# The main job: builds the Windows programs and starts KOR under Wine, in a
# Wine prefix of its own (build/kor-wine) with two client passwords stored on
# first use. KOR needs a display: run this inside an X session, or with a
# virtual one: xvfb-run -a sh scripts/run.sh. Without a display it says so
# and shows the library at work instead (scripts/demo.sh).
set -eu
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ]; then
  echo "KOR is a window and needs a display; this shell has none (DISPLAY is not set)."
  echo "Run this command in an X session to see KOR, or give it a virtual display:"
  echo "  xvfb-run -a sh scripts/run.sh"
  echo "Meanwhile, the library at work without a window (sh scripts/demo.sh):"
  echo
  exec sh scripts/demo.sh
fi
sh scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target kor korvel
export WINEPREFIX="$PWD/build/kor-wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix $WINEPREFIX (once)"
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
  /usr/lib/wine/wine64 build/win64/bin/korvel.exe import scripts/demo-store.reg --yes >/dev/null
fi
echo "Starting KOR. Copy a received line, paste it into KOR's field and press Enter;"
echo "the window menu has Password Setup... to edit the client passwords; x ends KOR."
exec /usr/lib/wine/wine64 build/win64/bin/KOR.EXE "$@"
