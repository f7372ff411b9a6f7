#!/bin/sh
# Builds the library natively and shows it at work without a window. A client password is
# stored in a store of the demonstration's own (build/demo/registry.reg),
# then received lines are handed to the library, which recognises which
# client password each asks for and cuts out its challenge.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
mkdir -p build/demo
echo "Building the library and the demonstration (log: build/demo/build.log)"
if ! { cmake --preset linux && cmake --build --preset linux --target zorva-demo; } \
    >build/demo/build.log 2>&1; then
  cat build/demo/build.log
  exit 1
fi
export KORVEL_STORE="$PWD/build/demo/registry.reg"
cp scripts/demo-store.reg "$KORVEL_STORE"
echo "Store: $KORVEL_STORE"
if [ $# -gt 0 ]; then
  build/linux/bin/zorva-demo "$@"
else
  build/linux/bin/zorva-demo "DB0XYZ} 3 1 7 9 2" "BBS> Login <  x9q2  >" "a line nobody asked for"
fi
